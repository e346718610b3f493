#pragma once
// Paints a tree entry as a row of small state icons (indices into the treeIcon.png strip, kept
// in kIconsRole) followed by its text.
#include <QPixmap>
#include <QStyledItemDelegate>
#include <vector>

namespace ocv {

class TreeIconDelegate : public QStyledItemDelegate {
public:
    static constexpr int kIconsRole = Qt::UserRole + 10;  // QList<int>
    static constexpr int kIconSize = 18;

    explicit TreeIconDelegate(QObject* parent);
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    std::vector<QPixmap> icons_;  // cut from the strip once
};

}  // namespace ocv
