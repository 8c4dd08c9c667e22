#include "app/messages_grid.h"

#include <QDir>
#include <QFont>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>

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
    if (!index.isValid() || index.row() >= int(m_rows.size()))
        return {};
    const Row &row = m_rows[size_t(index.row())];
    if (role == Qt::ToolTipRole) {
        QString tip = row[0];
        if (!row[1].isEmpty())
            tip += u'\n' + QDir::toNativeSeparators(row[1]) +
                   (row[2].isEmpty() ? QString() : u':' + row[2]);
        return tip;
    }
    if (role == Qt::TextAlignmentRole && index.column() == 2)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    if (role == Qt::FontRole && index.column() == 1) {
        QFont bold;
        bold.setBold(true);
        return bold;
    }
    if (role != Qt::DisplayRole)
        return {};
    if (index.column() == 0)
        return row[0];
    // The text names its place itself (a php -l or run row): not again.
    const QString shown = displayPath(row[1]);
    if (row[1].isEmpty() || row[0].startsWith(shown))
        return {};
    if (index.column() == 2)
        return row[2];
    const bool sameAsAbove = index.row() > 0 && m_rows[size_t(index.row() - 1)][1] == row[1];
    return sameAsAbove ? QVariant() : QVariant(shown);
}

void MessagesModel::setBaseFolder(const QString &folder)
{
    const QString base = folder.isEmpty() ? QString() : QDir(folder).absolutePath() + u'/';
    if (base == m_base)
        return;
    m_base = base;
    if (!m_rows.empty())
        emit dataChanged(index(0, 0), index(int(m_rows.size()) - 1, 2));
}

QString MessagesModel::displayPath(const QString &file) const
{
    const QString path = QDir::fromNativeSeparators(file);
    if (!m_base.isEmpty() && path.startsWith(m_base) && path.size() > m_base.size())
        return QDir::toNativeSeparators(path.mid(m_base.size()));
    return file;
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
    if (row < 0 || row >= int(m_rows.size()) || column < 0 || column > 3)
        return {};
    return m_rows[size_t(row)][size_t(column)];
}

void MessagesModel::setCell(int column, int row, const QString &text)
{
    if (row < 0 || row >= int(m_rows.size()) || column < 0 || column > 3)
        return;
    m_rows[size_t(row)][size_t(column)] = text;
    // The file decides what this row and the next one show.
    const int last = std::min(row + 1, int(m_rows.size()) - 1);
    emit dataChanged(index(row, 0), index(last, 2));
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
    // File and line before the text, which may run on as far as it likes.
    horizontalHeader()->moveSection(1, 0);
    horizontalHeader()->moveSection(2, 1);
    fitLocationColumns();

    m_heading = new QWidget(this);
    m_heading->setObjectName(QStringLiteral("messagesheading"));
    m_heading->setAutoFillBackground(true);
    m_heading->setBackgroundRole(QPalette::Window);
    auto *layout = new QHBoxLayout(m_heading);
    layout->setContentsMargins(4, 1, 4, 1);
    m_headingText = new QLabel(m_heading);
    m_headingText->setObjectName(QStringLiteral("messagesheadingtext"));
    m_headingText->setFont(QFont());
    m_cancel = new QPushButton(QStringLiteral("Cancel"), m_heading);
    m_cancel->setObjectName(QStringLiteral("messagescancel"));
    m_cancel->setFont(QFont());
    m_cancel->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(m_headingText, 1);
    layout->addWidget(m_cancel);
    connect(m_cancel, &QPushButton::clicked, this, &MessagesGrid::cancelRequested);
    m_heading->hide();
}

void MessagesGrid::fitLocationColumns()
{
    const int digits = fontMetrics().horizontalAdvance(QStringLiteral("00000"));
    setColumnWidth(2, digits);
    // The widest path among the rows a quick look takes in, within bounds.
    resizeColumnToContents(1);
    setColumnWidth(1, std::clamp(columnWidth(1) + 8, 4, 360));
}

void MessagesGrid::setHeading(const QString &text, bool cancellable)
{
    m_headingText->setText(text);
    m_cancel->setVisible(cancellable);
    m_heading->setVisible(!text.isEmpty());
    placeHeading();
}

QString MessagesGrid::heading() const
{
    return m_heading->isVisibleTo(this) ? m_headingText->text() : QString();
}

bool MessagesGrid::isCancellable() const
{
    return m_heading->isVisibleTo(this) && m_cancel->isVisibleTo(m_heading);
}

void MessagesGrid::scrollTo(const QModelIndex &index, ScrollHint hint)
{
    QTableView::scrollTo(index, hint);
    // The text column is wider than the panel and starts after the file
    // and line: making it "visible" would scroll its beginning out of sight.
    horizontalScrollBar()->setValue(0);
}

void MessagesGrid::resizeEvent(QResizeEvent *event)
{
    QTableView::resizeEvent(event);
    placeHeading();
}

void MessagesGrid::placeHeading()
{
    const int height = m_heading->isVisibleTo(this) ? m_heading->sizeHint().height() : 0;
    setViewportMargins(0, height, 0, 0);
    m_heading->setGeometry(0, 0, width(), height);
}

void MessagesGrid::setCurrentCell(int row, int column)
{
    setCurrentIndex(m_model.index(row, column));
}
