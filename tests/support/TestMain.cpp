// Test runner for the core tests.

#include <gtest/gtest.h>

#include "support/TestSupport.h"

int main(int argc, char* argv[]) {
    testing_support::PrepareTestEnvironment();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
