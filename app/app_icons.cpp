#include "app/app_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

// A page with a folded corner, its lines of text, and a magnifier over its
// lower right part, all scaled to a square of the given size.
QPixmap PaintPage(int size, bool listRows, QColor accent)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);

    QPainterPath page;
    page.moveTo(5, 2);
    page.lineTo(20, 2);
    page.lineTo(26, 8);
    page.lineTo(26, 30);
    page.lineTo(5, 30);
    page.closeSubpath();
    p.setPen(QPen(QColor(60, 60, 70), 1.2));
    p.setBrush(Qt::white);
    p.drawPath(page);
    p.setBrush(QColor(220, 220, 228));
    p.drawPolygon(QPolygonF({QPointF(20, 2), QPointF(20, 8), QPointF(26, 8)}));

    // Offsets and fields: a short mark, then a longer line, as in the trees.
    p.setPen(Qt::NoPen);
    for (int row = 0; row < 5; ++row) {
        const qreal y = 11 + row * 3.5;
        p.setBrush(accent);
        p.drawRect(QRectF(8, y, listRows ? 3 : 4, 1.8));
        p.setBrush(QColor(120, 120, 130));
        p.drawRect(QRectF(listRows ? 12.5 : 13, y, listRows ? 10 : 8 - (row % 2) * 3, 1.8));
    }

    p.setPen(QPen(QColor(40, 40, 50), 2.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(24, 24), QPointF(30, 30));
    p.setPen(QPen(QColor(40, 40, 50), 1.6));
    p.setBrush(QColor(180, 215, 255, 200));
    p.drawEllipse(QPointF(20, 20), 6, 6);
    return pixmap;
}

QIcon PageIcon(bool listRows, QColor accent)
{
    QIcon icon;
    for (int size : {16, 32, 48, 64})
        icon.addPixmap(PaintPage(size, listRows, accent));
    return icon;
}

}  // namespace

QIcon MainFrameIcon()
{
    return PageIcon(false, QColor(200, 60, 40));
}

QIcon DocumentIcon()
{
    return PageIcon(false, QColor(40, 110, 200));
}

QIcon RoughAnalysisIcon()
{
    return PageIcon(true, QColor(40, 150, 70));
}

QIcon OpenButtonIcon()
{
    // An open folder in the tool bar's 16 x 15 cell.
    QPixmap pixmap(16, 15);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setPen(QColor(90, 70, 20));
    p.setBrush(QColor(230, 190, 80));
    p.drawPolygon(QPolygon({QPoint(1, 3), QPoint(5, 3), QPoint(6, 4), QPoint(12, 4), QPoint(12, 13),
                            QPoint(1, 13)}));
    p.setBrush(QColor(250, 220, 120));
    p.drawPolygon(QPolygon({QPoint(3, 7), QPoint(15, 7), QPoint(12, 13), QPoint(1, 13)}));
    p.setPen(QColor(30, 90, 30));
    p.drawLine(10, 1, 13, 1);
    p.drawLine(13, 1, 13, 3);
    p.drawLine(14, 2, 12, 2);
    return QIcon(pixmap);
}
