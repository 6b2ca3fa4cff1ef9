#include "ui/IconedCell.h"

#include <QApplication>
#include <QIcon>
#include <QPainter>

QImage IconedCell::iconImage(const QImage& image) {
    if (image.size() == QSize(iconSize, iconSize))
        return image;
    QImage scaled(iconSize, iconSize, QImage::Format_ARGB32_Premultiplied);
    scaled.fill(Qt::transparent);
    QPainter painter(&scaled);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRect(0, 0, iconSize, iconSize), image);
    return scaled;
}

QRect IconedCell::iconRect(const QRect& cell) {
    return QRect(cell.x() + 3, cell.y(), iconSize, iconSize);
}

QRect IconedCell::textRect(const QRect& cell, bool hasIcon) {
    const int left = cell.x() + 3 + (hasIcon ? iconSize + 3 : 0);
    return QRect(QPoint(left, cell.y()), QPoint(cell.right(), cell.bottom()));
}

void IconedCell::paint(QPainter* painter, const QStyleOptionViewItem& option,
                       const QModelIndex& index) const {
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    background.text.clear();
    background.icon = QIcon();
    const QWidget* widget = option.widget;
    QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &background, painter, widget);

    const QVariant decoration = index.data(Qt::DecorationRole);
    QImage image;
    if (decoration.canConvert<QIcon>() && !decoration.value<QIcon>().isNull()) {
        const QIcon icon = decoration.value<QIcon>();
        image = icon.pixmap(icon.actualSize(QSize(iconSize, iconSize))).toImage();
    } else if (decoration.canConvert<QImage>()) {
        image = decoration.value<QImage>();
    }
    const bool hasIcon = !image.isNull();
    if (hasIcon) {
        painter->save();
        painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
        painter->drawImage(iconRect(option.rect), iconImage(image));
        painter->restore();
    }

    const QString text = index.data(Qt::DisplayRole).toString();
    if (text.isEmpty())
        return;
    const QRect area = textRect(option.rect, hasIcon);
    painter->save();
    painter->setFont(option.font);
    const bool selected = (option.state & QStyle::State_Selected) != 0;
    painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    const QString shown = option.fontMetrics.elidedText(text, Qt::ElideMiddle, area.width());
    painter->drawText(area, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, shown);
    painter->restore();
}
