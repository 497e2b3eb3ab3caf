// Compiles the test programs' precompiled headers (tests/CMakeLists.txt); nothing of its own.
