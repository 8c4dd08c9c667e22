#include "forms/browser_frame.h"

#include "foundation/errors.h"
#include "foundation/handler_guard.h"
#include "foundation/user_dialogs.h"

#include <QAction>
#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

#include <limits>

namespace {
bool IsEnterKey(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}
} // namespace

BrowserFrame::BrowserFrame(QWidget *parent, const BrowserViewFactory &factory) : QWidget(parent)
{
    setObjectName(QStringLiteral("frame_browser1"));

    WebBrowser1 = factory ? factory(this) : CreateBrowserView(this);
    if (!WebBrowser1)
        throw AppError(QStringLiteral("The web browser could not be created."));
    WebBrowser1->setParent(this);
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    Close1 = addMenuItem("Close1", QStringLiteral("Close"), QKeySequence(Qt::Key_F9),
                         &BrowserFrame::Close1Click);
    Close2 = addMenuItem("Close2", QStringLiteral("Close"), QKeySequence(Qt::Key_Escape),
                         &BrowserFrame::Close2Click);
    Engerlink1 = addMenuItem("Engerlink1", QStringLiteral("Enter link"),
                             QKeySequence(Qt::CTRL | Qt::Key_L), &BrowserFrame::Engerlink1Click);
    Refresh1 = addMenuItem("Refresh1", QStringLiteral("Refresh"), QKeySequence(Qt::ALT | Qt::Key_R),
                           &BrowserFrame::Refresh1Click);
    Refrehs1 = addMenuItem("Refrehs1", QStringLiteral("Refresh"), QKeySequence(Qt::Key_F5),
                           &BrowserFrame::Refrehs1Click);

    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(18);
    auto *bar = new QHBoxLayout(Panel1);
    bar->setContentsMargins(0, 0, 0, 0);
    bar->setSpacing(0);

    URL = new QLineEdit(Panel1);
    URL->setObjectName(QStringLiteral("URL"));
    URL->setFixedHeight(18);
    // The box carries stored addresses: keep them whole, not cut at 32,767 characters.
    URL->setMaxLength(std::numeric_limits<int>::max());
    URL->installEventFilter(this);
    bar->addWidget(URL, 1);

    Button1 = new QPushButton(QStringLiteral("Refresh"), Panel1);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setFixedSize(75, 18);
    // In a dialog, Enter in the URL box must not also press this button.
    Button1->setAutoDefault(false);
    Button1->setDefault(false);
    bar->addWidget(Button1);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Panel1);
    layout->addWidget(WebBrowser1, 1);

    SetClickHandler(Button1, [this](QObject *sender) { RefreshClick(sender); });
    connect(URL, &QLineEdit::textChanged, this, &BrowserFrame::urlChanged);
    connect(WebBrowser1, &BrowserView::beforeNavigate, this, [this](const QString &url) {
        RunGuarded([this, &url] { WebBrowser1BeforeNavigate2(WebBrowser1, url); });
    });
    // The browser's context menu is the frame's menu, wherever the click lands in it.
    WebBrowser1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(WebBrowser1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { showMenu(WebBrowser1->mapToGlobal(pos)); });
    connect(WebBrowser1, &BrowserView::contextMenuRequested, this, &BrowserFrame::showMenu);

    setShortcutScope(ShortcutScope::Browser);
}

BrowserFrame::~BrowserFrame()
{
    if (m_filteringApplication)
        qApp->removeEventFilter(this);
}

QAction *BrowserFrame::addMenuItem(const char *name, const QString &caption,
                                   const QKeySequence &key,
                                   void (BrowserFrame::*handler)(QObject *))
{
    auto *action = new QAction(caption, this);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcut(key);
    SetClickHandler(action, [this, handler](QObject *sender) { (this->*handler)(sender); });
    PopupMenu1->addAction(action);
    return action;
}

// --- rules --------------------------------------------------------------------

QString BrowserFrame::AddressToGo(const QString &typed)
{
    if (typed.left(4).toUpper() != QLatin1String("HTTP"))
        return QStringLiteral("http://") + typed;
    return typed;
}

QString BrowserFrame::AddressToShow(const QString &reported)
{
    if (reported.contains(u'?') && !reported.contains(QLatin1String("/?"))) {
        QString shown = reported;
        return shown.replace(QStringLiteral("?"), QStringLiteral("/?"));
    }
    return reported;
}

// --- operations ---------------------------------------------------------------

QString BrowserFrame::urlText() const
{
    return URL->text();
}

void BrowserFrame::setUrlText(const QString &text)
{
    URL->setText(text);
}

void BrowserFrame::focusUrl()
{
    URL->setFocus(Qt::OtherFocusReason);
}

void BrowserFrame::focusBrowser()
{
    WebBrowser1->focusBrowser();
}

bool BrowserFrame::navigate(const QString &url)
{
    if (m_gate && !m_gate(url))
        return false;
    WebBrowser1->navigate(url);
    return true;
}

void BrowserFrame::showPage(const QString &html, const QString &forUrl)
{
    WebBrowser1->showPage(html, forUrl);
}

void BrowserFrame::reload()
{
    // Over a page of our own the address it stands for is tried again, so
    // the gate is asked first as for a navigation.
    const QString own = WebBrowser1->ownPageFor();
    if (!own.isEmpty() && m_gate && !m_gate(own))
        return;
    WebBrowser1->reload();
}

void BrowserFrame::setAddressBarVisible(bool visible)
{
    Panel1->setVisible(visible);
}

bool BrowserFrame::isAddressBarVisible() const
{
    return !Panel1->isHidden();
}

void BrowserFrame::setShortcutScope(ShortcutScope scope)
{
    m_scope = scope;
    const QList<QAction *> items = PopupMenu1->actions();
    if (scope == ShortcutScope::Window) {
        for (QAction *item : items) {
            item->setShortcutContext(Qt::WindowShortcut);
            addAction(item);
        }
        if (m_filteringApplication)
            qApp->removeEventFilter(this);
        m_filteringApplication = false;
    } else {
        for (QAction *item : items)
            removeAction(item);
        // Keys reach the browser's own inner widgets, which the engine creates
        // when it likes; watching at the application catches them all, and
        // claiming the key first lets the frame win over the window's shortcuts.
        if (!m_filteringApplication)
            qApp->installEventFilter(this);
        m_filteringApplication = true;
    }
}

void BrowserFrame::showMenu(const QPoint &globalPos)
{
    PopupMenu1->popup(globalPos);
}

// --- keys ---------------------------------------------------------------------

bool BrowserFrame::isInBrowser(const QObject *object) const
{
    if (!object || !object->isWidgetType())
        return false;
    const auto *widget = static_cast<const QWidget *>(object);
    return widget == WebBrowser1 || WebBrowser1->isAncestorOf(widget);
}

QAction *BrowserFrame::menuActionFor(const QEvent *event) const
{
    const auto *key = static_cast<const QKeyEvent *>(event);
    const QKeySequence pressed(key->keyCombination());
    for (QAction *item : PopupMenu1->actions()) {
        if (item->isEnabled() && item->shortcut() == pressed)
            return item;
    }
    return nullptr;
}

bool BrowserFrame::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (watched == URL && type == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (IsEnterKey(key)) {
            // Taken even when going there fails, so the edit never sees it.
            RunGuarded([&] { URLKeyDown(URL, key); });
            return true;
        }
    }
    if (m_scope == ShortcutScope::Browser &&
        (type == QEvent::ShortcutOverride || type == QEvent::KeyPress) && isInBrowser(watched)) {
        if (QAction *item = menuActionFor(event)) {
            if (type == QEvent::ShortcutOverride)
                event->accept(); // the key comes back as a key press, below
            else
                item->trigger();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

// --- handlers -----------------------------------------------------------------

void BrowserFrame::URLKeyDown(QObject *, int Key)
{
    if (!IsEnterKey(Key))
        return;
    URL->setText(AddressToGo(URL->text()));
    navigate(URL->text());
}

void BrowserFrame::RefreshClick(QObject *)
{
    reload();
}

void BrowserFrame::closeHoldingWindow()
{
    if (QWidget *holder = window())
        holder->close();
}

void BrowserFrame::Close1Click(QObject *)
{
    closeHoldingWindow();
}

void BrowserFrame::Close2Click(QObject *)
{
    closeHoldingWindow();
}

void BrowserFrame::Engerlink1Click(QObject *)
{
    URL->setFocus(Qt::ShortcutFocusReason);
}

void BrowserFrame::Refresh1Click(QObject *)
{
    reload();
}

void BrowserFrame::Refrehs1Click(QObject *)
{
    reload();
}

void BrowserFrame::WebBrowser1BeforeNavigate2(QObject *, const QString &url)
{
    URL->setText(AddressToShow(url));
}

void BrowserFrame::setFailurePage(BrowserView::FailurePage page)
{
    WebBrowser1->setFailurePage(std::move(page));
}

void BrowserFrame::prepareEngine()
{
    WebBrowser1->prepareEngine();
}

void BrowserFrame::setSilent(bool silent)
{
    WebBrowser1->setSilent(silent);
}
