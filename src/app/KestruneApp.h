#pragma once

// The application: makes the executable's folder the working directory, so that the ini
// file and the plug-in folder next to the executable are found, then runs the main window
// modally until the user closes it. SIGTERM, SIGINT and SIGHUP close the window as its close
// button does.

class CKestruneApp {
public:
    // Runs the whole program; returns when the main window has closed and been destroyed.
    // Returns false, as there is nothing more to run.
    bool InitInstance();
};
