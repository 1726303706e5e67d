#include "app/path_delegate.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QStyle>

QString CPathDelegate::ElidePath(const QString& path, const QFontMetrics& metrics, int width)
{
    if (metrics.horizontalAdvance(path) <= width)
        return path;
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash > 0) {
        const QString name = path.mid(slash);   // with its slash
        const int room = width - metrics.horizontalAdvance(name);
        // The folder keeps at least its first character and the ellipsis.
        if (room >= metrics.horizontalAdvance(path.left(1) + QChar(0x2026))) {
            const QString folder = metrics.elidedText(path.left(slash), Qt::ElideMiddle, room);
            if (!folder.isEmpty())
                return folder + name;
        }
    }
    return metrics.elidedText(path, Qt::ElideMiddle, width);
}

void CPathDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem item(option);
    initStyleOption(&item, index);
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    // The style draws the text inside its rectangle with a margin each side.
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    const QRect text = style->subElementRect(QStyle::SE_ItemViewItemText, &item, widget);
    item.text = ElidePath(item.text, item.fontMetrics, text.width() - 2 * margin);
    style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);
}
