#include "widgets/tree_icon_delegate.h"

#include <QApplication>
#include <QPainter>

#include "widgets/skin_image.h"

namespace ocv {

TreeIconDelegate::TreeIconDelegate(QObject* parent) : QStyledItemDelegate(parent) {
    QPixmap strip = SkinPixmap("treeIcon.png");
    // Every slot of the strip is as wide as the strip is high.
    int slot = strip.height();
    if (slot <= 0) return;
    for (int x = 0; x + slot <= strip.width(); x += slot)
        icons_.push_back(strip.copy(x, 0, slot, slot).scaled(kIconSize, kIconSize, Qt::KeepAspectRatio,
                                                              Qt::SmoothTransformation));
}

void TreeIconDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QList<int> icons = index.data(kIconsRole).value<QList<int>>();
    QString text = opt.text;
    opt.text.clear();
    QStyle* style = opt.widget ? opt.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);

    QRect r = opt.rect.adjusted(2, 0, 0, 0);
    int y = r.top() + (r.height() - kIconSize) / 2;
    for (int icon : icons) {
        if (icon >= 0 && icon < static_cast<int>(icons_.size())) painter->drawPixmap(r.left(), y, icons_[icon]);
        r.setLeft(r.left() + kIconSize + 1);
    }
    r.setLeft(r.left() + 3);
    painter->save();
    painter->setPen(opt.palette.color(opt.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text));
    painter->drawText(r, Qt::AlignVCenter | Qt::AlignLeft, opt.fontMetrics.elidedText(text, Qt::ElideRight, r.width()));
    painter->restore();
}

QSize TreeIconDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QSize s = QStyledItemDelegate::sizeHint(option, index);
    int icons = static_cast<int>(index.data(kIconsRole).value<QList<int>>().size());
    return QSize(s.width() + icons * (kIconSize + 1), std::max(s.height(), kIconSize + 4));
}

}  // namespace ocv
