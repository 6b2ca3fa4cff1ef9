#pragma once

#include <QImage>
#include <QRect>
#include <QStyledItemDelegate>

// Draws a name cell as a 16 x 16 icon at the cell's top-left corner, 3 pixels
// in, followed by the text, shortened in the middle when it does not fit.
class IconedCell : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr int iconSize = 16;

    using QStyledItemDelegate::QStyledItemDelegate;

    static QImage iconImage(const QImage& image);
    static QRect iconRect(const QRect& cell);
    // Text starts at x + 22 with an icon, x + 3 without, and runs to the
    // right edge with the cell's full height.
    static QRect textRect(const QRect& cell, bool hasIcon);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
};
