#pragma once

#include <QEvent>
#include <QObject>
#include <functional>
#include <utility>

// Calls `seen` as each queued call (a posted task, a queued signal) reaches `target`, before
// the window handles it.
class MessageWatch : public QObject {
public:
    MessageWatch(QObject* target, std::function<void()> seen) : seen_(std::move(seen)) {
        target->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::MetaCall) seen_();
        return false;
    }

private:
    std::function<void()> seen_;
};
