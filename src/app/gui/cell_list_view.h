#pragma once

#include <QStyledItemDelegate>
#include <QTreeView>

#include <cstddef>
#include <vector>

namespace pelvano::gui {

// Draws a hot row (the one under the pointer) with a light highlight and the
// list's own text colour; every other row keeps the colour its model gives.
class CellRowDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    // Where the check box of `index` is drawn; empty when it has none.
    QRect checkBoxRect(const QStyleOptionViewItem& option, const QModelIndex& index) const;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

// A report-style list: whole rows selected, several at once, hot tracking
// with a hand pointer over rows, columns as wide as their contents.
class CellListView : public QTreeView {
    Q_OBJECT

public:
    explicit CellListView(QWidget* parent = nullptr);

    // Whether a point of the viewport lies on a row's check box.
    bool isOnCheckBox(const QPoint& viewportPos) const;
    // Every column as wide as its contents, never below its minimum width;
    // while the list is hidden (another page is up), when it is next shown.
    void fitColumns();
    // Lays the rows out and paints them afresh.
    void relayout();
    // Selected rows, ascending.
    std::vector<size_t> selectedRowNumbers() const;

signals:
    // After the list has handled a released button (a check box is toggled
    // by then).
    void mouseReleased(const QPoint& viewportPos);
    // The popup menu is wanted: when the right button is released (after
    // mouseReleased, so a check box under it counts first) or from the
    // keyboard.
    void popupRequested(const QPoint& viewportPos);

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    CellRowDelegate* delegate_;
    bool columnsStale_ = false;
};

}  // namespace pelvano::gui
