#pragma once

// A whole window set built as the program builds it, with scripted dialogs,
// a recording desktop and a replaced command line.

#include "app/desktop.h"
#include "app/document_controller.h"
#include "app/function_list_controller.h"
#include "app/main_window.h"
#include "app/main_window_ui.h"
#include "app/messages_controller.h"
#include "app/messages_grid.h"
#include "app/project_tree_controller.h"
#include "app/publish_controller.h"
#include "app/window_set.h"
#include "support/recording_browser_view.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class RecordingDesktop final : public Desktop {
public:
    bool openUrl(const QString &address) override
    {
        urls << address;
        return true;
    }
    bool startTerminal(const QString &folder) override
    {
        terminals << folder;
        return true;
    }
    QStringList urls;
    QStringList terminals;
};

class AppTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Builds the windows with these parameters after the program's path.
    void start(const QStringList &parameters = {});
    MainWindow *form() const { return m_windows->mainWindow(); }
    const SecondaryWindows &windows() const { return m_windows->windows(); }
    WindowSet &windowSet() const { return *m_windows; }

    ScriptedDialogs dialogs;
    RecordingDesktop desktop;
    ScopedRecordingBrowsers browsers; // no real engine in window tests
    QTemporaryDir dir;

private:
    std::unique_ptr<ScopedParameters> m_parameters;
    std::unique_ptr<WindowSet> m_windows;
};
