#include "panels/TopMainDlg.h"

#include "widgets/DialogUnits.h"
#include "widgets/TransparentStatic.h"

CTopMainDlg::CTopMainDlg(QWidget* host)
    : QWidget(host, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus),
      titleLabel_(new CTransparentStatic(tr("タイトル"), this)) {
    setObjectName(QStringLiteral("titleBar"));
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFont(DialogFont(8));
    titleLabel_->setObjectName(QStringLiteral("title"));
    titleLabel_->setGeometry(DialogUnitsToPixels(BaseUnitsOf(font()), QRect(6, 6, 297, 8)));
    QPalette palette = titleLabel_->palette();
    palette.setColor(QPalette::WindowText, Qt::white);
    titleLabel_->setPalette(palette);
}

void CTopMainDlg::SetTitle(const QString& text) { titleLabel_->SetWindowText(text); }

QString CTopMainDlg::Title() const { return titleLabel_->text(); }

void CTopMainDlg::FollowHost() {
    if (QWidget* host = parentWidget()) {
        setGeometry(host->geometry());
        update();
    }
}
