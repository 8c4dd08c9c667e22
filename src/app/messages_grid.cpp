#include "app/messages_grid.h"

#include <QHeaderView>

int MessagesModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int MessagesModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 3;
}

QVariant MessagesModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= int(m_rows.size()))
        return {};
    return m_rows[size_t(index.row())][size_t(index.column())];
}

void MessagesModel::setRowCount(int rows)
{
    rows = qMax(0, rows);
    const int old = int(m_rows.size());
    if (rows > old) {
        beginInsertRows({}, old, rows - 1);
        m_rows.resize(size_t(rows));
        endInsertRows();
    } else if (rows < old) {
        beginRemoveRows({}, rows, old - 1);
        m_rows.resize(size_t(rows));
        endRemoveRows();
    }
}

void MessagesModel::appendRows(std::vector<Row> rows)
{
    if (rows.empty())
        return;
    const int old = int(m_rows.size());
    beginInsertRows({}, old, old + int(rows.size()) - 1);
    m_rows.insert(m_rows.end(), std::make_move_iterator(rows.begin()),
                  std::make_move_iterator(rows.end()));
    endInsertRows();
}

void MessagesModel::removeRow(int row)
{
    if (row < 0 || row >= int(m_rows.size()))
        return;
    beginRemoveRows({}, row, row);
    m_rows.erase(m_rows.begin() + row);
    endRemoveRows();
}

QString MessagesModel::cell(int column, int row) const
{
    if (row < 0 || row >= int(m_rows.size()) || column < 0 || column > 2)
        return {};
    return m_rows[size_t(row)][size_t(column)];
}

void MessagesModel::setCell(int column, int row, const QString &text)
{
    if (row < 0 || row >= int(m_rows.size()) || column < 0 || column > 2)
        return;
    m_rows[size_t(row)][size_t(column)] = text;
    const QModelIndex changed = index(row, column);
    emit dataChanged(changed, changed, {Qt::DisplayRole});
}

MessagesGrid::MessagesGrid(QWidget *parent) : QTableView(parent)
{
    setModel(&m_model);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    horizontalHeader()->hide();
    verticalHeader()->hide();
    // Every row has the same height, which keeps long lists cheap to lay out.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(18);
    horizontalHeader()->setDefaultSectionSize(800);
    setShowGrid(false);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWordWrap(false);
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex &index) {
        emit cellDoubleClicked(index.row(), index.column());
    });
}

void MessagesGrid::setCurrentCell(int row, int column)
{
    setCurrentIndex(m_model.index(row, column));
}
