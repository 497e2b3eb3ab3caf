#pragma once

// Work handed to the user-interface thread from any thread (libvlc's event callback, the device
// thread), run there in the order it was posted, among the other queued events. Each task
// travels in an event of its own that only the user-interface thread runs and deletes, so no
// object is shared between the posting thread and the one that runs it. Tasks still queued
// when the object goes are dropped with it.

#include <QObject>
#include <functional>

class PostedTasks final : public QObject {
public:
    using QObject::QObject;

    // Any thread.
    void Post(std::function<void()> task);

protected:
    bool event(QEvent* e) override;
};
