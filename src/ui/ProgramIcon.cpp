#include "ui/ProgramIcon.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace q8ui {

namespace {

// The picture is laid out on a 64-unit square and drawn at each size the
// system asks for, so large icons are sharp rather than scaled up.
constexpr int DESIGN_SIZE = 64;
constexpr int ICON_SIZES[] = {16, 32, 48, 64, 128, 256};

QImage DrawIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(static_cast<qreal>(size) / DESIGN_SIZE, static_cast<qreal>(size) / DESIGN_SIZE);

    // The cartridge: a rounded body with a cut corner and contacts.
    QPainterPath body;
    body.moveTo(10, 4);
    body.lineTo(46, 4);
    body.lineTo(56, 14);
    body.lineTo(56, 58);
    body.quadTo(56, 60, 54, 60);
    body.lineTo(10, 60);
    body.quadTo(8, 60, 8, 58);
    body.lineTo(8, 6);
    body.quadTo(8, 4, 10, 4);
    p.setPen(QPen(QColor(20, 50, 110), 2));
    p.setBrush(QColor(40, 100, 200));
    p.drawPath(body);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(230, 190, 60));
    for (int x = 14; x <= 44; x += 6) {
        p.drawRect(x, 50, 4, 8);
    }

    // The label with the arrow into the cartridge.
    p.setBrush(QColor(245, 245, 240));
    p.drawRoundedRect(QRectF(14, 12, 36, 32), 3, 3);
    QPainterPath arrow;
    arrow.moveTo(28, 16);
    arrow.lineTo(36, 16);
    arrow.lineTo(36, 27);
    arrow.lineTo(43, 27);
    arrow.lineTo(32, 40);
    arrow.lineTo(21, 27);
    arrow.lineTo(28, 27);
    arrow.closeSubpath();
    p.setBrush(QColor(200, 40, 40));
    p.drawPath(arrow);
    return image;
}

}  // namespace

QIcon ProgramIcon() {
    QIcon icon;
    for (const int size : ICON_SIZES) {
        icon.addPixmap(QPixmap::fromImage(DrawIcon(size)));
    }
    return icon;
}

}  // namespace q8ui
