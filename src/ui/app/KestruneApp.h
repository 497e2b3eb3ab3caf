#pragma once

// The application: makes the executable's folder the working directory, so that the ini
// file and the plug-in folder next to the executable are found, then runs until the user
// closes the main window. The command line may name a video to open, its play file and
// whether to start playing. SIGTERM, SIGINT and SIGHUP close the window as its close button
// does, and end the process even while a box or dialog is open.

#include <string>
#include <vector>

class CKestruneApp {
public:
    // Runs the whole program with the command line's arguments (without the program name);
    // returns the process's exit status once the main window has closed.
    int InitInstance(const std::vector<std::string>& arguments);
};
