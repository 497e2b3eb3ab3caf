#include "widgets/TransparentStatic.h"

CTransparentStatic::CTransparentStatic(const QString& text, QWidget* parent)
    : QLabel(text, parent) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(false);
}

void CTransparentStatic::SetWindowText(const QString& text) {
    setText(text);
    if (QWidget* parent = parentWidget()) parent->repaint(geometry());
}
