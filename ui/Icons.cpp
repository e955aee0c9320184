#include "Icons.h"

#include <QHash>

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <iterator>

namespace {

struct KindLook {
    const char* number; // last digits of the kind's model name
    QColor colour;
};

const KindLook KindLooks[] = {
    {"21", QColor(0x1f, 0x6f, 0xb2)},
    {"22", QColor(0x13, 0x8d, 0x90)},
    {"23", QColor(0xd2, 0x69, 0x1e)},
    {"20", QColor(0x7b, 0x3f, 0xa0)},
};
static_assert(std::size(KindLooks) == TreeImageKindLast - TreeImageKindFirst + 1);

// All drawing is in a 24 x 24 box; larger pixmaps scale the painter.
void drawDetector(QPainter& p) {
    p.setPen(QPen(QColor(0x3c, 0x46, 0x50), 1));
    p.setBrush(QColor(0xc8, 0xd0, 0xd8));
    p.drawRoundedRect(QRectF(4.5, 1.5, 13, 14), 2, 2);
    p.setBrush(QColor(0x30, 0x40, 0x30));
    p.drawRect(QRectF(7.5, 4.5, 7, 4)); // display window
    p.setBrush(QColor(0x6c, 0x7a, 0x89));
    p.drawRect(QRectF(7.5, 15.5, 7, 6)); // sensor head
}

// A tick or a cross as well as the colour, for users who cannot tell red from green.
void drawBadge(QPainter& p, bool serviceable) {
    p.setPen(QPen(Qt::white, 1.5));
    p.setBrush(serviceable ? QColor(0x2e, 0xa0, 0x43) : QColor(0xd0, 0x21, 0x21));
    p.drawEllipse(QPointF(17.5, 17.5), 6, 6);
    p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    QPainterPath mark;
    if (serviceable) {
        mark.moveTo(14.5, 17.5);
        mark.lineTo(16.8, 19.8);
        mark.lineTo(20.5, 15.2);
    } else {
        mark.moveTo(15, 15);
        mark.lineTo(20, 20);
        mark.moveTo(20, 15);
        mark.lineTo(15, 20);
    }
    p.drawPath(mark);
}

void drawKind(QPainter& p, const KindLook& look) {
    p.setPen(QPen(look.colour.darker(140), 1));
    p.setBrush(look.colour);
    p.drawRoundedRect(QRectF(1.5, 3.5, 21, 17), 3, 3);
    QFont font = p.font();
    font.setBold(true);
    font.setPixelSize(11);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRectF(1.5, 3.5, 21, 17), Qt::AlignCenter, QString::fromLatin1(look.number));
}

bool draw(QPainter& p, int index) {
    switch (index) {
    case TreeImageDetector:
        drawDetector(p);
        return true;
    case TreeImageServiceable:
    case TreeImageFaulty:
        drawDetector(p);
        drawBadge(p, index == TreeImageServiceable);
        return true;
    default:
        if (index < TreeImageKindFirst || index > TreeImageKindLast)
            return false;
        drawKind(p, KindLooks[index - TreeImageKindFirst]);
        return true;
    }
}

} // namespace

namespace {
QIcon drawIcon(int index) {
    QIcon icon;
    for (const int size : {TreeIconSize, 2 * TreeIconSize}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / double(TreeIconSize), size / double(TreeIconSize));
        if (!draw(painter, index))
            return {};
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}
} // namespace

QIcon TreeIcon(int index) {
    // Drawn once: every block decode sets a node's icon again.
    static QHash<int, QIcon> drawn;
    const auto it = drawn.constFind(index);
    if (it != drawn.constEnd())
        return *it;
    return drawn[index] = drawIcon(index);
}
