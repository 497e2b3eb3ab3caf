#include "widgets/PostedTasks.h"

#include <QCoreApplication>
#include <QEvent>
#include <utility>

namespace {

class TaskEvent final : public QEvent {
public:
    explicit TaskEvent(std::function<void()> work) : QEvent(Type()), task(std::move(work)) {}

    static QEvent::Type Type() {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }

    std::function<void()> task;
};

}  // namespace

void PostedTasks::Post(std::function<void()> task) {
    QCoreApplication::postEvent(this, new TaskEvent(std::move(task)));
}

bool PostedTasks::event(QEvent* e) {
    if (e->type() != TaskEvent::Type()) return QObject::event(e);
    static_cast<TaskEvent*>(e)->task();
    return true;
}
