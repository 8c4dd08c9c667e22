#pragma once

#include "app/picker_popup.h"
#include "project/quick_open_index.h"

#include <QStringList>

class Project;

// Quick Open (object name `QuickOpenPopup`): a box over the editor where
// typing parts of a path narrows the project's entries (QuickOpenIndex),
// best first; Enter or a click opens the chosen one, Escape closes.
class QuickOpen final : public PickerPopup {
    Q_OBJECT

public:
    static constexpr int MaxRows = 200;

    QuickOpen(const Project &project, QWidget *parent);
    Q_DISABLE_COPY_MOVE(QuickOpen)

    // Takes in the project's entries as they are now and shows the box over
    // the top of `over`, the field focused and empty.
    void popUp(QWidget *over);

signals:
    // The full path of the entry chosen.
    void chosen(const QString &path);

private:
    void refilter() override;
    void chooseItem(const QListWidgetItem &item) override;

    const Project &m_project;
    QuickOpenIndex m_index;
    QStringList m_paths; // full paths, parallel to the index
};
