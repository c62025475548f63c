// The window tests run inside a QApplication on the offscreen platform, animations off.
#include <gtest/gtest.h>

#include <QApplication>

#include "app/ui/SpringAnimation.h"

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    veldo::ui::setAnimationsEnabled(false);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
