#pragma once

#include "forms/maximised_dialog.h"

#include <QString>

class BrowserFrame;

// The online PHP manual: a browser frame with its address bar filling a
// maximised window captioned with the site's short name. The frame's menu is
// the window's context menu, so its keys (Esc and F9 close, F5 reloads) work
// anywhere in the window. Created once: the page stays between lookups.
// Object name `form_help`.
class OnlineManualWindow final : public MaximisedDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(OnlineManualWindow)

public:
    OnlineManualWindow();
    ~OnlineManualWindow() override;

    // The online manual's short name: the caption and the Help menu item.
    static QString SiteName();
    // The manual's lookup page for a word, which may be empty. The word is
    // percent-encoded so that "&", "#" or "+" in it stay part of the pattern.
    static QString LookupAddress(const QString &word);

    // Focus to the browser on every activation.
    void FormActivate(QObject *Sender);
    // The window's page: its address, navigation and gate.
    BrowserFrame *browser() const { return frame_browser1; }

protected:
    bool event(QEvent *event) override;

private:
    BrowserFrame *frame_browser1;
};
