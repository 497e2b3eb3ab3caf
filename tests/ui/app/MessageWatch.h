#pragma once

#include <QEvent>
#include <QObject>
#include <functional>
#include <utility>

#include "widgets/AppMessage.h"

// Calls `seen` as each application message or posted task reaches `target`, before the window
// handles it.
class MessageWatch : public QObject {
public:
    MessageWatch(QObject* target, std::function<void()> seen) : seen_(std::move(seen)) {
        target->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == AppMessageEvent::EventType() || e->type() == QEvent::MetaCall) seen_();
        return false;
    }

private:
    std::function<void()> seen_;
};
