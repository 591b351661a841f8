// Draws the job list's cells the way the view sets the list up: item texts on white,
// with grid lines between rows and along the column edge.
#pragma once

#include <QStyledItemDelegate>

namespace tavrin::view {

class JobListGridDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

} // namespace tavrin::view
