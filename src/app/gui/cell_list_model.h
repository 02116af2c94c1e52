#pragma once

#include <QAbstractTableModel>

#include "chapters/chapter_model.h"

namespace pelvano::gui {

// The rows of a ChapterDocument as a table: the check box in the first
// column is the chapter start mark; grey text marks a cell not used in
// timestamps, red text a chapter start. The document stays the one place the
// marks live; the model only shows and toggles them.
class CellListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { Caption, VobId, CellId, Length, Timestamp, Angle, LinkedTo, Chapter, ColumnCount };
    // Header data role: the narrowest a column may be, in pixels.
    static constexpr int MinimumWidthRole = Qt::UserRole + 1;

    explicit CellListModel(ChapterDocument& document, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Call around a change that replaces the rows, and after one that only
    // rewrites their marks and texts.
    void beginReplaceRows() { beginResetModel(); }
    void endReplaceRows() { endResetModel(); }
    void rowsRewritten();
    // A playlist's rows: "Clip" and "Mark" head the VOB-ID and CELL-ID columns.
    void setPlaylistColumns(bool playlist);

private:
    ChapterDocument& document_;
    bool playlist_ = false;
};

}  // namespace pelvano::gui
