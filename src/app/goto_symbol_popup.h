#pragma once

#include "app/picker_popup.h"

#include <string>
#include <vector>

// Go to Symbol: a box over the editor where typing narrows the project's
// symbols by abbreviation (FuzzyScore); Enter or a click chooses, Escape
// closes. The best 200 rows are shown, best first.
class GotoSymbolPopup final : public PickerPopup {
    Q_OBJECT

public:
    struct Entry {
        std::string text;   // what is matched and shown: "Class::method", "function"
        std::string detail; // shown beside it: kind and place
        int payload = -1;
    };

    explicit GotoSymbolPopup(QWidget *parent);

    void setEntries(std::vector<Entry> entries);
    // Shown over the top of `over`, the field focused and empty.
    void popUp(QWidget *over);
    int shownCount() const;

signals:
    void chosen(int payload);

private:
    void refilter() override;
    void chooseItem(const QListWidgetItem &item) override;

    std::vector<Entry> m_entries;
};
