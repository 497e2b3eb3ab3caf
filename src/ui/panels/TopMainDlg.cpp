#include "panels/TopMainDlg.h"

#include "widgets/DialogUnits.h"
#include "widgets/TransparentStatic.h"

CTopMainDlg::CTopMainDlg(QWidget* host)
    : QWidget(host, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus),
      titleLabel(new CTransparentStatic(QStringLiteral("タイトル"), this)) {
    setObjectName(QStringLiteral("titleBar"));
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFont(DialogFont(8));
    titleLabel->setObjectName(QStringLiteral("title"));
    titleLabel->setGeometry(DialogUnitsToPixels(BaseUnitsOf(font()), QRect(6, 6, 297, 8)));
    QPalette palette = titleLabel->palette();
    palette.setColor(QPalette::WindowText, Qt::white);
    titleLabel->setPalette(palette);
}

void CTopMainDlg::SetTitle(const QString& text) { titleLabel->SetWindowText(text); }

QString CTopMainDlg::Title() const { return titleLabel->text(); }

void CTopMainDlg::FollowHost() {
    if (QWidget* host = parentWidget()) {
        setGeometry(host->geometry());
        update();
    }
}
