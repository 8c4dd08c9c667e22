#include "app/goto_symbol_popup.h"

#include "project/fuzzy_match.h"

#include <QLineEdit>
#include <QListWidget>

#include <algorithm>

namespace {
constexpr int MaxRows = 200;
}

GotoSymbolPopup::GotoSymbolPopup(QWidget *parent)
    : PickerPopup(parent, QStringLiteral("GotoSymbolPopup"), QStringLiteral("GotoSymbolField"),
                  QStringLiteral("GotoSymbolList"),
                  QStringLiteral("Go to symbol: type part of a name"))
{
}

void GotoSymbolPopup::setEntries(std::vector<Entry> entries)
{
    m_entries = std::move(entries);
    refilter();
}

void GotoSymbolPopup::popUp(QWidget *over)
{
    showOver(over, 420, 240);
}

int GotoSymbolPopup::shownCount() const
{
    return list()->count();
}

void GotoSymbolPopup::refilter()
{
    const std::string pattern = field()->text().trimmed().toStdString();
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
    list()->clear();
    for (size_t k = 0; k < keep; ++k) {
        const Entry &e = m_entries[size_t(scored[k].second)];
        auto *item = new QListWidgetItem(QString::fromStdString(e.text + "    " + e.detail));
        item->setData(Qt::UserRole, e.payload);
        list()->addItem(item);
    }
    if (list()->count() > 0)
        list()->setCurrentRow(0);
}

void GotoSymbolPopup::chooseItem(const QListWidgetItem &item)
{
    emit chosen(item.data(Qt::UserRole).toInt());
}
