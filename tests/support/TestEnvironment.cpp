// Compiled into every test program: sanitizer settings and the environment the tests run in.
// Built per program, as KESTRUNE_DETECT_LEAKS differs: programs that start libvlc cannot have
// their leak reports read (libvlc unloads its plug-ins before the report), so they run
// without leak detection; every other program keeps it.

#include <cstdlib>

#include "platform/SessionBus.h"
#include "support/TestSupport.h"

extern "C" {

const char* __asan_default_options() {
    return KESTRUNE_DETECT_LEAKS ? "detect_leaks=1" : "detect_leaks=0";
}

const char* __lsan_default_options() {
    return "suppressions=" KESTRUNE_LSAN_SUPPRESSIONS ":print_suppressions=0";
}

const char* __ubsan_default_options() { return "print_stacktrace=1:halt_on_error=1"; }
}

namespace testing_support {

void PrepareTestEnvironment() {
    // A home of the tests' own: ALSA's default device is the null plug-in there, so libvlc
    // has an audio output without a sound card, and nothing lands in the user's folders.
    ::setenv("HOME", KESTRUNE_TEST_HOME, 1);
    ::setenv("XDG_DATA_HOME", KESTRUNE_TEST_HOME "/share", 1);
    ::setenv("XDG_RUNTIME_DIR", KESTRUNE_TEST_HOME "/runtime", 1);
    // A Kestrune.ini in the user's own configuration folder must not steer the tests.
    ::setenv("XDG_CONFIG_HOME", KESTRUNE_TEST_HOME "/config", 1);
    // The interface's own language, Japanese, whatever the machine's locale: the tests check
    // its texts. Tests of the English interface set their own.
    ::unsetenv("LANGUAGE");
    ::unsetenv("LC_ALL");
    ::unsetenv("LC_MESSAGES");
    ::setenv("LANG", "C.UTF-8", 1);
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    ::setenv("KESTRUNE_BINARY_DIR", KESTRUNE_BINARY_DIR, 1);
    // As the player's start does, for the libvlc players the tests run in their own process.
    platform::SettleSessionBus();
}

}  // namespace testing_support
