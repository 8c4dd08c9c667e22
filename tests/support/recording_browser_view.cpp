#include "support/recording_browser_view.h"

#include "foundation/errors.h"

RecordingBrowserView::RecordingBrowserView(QWidget *parent) : BrowserView(parent)
{
    setObjectName(QStringLiteral("RecordingBrowserView"));
    // Focusable, so that "the browser has the focus" can be true in tests.
    setFocusPolicy(Qt::StrongFocus);
}

RecordingBrowserView::~RecordingBrowserView() = default;

void RecordingBrowserView::focusBrowser()
{
    ++focusRequests;
    setFocus(Qt::OtherFocusReason);
}

ScopedRecordingBrowsers::ScopedRecordingBrowsers()
    : m_factory([](QWidget *parent) { return new RecordingBrowserView(parent); })
{
}

RecordingBrowserView *ScopedRecordingBrowsers::of(BrowserView *view)
{
    auto *recording = qobject_cast<RecordingBrowserView *>(view);
    if (!recording)
        throw AppError(QStringLiteral("The browser is not a recording browser."));
    return recording;
}
