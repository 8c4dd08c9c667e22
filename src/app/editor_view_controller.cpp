#include "app/editor_view_controller.h"

#include "app/main_window.h"
#include "app/main_window_ui.h"
#include "editor/code_editor.h"
#include "foundation/settings.h"

#include <QAction>
#include <QLabel>

namespace {
const BoolSetting LineNumbers(QStringLiteral("LineNumbers"), QStringLiteral("-1"));
// "Automatic", "Light" or "Dark"; anything else counts as Automatic.
const QString ColoursSetting = QStringLiteral("Colours");

struct SchemeItem {
    const char *item;
    const char *stored;
    CodeEditor::ColourScheme scheme;
};
constexpr SchemeItem SchemeItems[] = {
    {"ColoursAutomatic1", "Automatic", CodeEditor::ColourScheme::Automatic},
    {"ColoursLight1", "Light", CodeEditor::ColourScheme::Light},
    {"ColoursDark1", "Dark", CodeEditor::ColourScheme::Dark},
};
} // namespace

EditorViewController::EditorViewController(MainWindow &window, Project &project,
                                           const MainWindowUi &ui, const SecondaryWindows &windows)
    : Controller(window, project, ui, windows)
{
    const bool numbers = LineNumbers.ReadBool();
    m_window.item(QStringLiteral("LineNumbers1"))->setChecked(numbers);
    m_ui.re->setLineNumbersVisible(numbers);
    Colours1Click(nullptr);
    UpdateEditorStatus();
}

void EditorViewController::LineNumbers1Click(QObject *)
{
    const bool numbers = m_window.item(QStringLiteral("LineNumbers1"))->isChecked();
    m_ui.re->setLineNumbersVisible(numbers);
    LineNumbers.WriteBool(numbers);
}

void EditorViewController::Colours1Click(QObject *Sender)
{
    const SchemeItem *chosen = &SchemeItems[0];
    if (Sender) {
        for (const SchemeItem &entry : SchemeItems) {
            if (Sender->objectName() == QLatin1String(entry.item))
                chosen = &entry;
        }
        WriteSetting(ColoursSetting, QString::fromLatin1(chosen->stored));
    } else {
        const QString stored = ReadSetting(ColoursSetting, QStringLiteral("Automatic"));
        for (const SchemeItem &entry : SchemeItems) {
            if (stored.compare(QLatin1String(entry.stored), Qt::CaseInsensitive) == 0)
                chosen = &entry;
        }
    }
    // The three items behave as one choice.
    for (const SchemeItem &entry : SchemeItems)
        m_window.item(QString::fromLatin1(entry.item))->setChecked(&entry == chosen);
    m_ui.re->setColourScheme(chosen->scheme);
}

void EditorViewController::UpdateEditorStatus()
{
    const CodeEditor *re = m_ui.re;
    m_ui.StatusColumn->setText(QStringLiteral("col ") + QString::number(re->caretColumn()));
    m_ui.StatusEncoding->setText(re->encodingName());
    m_ui.StatusLineEnds->setText(re->lineEndsName());
    m_ui.StatusOverwrite->setText(re->isOverwriting() ? QStringLiteral("OVR")
                                                      : QStringLiteral("INS"));
}
