#pragma once

#include <QAbstractTableModel>
#include <QTableView>

#include <array>
#include <vector>

// The rows of the messages panel: text, file and line per row, kept as plain
// strings so tens of thousands of find-in-files hits cost no item objects.
class MessagesModel final : public QAbstractTableModel {
    Q_OBJECT

public:
    using Row = std::array<QString, 3>;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;

    void setRowCount(int rows);
    void appendRows(std::vector<Row> rows);
    void removeRow(int row);
    QString cell(int column, int row) const;
    void setCell(int column, int row, const QString &text);

private:
    std::vector<Row> m_rows;
};

// The three-column grid of the messages panel.
class MessagesGrid final : public QTableView {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MessagesGrid)

public:
    explicit MessagesGrid(QWidget *parent = nullptr);

    int rowCount() const { return m_model.rowCount(); }
    void setRowCount(int rows) { m_model.setRowCount(rows); }
    QString cell(int column, int row) const { return m_model.cell(column, row); }
    void setCell(int column, int row, const QString &text) { m_model.setCell(column, row, text); }
    void appendRows(std::vector<MessagesModel::Row> rows) { m_model.appendRows(std::move(rows)); }
    void removeRow(int row) { m_model.removeRow(row); }
    int currentRow() const { return currentIndex().row(); }
    void setCurrentCell(int row, int column);

signals:
    void cellDoubleClicked(int row, int column);

private:
    MessagesModel m_model;
};
