// Test runner for widget tests: one application object for the whole program, the player's own
// (its event loop's edge catches what escapes a handler).

#include <gtest/gtest.h>

#include "app/KestruneApplication.h"
#include "platform/X11Threads.h"
#include "support/TestSupport.h"

int main(int argc, char* argv[]) {
    testing_support::PrepareTestEnvironment();
    ::testing::InitGoogleTest(&argc, argv);
    platform::InitX11Threads();
    KestruneApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
