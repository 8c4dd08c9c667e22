#pragma once

#include "app/controller.h"

#include <QString>

#include <memory>

class HttpClient;

// Run and preview: saving and fetching the run address, then landing on the
// first PHP error of the page or showing it in the Run window; the page as
// text; the web preview panel that follows the run address and reloads after
// the user's saves; the database administration window. Owns the HTTP client
// of the run (made at its first use) and the addresses last shown, which
// decide between a reload and a new navigation.
class RunController final : public Controller {
    Q_OBJECT

public:
    RunController(MainWindow &window, Project &project, const MainWindowUi &ui,
                  const SecondaryWindows &windows);
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

    QString m_previousPreviewAddress;
    QString m_previousRunAddress;
    QString m_lastReportedFile;
    std::unique_ptr<HttpClient> m_http;
    bool m_fetching = false;
};
