#pragma once

#include "app/menu_items.h"

#include <QObject>

class CodeEditor;
class QLabel;

// What the View menu changes about the editor and what the status line tells
// about it: line numbers and the colour scheme (both remembered in the
// settings), and the caret's line and column, the file's encoding, its line
// ends and insert or overwrite beside the window's own status panels.
class EditorViewController final : public QObject {
    Q_OBJECT

public:
    // The status panels: column, encoding, line ends, insert or overwrite.
    struct StatusPanels {
        QLabel *column = nullptr;
        QLabel *encoding = nullptr;
        QLabel *lineEnds = nullptr;
        QLabel *overwrite = nullptr;
    };
    EditorViewController(MenuItems items, CodeEditor *editor, StatusPanels status);

    // View > Line Numbers: follows the item's check mark and remembers it.
    void LineNumbers1Click(QObject *Sender);
    // View > Colours > Automatic, Light or Dark, chosen by the item sent;
    // without a sender the stored choice is applied again.
    void Colours1Click(QObject *Sender);
    // Edit > Undo, Copy, Toggle Comment and the rest, chosen by the item sent.
    void EditCommandClick(QObject *Sender);
    // The editor's panels of the status line.
    void UpdateEditorStatus();

private:
    MenuItems m_items;
    CodeEditor *m_editor;
    StatusPanels m_status;
};
