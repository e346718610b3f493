// The OpenGL smoke test keeps the platform it is given (xcb under Xvfb), unlike the widget
// tests, which force the offscreen one.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
