#include "widgets/Resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace.
static void InitResources() {
    Q_INIT_RESOURCE(resources);
    Q_INIT_RESOURCE(artwork);
}

void EnsureResources() {
    static const bool done = [] {
        InitResources();
        return true;
    }();
    (void)done;
}
