#pragma once

#include "app/open_file.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class BrowserFrame;
class CodeEditor;
class DatabaseAdminWindow;
class HttpClient;
class MessagesController;
class Project;
class QLabel;
class QWidget;
class RunTextWindow;
class RunWindow;
class ServerController;

// Run and preview: saving and fetching the run address, then landing on the
// first PHP error of the page or showing it in the Run window; the page as
// text; the web preview panel that follows the run address and reloads after
// the user's saves; the database administration window. Owns the HTTP client
// of the run (made at its first use) and the addresses last shown, which
// decide between a reload and a new navigation.
class RunController final : public QObject {
    Q_OBJECT

public:
    // The main window's controls the run works on; `window` is watched so a
    // fetch ends when it goes.
    struct Controls {
        QWidget *window = nullptr;
        CodeEditor *editor = nullptr;
        QLabel *status = nullptr;
        BrowserFrame *preview = nullptr;
        QWidget *previewSplit = nullptr;
    };
    // The windows that show pages, made after the main window: read at use.
    struct PageWindows {
        RunWindow *const &run;
        RunTextWindow *const &text;
        DatabaseAdminWindow *const &database;
    };
    // `saveAll` saves the project and the document before a run.
    RunController(Project &project, Controls controls, PageWindows pages,
                  MessagesController &messages, ServerController &server,
                  std::function<void()> saveAll, OpenFile openFile);
    ~RunController() override;

    void Run2Click(QObject *Sender);
    void RunwithoutDebuging1Click(QObject *Sender);
    void RunText1Click(QObject *Sender);
    void WebPanel1Click(QObject *Sender);
    void WebPanelURL1Click(QObject *Sender);
    void WebPanelURLChange(const QString &text);
    // A save by the user shows the saved page in the preview.
    void ReloadPreviewAfterSave();
    void Run3Click(QObject *Sender);
    // The file of the last error Run captured, as the server printed it.
    const QString &LastReportedFile() const { return m_lastReportedFile; }

private:
    HttpClient &Http();
    // Fetches the page without holding the window; an empty page when the
    // fetch fails. False when the user cancelled (Escape) or left.
    bool fetchPage(const QString &url, QString &page);

    Project &m_project;
    Controls m_controls;
    PageWindows m_pages;
    MessagesController &m_messages;
    ServerController &m_server;
    std::function<void()> m_saveAll;
    OpenFile m_openFile;
    QString m_previousPreviewAddress;
    QString m_previousRunAddress;
    QString m_lastReportedFile;
    std::unique_ptr<HttpClient> m_http;
    bool m_fetching = false;
};
