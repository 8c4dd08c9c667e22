#include "app/goto_symbol_popup.h"

#include "project/fuzzy_match.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {
constexpr int MaxRows = 200;
}

GotoSymbolPopup::GotoSymbolPopup(QWidget *parent)
    : QFrame(parent, Qt::Popup), m_field(new QLineEdit(this)), m_list(new QListWidget(this))
{
    setObjectName(QStringLiteral("GotoSymbolPopup"));
    setFrameShape(QFrame::StyledPanel);
    m_field->setObjectName(QStringLiteral("GotoSymbolField"));
    m_field->setPlaceholderText(QStringLiteral("Go to symbol: type part of a name"));
    m_list->setObjectName(QStringLiteral("GotoSymbolList"));
    m_list->setUniformItemSizes(true);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    layout->addWidget(m_field);
    layout->addWidget(m_list);
    m_field->installEventFilter(this);
    connect(m_field, &QLineEdit::textChanged, this, &GotoSymbolPopup::refilter);
    connect(m_list, &QListWidget::itemActivated, this, &GotoSymbolPopup::choose);
    connect(m_list, &QListWidget::itemClicked, this, &GotoSymbolPopup::choose);
}

void GotoSymbolPopup::setEntries(std::vector<Entry> entries)
{
    m_entries = std::move(entries);
    refilter();
}

void GotoSymbolPopup::popUp(QWidget *over)
{
    const int width = std::max(420, over->width() * 2 / 3);
    const QPoint at = over->mapToGlobal(QPoint((over->width() - width) / 2, 0));
    setGeometry(at.x(), at.y(), width, std::max(240, over->height() / 2));
    m_field->clear();
    refilter();
    show();
    raise();
    activateWindow();
    m_field->setFocus();
}

int GotoSymbolPopup::shownCount() const
{
    return m_list->count();
}

void GotoSymbolPopup::refilter()
{
    const std::string pattern = m_field->text().trimmed().toStdString();
    std::vector<std::pair<int, int>> scored; // score, entry
    for (int k = 0; k < int(m_entries.size()); ++k) {
        const int score = FuzzyScore(pattern, m_entries[size_t(k)].text);
        if (score >= 0)
            scored.emplace_back(score, k);
    }
    const size_t keep = std::min(scored.size(), size_t(MaxRows));
    std::partial_sort(scored.begin(), scored.begin() + qsizetype(keep), scored.end(),
                      [](const auto &a, const auto &b) {
                          return a.first != b.first ? a.first > b.first : a.second < b.second;
                      });
    m_list->clear();
    for (size_t k = 0; k < keep; ++k) {
        const Entry &e = m_entries[size_t(scored[k].second)];
        auto *item = new QListWidgetItem(QString::fromStdString(e.text + "    " + e.detail));
        item->setData(Qt::UserRole, e.payload);
        m_list->addItem(item);
    }
    if (m_list->count() > 0)
        m_list->setCurrentRow(0);
}

void GotoSymbolPopup::choose()
{
    const QListWidgetItem *item = m_list->currentItem();
    if (!item)
        return;
    const int payload = item->data(Qt::UserRole).toInt();
    hide();
    emit chosen(payload);
}

bool GotoSymbolPopup::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_field && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        switch (key->key()) {
        case Qt::Key_Down:
        case Qt::Key_Up:
        case Qt::Key_PageDown:
        case Qt::Key_PageUp:
            QCoreApplication::sendEvent(m_list, event);
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            choose();
            return true;
        case Qt::Key_Escape:
            hide();
            return true;
        default:
            break;
        }
    }
    return QFrame::eventFilter(watched, event);
}
