#include "widgets/TransparentStatic.h"

CTransparentStatic::CTransparentStatic(const QString& text, QWidget* parent)
    : QLabel(text, parent) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(false);
    // Its texts are file names and times: shown as they are spelt, never read as markup.
    setTextFormat(Qt::PlainText);
}

void CTransparentStatic::SetWindowText(const QString& text) {
    setText(text);
    if (QWidget* parent = parentWidget()) parent->repaint(geometry());
}
