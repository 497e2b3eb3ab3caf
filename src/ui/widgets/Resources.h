#pragma once

// The pictures compiled into the program. The user interface is a static library, whose
// resource registration the linker would drop unless something refers to it: every loader of
// a ":/res/..." picture calls this first. Cheap after the first call.
void EnsureResources();
