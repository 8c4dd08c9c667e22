#pragma once

#include <QAbstractTableModel>
#include <QTableView>

#include <array>
#include <vector>

class QLabel;
class QPushButton;

// The rows of the messages panel: text, file and line per row, kept as plain
// strings so tens of thousands of find-in-files hits cost no item objects.
// A fourth, unseen cell may hold where a hit's match lies in its text
// ("column length", 0-based in the shown text). Files are shown relative to
// the base folder and only on the first of consecutive rows of one file, so a
// search's hits read as groups; a row whose text begins with its file shows
// no file or line of its own. The tooltip holds the whole row.
class MessagesModel final : public QAbstractTableModel {
    Q_OBJECT

public:
    using Row = std::array<QString, 4>;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;

    void setRowCount(int rows);
    void appendRows(std::vector<Row> rows);
    void removeRow(int row);
    QString cell(int column, int row) const;
    void setCell(int column, int row, const QString &text);
    void setBaseFolder(const QString &folder);
    // The file as shown: relative to the base folder when inside it.
    QString displayPath(const QString &file) const;

private:
    std::vector<Row> m_rows;
    QString m_base; // with a trailing separator; empty for none
};

// The three-column grid of the messages panel, shown file, line, text, under
// a heading line (a search's count and its Cancel button) when it has one.
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
    void setBaseFolder(const QString &folder) { m_model.setBaseFolder(folder); }
    QString displayPath(const QString &file) const { return m_model.displayPath(file); }
    // Fits the file and line columns to what they show.
    void fitLocationColumns();
    // The heading line; an empty text hides it.
    void setHeading(const QString &text, bool cancellable);
    QString heading() const;
    bool isCancellable() const;
    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;

signals:
    void cellDoubleClicked(int row, int column);
    void cancelRequested();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void placeHeading();

    MessagesModel m_model;
    QWidget *m_heading;
    QLabel *m_headingText;
    QPushButton *m_cancel;
};
