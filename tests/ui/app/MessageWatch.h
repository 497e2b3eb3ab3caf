#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <functional>
#include <utility>

// Calls `seen` as each queued call (a posted task, a queued signal) reaches `target` or one of
// its children (the window takes posted tasks in a child), before it is handled.
class MessageWatch : public QObject {
public:
    MessageWatch(QObject* target, std::function<void()> seen)
        : target_(target), seen_(std::move(seen)) {
        QCoreApplication::instance()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* receiver, QEvent* e) override {
        const bool queued = e->type() == QEvent::MetaCall || e->type() >= QEvent::User;
        if (queued && (receiver == target_ || receiver->parent() == target_)) seen_();
        return false;
    }

private:
    QObject* target_;
    std::function<void()> seen_;
};
