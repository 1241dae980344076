// main for the window tests: one application object for all of them, on the offscreen platform
// unless the environment names another, so that no window appears on a developer's desktop.
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0); // 0: a platform already named stays
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
