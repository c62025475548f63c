// The Qt stand-in tests run offscreen inside a QApplication, whose event loop carries the
// fetches, the D-Bus calls and the icon loads (the style's icons need the widgets' application).
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
