#pragma once

namespace platform {

// Lets libvlc's threads use Xlib beside the user-interface thread. Call before anything
// opens an X display.
void InitX11Threads();

}  // namespace platform
