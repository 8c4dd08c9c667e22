#include "forms/advice_window.h"

#include "forms/browser_frame.h"
#include "forms/window_placement.h"
#include "foundation/handler_guard.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTableView>
#include <QUrl>
#include <QVBoxLayout>

// The index as the hidden grid's two columns, read straight from the entries:
// a ten-thousand-page manual costs one reset rather than twenty thousand cells.
class ManualIndexModel final : public QAbstractTableModel {
public:
    explicit ManualIndexModel(const QList<ManualEntry> &index, QObject *parent)
        : QAbstractTableModel(parent), m_index(index)
    {
    }
    int rowCount(const QModelIndex &parent) const override
    {
        return parent.isValid() ? 0 : int(m_index.size());
    }
    int columnCount(const QModelIndex &parent) const override { return parent.isValid() ? 0 : 2; }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_index.size())
            return {};
        const ManualEntry &entry = m_index.at(index.row());
        return index.column() == 0 ? entry.name : entry.fileName;
    }
    void refresh()
    {
        beginResetModel();
        endResetModel();
    }

private:
    const QList<ManualEntry> &m_index;
};

AdviceWindow::AdviceWindow() : QDialog(nullptr)
{
    setObjectName(QStringLiteral("form_advise"));
    setWindowTitle(QStringLiteral("PHP Manual"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);

    m_model = new ManualIndexModel(m_index, this);
    grid = new QTableView(this);
    grid->setObjectName(QStringLiteral("grid"));
    grid->setModel(m_model);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->hide();

    searched = new QLineEdit(this);
    searched->setObjectName(QStringLiteral("searched"));
    searched->hide();

    frame_browser1 = new BrowserFrame(this);
    frame_browser1->setAddressBarVisible(false);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(frame_browser1);

    connect(searched, &QLineEdit::textChanged, this,
            [this] { RunGuarded([this] { searchedChange(searched); }); });
    connect(grid, &QAbstractItemView::clicked, this,
            [this] { RunGuarded([this] { gridClick(grid); }); });
    connect(grid, &QAbstractItemView::doubleClicked, this,
            [this] { RunGuarded([this] { gridDblClick(grid); }); });

    resize(751, 580);
    MoveToScreenTopLeft(this);
}

AdviceWindow::~AdviceWindow()
{
    if (m_filtering)
        qApp->removeEventFilter(this);
}

void AdviceWindow::BuildManualIndex()
{
    m_folder = ManualFolder();
    QList<ManualEntry> index = ReadManualIndex(m_folder);
    fl.clear();
    fl.reserve(index.size());
    for (const ManualEntry &entry : index)
        fl.append(entry.fileName);
    m_index = std::move(index);
    m_model->refresh();
    m_built = true;
    if (!m_index.isEmpty())
        grid->setCurrentIndex(m_model->index(0, 0));
}

QStringList AdviceWindow::indexNames() const
{
    QStringList names;
    names.reserve(m_index.size());
    for (const ManualEntry &entry : m_index)
        names.append(entry.name);
    return names;
}

int AdviceWindow::currentRow() const
{
    return grid->currentIndex().isValid() ? grid->currentIndex().row() : -1;
}

void AdviceWindow::setCurrentRow(int row)
{
    if (row < 0 || row >= m_index.size())
        return;
    if (row != currentRow())
        grid->setCurrentIndex(m_model->index(row, 0));
    // Also for the row current from the start, whose page may not be shown yet.
    gridClick(grid);
}

QString AdviceWindow::pageAddress(int row) const
{
    if (row < 0 || row >= m_index.size())
        return {};
    // Encoded as the browser reports it back, so a page name holding "#" or
    // "%" still names the file and an unchanged address is recognised.
    return QUrl::fromLocalFile(m_folder + u'/' + m_index.at(row).fileName).toString();
}

void AdviceWindow::showPassively(const QRect &area)
{
    setGeometry(area);
    const bool passive = testAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_ShowWithoutActivating, true);
    show();
    raise();
    setAttribute(Qt::WA_ShowWithoutActivating, passive);
}

void AdviceWindow::FormShow(QObject *)
{
    if (!m_built)
        BuildManualIndex();
}

void AdviceWindow::searchedChange(QObject *)
{
    const QString wanted = searched->text().toLower();
    // The entry itself when the index holds it: a longer name sharing its
    // beginning may come first in the folder ("date-add" sorts before "date").
    for (int row = 0; row < m_index.size(); ++row) {
        if (m_index.at(row).name.toLower() == wanted) {
            setCurrentRow(row);
            return;
        }
    }
    for (int row = 0; row < m_index.size(); ++row) {
        if (m_index.at(row).name.left(wanted.size()).toLower() == wanted) {
            setCurrentRow(row);
            return;
        }
    }
}

void AdviceWindow::gridClick(QObject *Sender)
{
    gridDblClick(Sender);
}

void AdviceWindow::gridDblClick(QObject *)
{
    const QString address = pageAddress(currentRow());
    if (address.isEmpty() || frame_browser1->urlText() == address)
        return;
    frame_browser1->setUrlText(address);
    frame_browser1->navigate(frame_browser1->urlText());
}

void AdviceWindow::FormKeyDown(QObject *Sender, int Key, Qt::KeyboardModifiers)
{
    if (Key == Qt::Key_Escape)
        close();
    else if (Key == Qt::Key_Return || Key == Qt::Key_Enter)
        gridDblClick(Sender);
}

void AdviceWindow::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // Keys reach the browser's inner widgets, which the engine makes when it
    // likes; watching at the application sees them before any control.
    if (!m_filtering) {
        qApp->installEventFilter(this);
        m_filtering = true;
    }
    RunGuarded([this] { FormShow(this); });
}

void AdviceWindow::hideEvent(QHideEvent *event)
{
    if (m_filtering) {
        qApp->removeEventFilter(this);
        m_filtering = false;
    }
    QDialog::hideEvent(event);
}

bool AdviceWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        auto *widget = qobject_cast<QWidget *>(watched);
        if (widget && widget->window() == this) {
            auto *key = static_cast<QKeyEvent *>(event);
            const int code = key->key();
            if (code == Qt::Key_Escape || code == Qt::Key_Return || code == Qt::Key_Enter) {
                const Qt::KeyboardModifiers shift = key->modifiers();
                RunGuarded([this, code, shift] { FormKeyDown(this, code, shift); });
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

QString AdviceWindow::searchedText() const
{
    return searched->text();
}

void AdviceWindow::setSearchedText(const QString &text)
{
    searched->setText(text);
}
