// The window tests run offscreen inside a QGuiApplication launched with "-VeldoUITesting", so
// that nothing they build makes the real updater.
#include <vector>

#include <gtest/gtest.h>

#include <QGuiApplication>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::vector<char*> arguments(argv, argv + argc);
    char testRun[] = "-VeldoUITesting";
    arguments.push_back(testRun);
    int count = static_cast<int>(arguments.size());
    QGuiApplication app(count, arguments.data());
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
