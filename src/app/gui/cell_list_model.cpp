#include "cell_list_model.h"

#include <QBrush>
#include <QGuiApplication>
#include <QPalette>

namespace pelvano::gui {

namespace {

struct ColumnInfo {
    const char* caption;
    Qt::Alignment alignment;
    int minimumWidth;
};

constexpr Qt::Alignment kLeft = Qt::AlignLeft | Qt::AlignVCenter;
constexpr Qt::Alignment kRight = Qt::AlignRight | Qt::AlignVCenter;

const ColumnInfo kColumns[CellListModel::ColumnCount] = {
    {"#", kLeft, 50},          {"VOB-ID", kRight, 50}, {"CELL-ID", kRight, 50},   {"Length", kRight, 80},
    {"Timestamp", kRight, 80}, {"Angle", kRight, 40},  {"Linked to", kRight, 50}, {"Chapter", kRight, 50},
};

const std::string& CellText(const CellRow& row, int column)
{
    switch (column) {
    case CellListModel::Caption:
        return row.caption;
    case CellListModel::VobId:
        return row.vobId;
    case CellListModel::CellId:
        return row.cellId;
    case CellListModel::Length:
        return row.length;
    case CellListModel::Timestamp:
        return row.timestamp;
    case CellListModel::Angle:
        return row.angle;
    case CellListModel::LinkedTo:
        return row.linkedTo;
    default:
        return row.chapter;
    }
}

}  // namespace

CellListModel::CellListModel(ChapterDocument& document, QObject* parent)
    : QAbstractTableModel(parent),
      document_(document)
{
}

int CellListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(document_.rows.size());
}

int CellListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant CellListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= ColumnCount)
        return {};
    const CellRow& row = document_.rows[static_cast<size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return QString::fromLocal8Bit(CellText(row, index.column()));
    case Qt::CheckStateRole:
        if (index.column() == Caption)
            return row.checked ? Qt::Checked : Qt::Unchecked;
        return {};
    case Qt::TextAlignmentRole:
        return kColumns[index.column()].alignment.toInt();
    case Qt::ForegroundRole:
        // Not used in timestamps wins over chapter start.
        if (!row.usedInTimestamps())
            return QBrush(QGuiApplication::palette().color(QPalette::Disabled, QPalette::Text));
        if (row.checked)
            return QBrush(QColor(255, 0, 0));
        return {};
    default:
        return {};
    }
}

bool CellListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::CheckStateRole || !index.isValid() || index.column() != Caption ||
        index.row() >= rowCount())
        return false;
    document_.rows[static_cast<size_t>(index.row())].checked = value.value<Qt::CheckState>() == Qt::Checked;
    emit dataChanged(this->index(index.row(), 0), this->index(index.row(), ColumnCount - 1));
    return true;
}

Qt::ItemFlags CellListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (index.column() == Caption)
        flags |= Qt::ItemIsUserCheckable;
    return flags;
}

QVariant CellListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        if (playlist_ && (section == VobId || section == CellId))
            return section == VobId ? QStringLiteral("Clip") : QStringLiteral("Mark");
        return QString::fromLatin1(kColumns[section].caption);
    case Qt::TextAlignmentRole:
        return kColumns[section].alignment.toInt();
    case MinimumWidthRole:
        return kColumns[section].minimumWidth;
    default:
        return {};
    }
}

void CellListModel::setPlaylistColumns(bool playlist)
{
    if (playlist_ == playlist)
        return;
    playlist_ = playlist;
    emit headerDataChanged(Qt::Horizontal, VobId, CellId);
}

void CellListModel::rowsRewritten()
{
    if (rowCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
}

}  // namespace pelvano::gui
