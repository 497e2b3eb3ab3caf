#include "platform/X11Threads.h"

#include <X11/Xlib.h>

namespace platform {

void InitX11Threads() { XInitThreads(); }

}  // namespace platform
