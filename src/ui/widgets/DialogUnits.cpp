#include "widgets/DialogUnits.h"

#include <QFontMetrics>

QFont DialogFont(int pointSize) {
    QFont font(QStringLiteral("IPAGothic"), pointSize);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

DialogBaseUnits BaseUnitsOf(const QFont& font) {
    const QFontMetrics metrics(font);
    // The average width of the 52 Latin letters, rounded to nearest, as dialog templates use.
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return DialogBaseUnits{(letters / 26 + 1) / 2, metrics.height()};
}

namespace {

int MulDiv(int value, int numerator, int denominator) {
    const long long product = static_cast<long long>(value) * numerator;
    return static_cast<int>((product + denominator / 2) / denominator);
}

}  // namespace

QSize DialogUnitsToPixels(const DialogBaseUnits& units, QSize du) {
    return {MulDiv(du.width(), units.x, 4), MulDiv(du.height(), units.y, 8)};
}

QRect DialogUnitsToPixels(const DialogBaseUnits& units, QRect du) {
    return {MulDiv(du.x(), units.x, 4), MulDiv(du.y(), units.y, 8), MulDiv(du.width(), units.x, 4),
            MulDiv(du.height(), units.y, 8)};
}
