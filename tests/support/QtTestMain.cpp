// Test runner for widget tests: one QApplication for the whole program.

#include <gtest/gtest.h>

#include <QApplication>

#include "platform/X11Threads.h"
#include "support/TestSupport.h"

int main(int argc, char* argv[]) {
    testing_support::PrepareTestEnvironment();
    ::testing::InitGoogleTest(&argc, argv);
    platform::InitX11Threads();
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
