#pragma once
// Draws the rough list's paths: a path too long for its cell loses the
// middle of its folder, so that the file name stays whole and the folder's
// start still tells where it lies.
#include <QStyledItemDelegate>

class QFontMetrics;

class CPathDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // The path as it fits in width: whole, with "…" in the middle of its
    // folder, or, when even the file name does not fit, cut in its middle.
    static QString ElidePath(const QString& path, const QFontMetrics& metrics, int width);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
