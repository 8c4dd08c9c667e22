#include "forms/project_functions_dialog.h"

#include "editor/desktop_fonts.h"
#include "forms/ok_cancel_row.h"
#include "forms/window_placement.h"
#include "foundation/user_dialogs.h"
#include "project/function_scan.h"

#include <QAbstractTableModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

// The visible rows: indices into the form's complete list, or one empty row.
class FunctionFilterModel final : public QAbstractTableModel {
public:
    explicit FunctionFilterModel(const ProjectFunctionsDialog::Grid &grid, QObject *parent)
        : QAbstractTableModel(parent), m_grid(grid)
    {
    }
    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : qMax(1, int(m_rows.size()));
    }
    int columnCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : 2;
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role != Qt::DisplayRole || !index.isValid())
            return {};
        return cell(index.column(), index.row());
    }
    QString cell(int column, int row) const
    {
        if (row < 0 || row >= int(m_rows.size()))
            return {};
        return m_grid.cell(column, m_rows[size_t(row)]);
    }
    void setRows(std::vector<int> rows)
    {
        beginResetModel();
        m_rows = std::move(rows);
        endResetModel();
    }

private:
    const ProjectFunctionsDialog::Grid &m_grid;
    std::vector<int> m_rows;
};

namespace {
class CellPainter final : public QStyledItemDelegate {
public:
    explicit CellPainter(const ProjectFunctionsDialog *form)
        : QStyledItemDelegate(nullptr), m_form(form)
    {
    }
    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        m_form->filter_gridDrawCell(painter, index.column(), index.row(), option.rect, option);
    }

private:
    const ProjectFunctionsDialog *m_form;
};

QFont fixedPitchFont()
{
    return CodeFont(10);
}
} // namespace

QString ProjectFunctionsDialog::Grid::cell(int column, int row) const
{
    if (row < 0 || row >= rowCount())
        return {};
    return column == 0 ? lines.at(row) : column == 1 ? files.at(row) : QString();
}

ProjectFunctionsDialog::ProjectFunctionsDialog() : QDialog(nullptr)
{
    setObjectName(QStringLiteral("form_all_functions"));
    setWindowTitle(QStringLiteral("Project Functions"));
    resize(883, 503);
    clearRows();

    search_edit = new QLineEdit(this);
    search_edit->setObjectName(QStringLiteral("search_edit"));
    search_edit->setFont(fixedPitchFont());

    m_model = new FunctionFilterModel(grid, this);
    filter_grid = new QTableView(this);
    filter_grid->setObjectName(QStringLiteral("filter_grid"));
    filter_grid->setModel(m_model);
    filter_grid->setItemDelegate(new CellPainter(this));
    filter_grid->itemDelegate()->setParent(filter_grid);
    filter_grid->setFont(fixedPitchFont());
    filter_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    filter_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    filter_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    filter_grid->setShowGrid(false);
    filter_grid->setWordWrap(false);
    filter_grid->horizontalHeader()->hide();
    filter_grid->verticalHeader()->hide();
    filter_grid->verticalHeader()->setMinimumSectionSize(1);
    filter_grid->verticalHeader()->setDefaultSectionSize(18);
    filter_grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    // The file-name column starts 1000 pixels to the right on purpose.
    filter_grid->horizontalHeader()->setDefaultSectionSize(1000);
    filter_grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    filter_grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    const OkCancelRow row =
        MakeOkCancelRow(this, QStringLiteral("Button1"), QStringLiteral("Button2"),
                        /*skippedByTab=*/true);
    Button1 = row.ok;
    Button2 = row.cancel;
    QHBoxLayout *buttons = row.layout;
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 4, 4);
    layout->setSpacing(0);
    layout->addWidget(search_edit);
    layout->addWidget(filter_grid, 1);
    layout->addLayout(buttons);

    connect(search_edit, &QLineEdit::textChanged, this, [this] { search_editChange(search_edit); });
    connect(filter_grid, &QTableView::doubleClicked, this,
            [this] { filter_gridDblClick(filter_grid); });
    search_edit->installEventFilter(this);
    filter_grid->installEventFilter(this);
    search_editChange(nullptr);
}

ProjectFunctionsDialog::~ProjectFunctionsDialog() = default;

void ProjectFunctionsDialog::clearRows()
{
    grid.lines = QStringList{QString()};
    grid.files = QStringList{QString()};
    if (m_model)
        search_editChange(nullptr);
}

void ProjectFunctionsDialog::setRows(const QStringList &lines, const QStringList &files)
{
    if (lines.isEmpty()) {
        clearRows();
        return;
    }
    grid.lines = lines;
    grid.files = files;
    while (grid.files.size() < grid.lines.size())
        grid.files.append(QString());
    grid.files.resize(grid.lines.size());
    search_editChange(nullptr);
}

int ProjectFunctionsDialog::ShowWithSelection(const QString &line)
{
    SortRows();
    search_editChange(nullptr);
    if (!line.isEmpty()) {
        for (int row = 0; row < filterRowCount(); ++row) {
            if (filterCell(0, row) == line) {
                setCurrentRow(row);
                break;
            }
        }
    }
    return Dialogs().showModal(this);
}

void ProjectFunctionsDialog::SortRows()
{
    const std::vector<int> order = ::SortRows(grid.lines);
    QStringList lines;
    QStringList files;
    lines.reserve(grid.lines.size());
    files.reserve(grid.files.size());
    for (int k : order) {
        lines.append(grid.lines.at(k));
        files.append(grid.files.at(k));
    }
    grid.lines = std::move(lines);
    grid.files = std::move(files);
    search_editChange(nullptr);
}

void ProjectFunctionsDialog::search_editChange(QObject *)
{
    const QString filter = search_edit ? search_edit->text() : QString();
    std::vector<int> rows;
    for (int row = 0; row < grid.rowCount(); ++row) {
        if (filter.isEmpty() || grid.lines.at(row).contains(filter, Qt::CaseSensitive))
            rows.push_back(row);
    }
    m_model->setRows(std::move(rows));
    setCurrentRow(0);
}

QString ProjectFunctionsDialog::FileNameCellText(const QString &name)
{
    return name.size() > 20 ? QStringLiteral("...") + name.right(17) : name;
}

void ProjectFunctionsDialog::filter_gridDrawCell(QPainter *painter, int column, int row,
                                                 const QRect &rect,
                                                 const QStyleOptionViewItem &state) const
{
    QString text = filterCell(column, row);
    if (column == 1)
        text = FileNameCellText(text);
    const bool selected = state.state & QStyle::State_Selected;
    const QPalette &palette = state.palette;
    painter->save();
    painter->fillRect(rect, selected ? palette.highlight() : palette.base());
    painter->setPen(selected ? palette.highlightedText().color() : palette.text().color());
    painter->setFont(state.font);
    painter->setClipRect(rect);
    const QFontMetrics metrics(state.font);
    painter->drawText(rect.left() + 2, rect.top() + 2 + metrics.ascent(), text);
    painter->restore();
}

void ProjectFunctionsDialog::filter_gridDblClick(QObject *)
{
    accept();
}

void ProjectFunctionsDialog::FormActivate(QObject *)
{
    search_edit->setFocus();
}

bool ProjectFunctionsDialog::FormKeyDown(QObject *Sender, int key, Qt::KeyboardModifiers)
{
    if (key == Qt::Key_F2) {
        reject();
        return true;
    }
    if ((key == Qt::Key_Down || key == Qt::Key_Up) && Sender == search_edit) {
        filter_grid->setFocus();
        return true;
    }
    return false;
}

int ProjectFunctionsDialog::filterRowCount() const
{
    return m_model->rowCount();
}

QString ProjectFunctionsDialog::filterCell(int column, int row) const
{
    return m_model->cell(column, row);
}

int ProjectFunctionsDialog::currentRow() const
{
    return filter_grid->currentIndex().row();
}

void ProjectFunctionsDialog::setCurrentRow(int row)
{
    if (row < 0 || row >= filterRowCount())
        return;
    filter_grid->setCurrentIndex(m_model->index(row, 0));
    filter_grid->scrollTo(m_model->index(row, 0));
}

void ProjectFunctionsDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    CentreOnScreen(this);
    FormActivate(this);
}

bool ProjectFunctionsDialog::eventFilter(QObject *watched, QEvent *event)
{
    // The window sees its keys before the focused control does.
    if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (FormKeyDown(watched, key->key(), key->modifiers()))
            return true;
    }
    return QDialog::eventFilter(watched, event);
}
