#include "dialogs/AboutDlg.h"

#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "widgets/DialogUnits.h"
#include "widgets/Resources.h"

namespace {

QLabel* AddLabel(QWidget* parent, const QString& text, const QRect& rect) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(rect);
    label->setTextFormat(Qt::PlainText);
    return label;
}

}  // namespace

CAboutDlg::CAboutDlg(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint) {
    setWindowTitle(tr("QUAMBERPlayerについて"));
    setFont(DialogFont(8));
    const DialogBaseUnits units = BaseUnitsOf(font());
    const auto at = [&](int x, int y, int w, int h) {
        return DialogUnitsToPixels(units, QRect(x, y, w, h));
    };
    setFixedSize(DialogUnitsToPixels(units, QSize(263, 70)));

    auto* icon = new QLabel(this);
    const QRect iconRect = at(14, 19, 21, 20);
    icon->setGeometry(iconRect);
    EnsureResources();
    icon->setPixmap(QIcon(QStringLiteral(":/res/kestrune.png")).pixmap(iconRect.size()));
    AddLabel(this, QStringLiteral("QUAMBERPlayer"), at(45, 16, 114, 8));
    versionLabel_ = AddLabel(this, tr("バージョン X.X.X.X"), at(45, 26, 114, 8));
    versionLabel_->setObjectName(QStringLiteral("version"));
    AddLabel(this, tr("作成者: LOMBIX"), at(45, 36, 114, 8));
    AddLabel(this, QString(), at(7, 47, 54, 8));
    noteEdit_ = new QLineEdit(this);
    noteEdit_->setGeometry(at(74, 47, 91, 12));
    noteEdit_->setEnabled(false);
    auto* ok = new QPushButton(tr("OK"), this);
    ok->setGeometry(at(206, 49, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    versionLabel_->setText(tr("バージョン %1").arg(QLatin1String(kVersion)));
    noteEdit_->clear();
}
