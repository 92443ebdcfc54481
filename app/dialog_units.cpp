// Base units of a dialog font.
#include "app/dialog_units.h"

#include <QApplication>
#include <QFontMetrics>

namespace {

constexpr int kDialogFontPoints = 9;

int AlphabetBaseX(const QFont& font) {
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return (width / 26 + 1) / 2;
}

} // namespace

DialogUnits::DialogUnits(const QFont& font)
    : m_baseX(AlphabetBaseX(font)), m_baseY(QFontMetrics(font).height()) {}

QFont DialogFont() {
    QFont font = QApplication::font();
    font.setPointSize(kDialogFontPoints);
    return font;
}
