#include "panels/TopMainDlg.h"

#include <QLabel>

CTopMainDlg::CTopMainDlg(QWidget* host)
    : QWidget(host, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus),
      title_(new QLabel(this)) {
    setObjectName(QStringLiteral("titleBar"));
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    title_->setObjectName(QStringLiteral("title"));
    QPalette palette = title_->palette();
    palette.setColor(QPalette::WindowText, Qt::white);
    title_->setPalette(palette);
}

void CTopMainDlg::SetTitle(const QString& text) {
    if (title_->text() != text) title_->setText(text);
}

QString CTopMainDlg::Title() const { return title_->text(); }

void CTopMainDlg::FollowHost() { title_->setGeometry(8, 0, width() - 16, height()); }
