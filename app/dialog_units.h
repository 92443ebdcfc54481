// Dialog units: the layout of the dialogs is given in units of the dialog font, a quarter of
// the font's mean letter width across and an eighth of its height down, and turned into
// pixels the way Windows does for a dialog resource.
#pragma once

#include <QFont>
#include <QRect>

class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);
    DialogUnits(int baseX, int baseY) : m_baseX(baseX), m_baseY(baseY) {}

    // The base units: the mean width of "A".."Z" and "a".."z" rounded up to half a pixel
    // (that is, (width / 26 + 1) / 2), and the font's height.
    [[nodiscard]] int BaseX() const { return m_baseX; }
    [[nodiscard]] int BaseY() const { return m_baseY; }

    [[nodiscard]] int X(int units) const { return (units * m_baseX + 2) / 4; }
    [[nodiscard]] int Y(int units) const { return (units * m_baseY + 4) / 8; }
    [[nodiscard]] QRect Rect(int x, int y, int width, int height) const {
        return QRect(X(x), Y(y), X(width), Y(height));
    }

private:
    int m_baseX;
    int m_baseY;
};

// The font of both dialogs: the desktop's interface font at 9 points.
QFont DialogFont();

// The dynamic property that carries a control's dialog id (the counterpart of a resource id);
// controls without one carry -1.
inline constexpr const char* kControlIdProperty = "controlId";
