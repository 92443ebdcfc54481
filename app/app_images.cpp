// Drawing the icon and the logo.
#include "app/app_images.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

const QColor kNavy(0x1f, 0x4e, 0x79);
const QColor kGreen(0x2e, 0x9d, 0x4a);
const QColor kLine(0x9f, 0xb3, 0xc8);
const QColor kFold(0xc9, 0xd6, 0xe3);

} // namespace

QPixmap AppIconPixmap(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    // Drawn on a 64-unit grid, like the SVG.
    painter.scale(size / 64.0, size / 64.0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kNavy);
    painter.drawRoundedRect(QRectF(0, 0, 64, 64), 10, 10);

    QPainterPath page;
    page.moveTo(18, 10);
    page.lineTo(38, 10);
    page.lineTo(48, 20);
    page.lineTo(48, 54);
    page.lineTo(18, 54);
    page.closeSubpath();
    painter.setBrush(Qt::white);
    painter.drawPath(page);

    QPainterPath fold;
    fold.moveTo(38, 10);
    fold.lineTo(38, 20);
    fold.lineTo(48, 20);
    fold.closeSubpath();
    painter.setBrush(kFold);
    painter.drawPath(fold);

    painter.setBrush(kLine);
    painter.drawRect(QRectF(23, 26, 20, 3));
    painter.drawRect(QRectF(23, 33, 20, 3));
    painter.drawRect(QRectF(23, 40, 12, 3));

    painter.setBrush(kGreen);
    painter.drawEllipse(QPointF(44, 46), 12, 12);
    QPen tick(Qt::white, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(tick);
    painter.setBrush(Qt::NoBrush);
    painter.drawPolyline(QPolygonF({QPointF(38, 46), QPointF(43, 51), QPointF(51, 41)}));
    return pixmap;
}

QIcon AppIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128}) {
        icon.addPixmap(AppIconPixmap(size));
    }
    return icon;
}

QPixmap LogoBitmap() {
    QPixmap pixmap(kLogoWidth, kLogoHeight);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient band(0, 0, kLogoWidth, 0);
    band.setColorAt(0, kNavy);
    band.setColorAt(1, kGreen);
    painter.setPen(Qt::NoPen);
    painter.setBrush(band);
    painter.drawRoundedRect(QRectF(0, 0, kLogoWidth, kLogoHeight), 3, 3);

    QFont font;
    font.setPixelSize(10);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(0, 0, kLogoWidth, kLogoHeight), Qt::AlignCenter,
                     QStringLiteral("DOCSALVE"));
    return pixmap;
}
