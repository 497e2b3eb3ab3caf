#include "widgets/AppMessage.h"

#include <QCoreApplication>

AppMessageEvent::AppMessageEvent(unsigned msg, uintptr_t w, intptr_t l)
    : QEvent(EventType()), message(msg), wParam(w), lParam(l) {}

QEvent::Type AppMessageEvent::EventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

void PostAppMessage(QObject* target, unsigned message, uintptr_t wParam, intptr_t lParam) {
    QCoreApplication::postEvent(target, new AppMessageEvent(message, wParam, lParam));
}
