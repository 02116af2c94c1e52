#include "cell_list_view.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

#include "cell_list_model.h"

namespace pelvano::gui {

void CellRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const
{
    if ((option.state & QStyle::State_MouseOver) && !(option.state & QStyle::State_Selected)) {
        QColor hot = option.palette.color(QPalette::Highlight);
        hot.setAlpha(48);
        painter->fillRect(option.rect, hot);
    }
    QStyledItemDelegate::paint(painter, option, index);
}

void CellRowDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    if ((option->state & QStyle::State_MouseOver) && option->widget)
        option->palette.setBrush(QPalette::Text, option->widget->palette().brush(QPalette::Text));
}

QRect CellRowDelegate::checkBoxRect(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    if (!(opt.features & QStyleOptionViewItem::HasCheckIndicator))
        return {};
    const QWidget* widget = opt.widget;
    const QStyle* style = widget ? widget->style() : QApplication::style();
    return style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, widget);
}

CellListView::CellListView(QWidget* parent) : QTreeView(parent), delegate_(new CellRowDelegate(this))
{
    setItemDelegate(delegate_);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_Hover);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    header()->setSectionResizeMode(QHeaderView::Interactive);
}

bool CellListView::isOnCheckBox(const QPoint& viewportPos) const
{
    const QModelIndex index = indexAt(viewportPos);
    if (!index.isValid())
        return false;
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(index);
    option.widget = this;
    return delegate_->checkBoxRect(option, index).contains(viewportPos);
}

void CellListView::fitColumns()
{
    if (!model())
        return;
    for (int column = 0; column < model()->columnCount(); ++column) {
        const int minimum =
            model()->headerData(column, Qt::Horizontal, CellListModel::MinimumWidthRole).toInt();
        header()->resizeSection(
            column, std::max({minimum, sizeHintForColumn(column), header()->sectionSizeHint(column)}));
    }
}

void CellListView::relayout()
{
    fitColumns();
    doItemsLayout();
    viewport()->update();
}

std::vector<size_t> CellListView::selectedRowNumbers() const
{
    std::vector<size_t> rows;
    if (!selectionModel())
        return rows;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        rows.push_back(static_cast<size_t>(index.row()));
    std::sort(rows.begin(), rows.end());
    return rows;
}

void CellListView::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    const Qt::MouseButton button = event->button();
    QTreeView::mouseReleaseEvent(event);
    emit mouseReleased(pos);
    if (button == Qt::RightButton)
        emit popupRequested(pos);
}

void CellListView::contextMenuEvent(QContextMenuEvent* event)
{
    // Some platforms ask for the menu when the button goes down; the menu
    // would then take the release that may have to rebuild the chapters.
    if (event->reason() != QContextMenuEvent::Mouse)
        emit popupRequested(viewport()->mapFromGlobal(event->globalPos()));
    event->accept();
}

void CellListView::mouseMoveEvent(QMouseEvent* event)
{
    const bool overRow = indexAt(event->position().toPoint()).isValid();
    viewport()->setCursor(overRow ? Qt::PointingHandCursor : Qt::ArrowCursor);
    QTreeView::mouseMoveEvent(event);
}

}  // namespace pelvano::gui
