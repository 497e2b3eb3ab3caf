#include "app/KestruneApplication.h"

#include <cstdio>
#include <exception>

KestruneApplication::KestruneApplication(int& argc, char** argv) : QApplication(argc, argv) {}

KestruneApplication* KestruneApplication::Instance() {
    return qobject_cast<KestruneApplication*>(QCoreApplication::instance());
}

bool KestruneApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        Fail(e.what());
    } catch (...) {
        Fail("unknown exception");
    }
    return false;
}

void KestruneApplication::Fail(const char* what) {
    std::fprintf(stderr, "Kestrune: caught at the event loop: %s\n", what);
    if (!onFailure_) return;
    // The handler may itself run out of memory: nothing may escape from here.
    try {
        onFailure_(what);
    } catch (...) {
        std::fputs("Kestrune: the failure handler failed too\n", stderr);
    }
}
