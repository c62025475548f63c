// The window tests run offscreen inside a QApplication launched with "-VeldoUITesting", so that
// nothing they build makes the real updater; animations are off.
#include <vector>

#include <gtest/gtest.h>

#include <QApplication>

#include "app/ui/SpringAnimation.h"

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::vector<char*> arguments(argv, argv + argc);
    char testRun[] = "-VeldoUITesting";
    arguments.push_back(testRun);
    int count = static_cast<int>(arguments.size());
    QApplication app(count, arguments.data());
    veldo::ui::setAnimationsEnabled(false);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
