#include "app/AccessDeniedText.h"

#include <QCoreApplication>

std::string DeviceAccessDeniedText(const std::string& device, const std::string& group,
                                   const std::string& user) {
    // Whole sentences with the parts put in, translated here: the message box shows the text
    // as it comes.
    const QString owner =
        group.empty() ? QCoreApplication::translate("MessageBoxes", "デバイスを所有するグループ")
                      : QCoreApplication::translate("MessageBoxes", "グループ「%1」")
                            .arg(QString::fromStdString(group));
    std::string text =
        QCoreApplication::translate("MessageBoxes",
                                    "USBドングル（%1）を開く権限がありません。\n"
                                    "%2にユーザーを追加してから、ログインし直して下さい。")
            .arg(QString::fromStdString(device), owner)
            .toStdString();
    if (!group.empty() && !user.empty()) {
        text += "\n\nsudo usermod -aG " + group + " " + user;
    }
    return text;
}
