#include "forms/frame_browser.h"

#include "foundation/errors.h"
#include "foundation/user_dialogs.h"

#include <QAction>
#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

namespace
{
bool IsEnterKey(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}
} // namespace

void RunBrowserGuarded(const std::function<void()> &handler)
{
    try {
        handler();
    } catch (...) {
        Dialogs().showError(exceptionMessage(std::current_exception()));
    }
}

Tframe_browser::Tframe_browser(QWidget *parent, const BrowserViewFactory &factory) : QWidget(parent)
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
                         &Tframe_browser::Close1Click);
    Close2 = addMenuItem("Close2", QStringLiteral("Close"), QKeySequence(Qt::Key_Escape),
                         &Tframe_browser::Close2Click);
    Engerlink1 = addMenuItem("Engerlink1", QStringLiteral("Enter link"),
                             QKeySequence(Qt::CTRL | Qt::Key_L), &Tframe_browser::Engerlink1Click);
    Refresh1 = addMenuItem("Refresh1", QStringLiteral("Refresh"), QKeySequence(Qt::ALT | Qt::Key_R),
                           &Tframe_browser::Refresh1Click);
    Refrehs1 = addMenuItem("Refrehs1", QStringLiteral("Refresh"), QKeySequence(Qt::Key_F5),
                           &Tframe_browser::Refrehs1Click);

    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(18);
    auto *bar = new QHBoxLayout(Panel1);
    bar->setContentsMargins(0, 0, 0, 0);
    bar->setSpacing(0);

    URL = new QLineEdit(Panel1);
    URL->setObjectName(QStringLiteral("URL"));
    URL->setFixedHeight(18);
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

    connect(Button1, &QPushButton::clicked, this,
            [this] { RunBrowserGuarded([this] { RefreshClick(Button1); }); });
    connect(URL, &QLineEdit::textChanged, this, &Tframe_browser::urlChanged);
    connect(WebBrowser1, &BrowserView::beforeNavigate, this, [this](const QString &url) {
        RunBrowserGuarded([this, &url] { WebBrowser1BeforeNavigate2(WebBrowser1, url); });
    });
    // The browser's context menu is the frame's menu, wherever the click lands in it.
    WebBrowser1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(WebBrowser1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { showMenu(WebBrowser1->mapToGlobal(pos)); });
    connect(WebBrowser1, &BrowserView::contextMenuRequested, this, &Tframe_browser::showMenu);

    setShortcutScope(ShortcutScope::Browser);
}

Tframe_browser::~Tframe_browser()
{
    if (m_filteringApplication)
        qApp->removeEventFilter(this);
}

QAction *Tframe_browser::addMenuItem(const char *name, const QString &caption,
                                     const QKeySequence &key,
                                     void (Tframe_browser::*handler)(QObject *))
{
    auto *action = new QAction(caption, this);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcut(key);
    connect(action, &QAction::triggered, this,
            [this, action, handler] { RunBrowserGuarded([&] { (this->*handler)(action); }); });
    PopupMenu1->addAction(action);
    return action;
}

// --- rules --------------------------------------------------------------------

QString Tframe_browser::AddressToGo(const QString &typed)
{
    if (typed.left(4).toUpper() != QLatin1String("HTTP"))
        return QStringLiteral("http://") + typed;
    return typed;
}

QString Tframe_browser::AddressToShow(const QString &reported)
{
    if (reported.contains(u'?') && !reported.contains(QLatin1String("/?"))) {
        QString shown = reported;
        return shown.replace(QStringLiteral("?"), QStringLiteral("/?"));
    }
    return reported;
}

// --- operations ---------------------------------------------------------------

QString Tframe_browser::urlText() const
{
    return URL->text();
}

void Tframe_browser::setUrlText(const QString &text)
{
    URL->setText(text);
}

void Tframe_browser::focusUrl()
{
    URL->setFocus(Qt::OtherFocusReason);
}

void Tframe_browser::focusBrowser()
{
    WebBrowser1->focusBrowser();
}

bool Tframe_browser::navigate(const QString &url)
{
    if (m_gate && !m_gate(url))
        return false;
    WebBrowser1->navigate(url);
    return true;
}

void Tframe_browser::showPage(const QString &html, const QString &forUrl)
{
    WebBrowser1->showPage(html, forUrl);
}

void Tframe_browser::reload()
{
    // Over a page of our own the address it stands for is tried again, so
    // the gate is asked first as for a navigation.
    const QString own = WebBrowser1->ownPageFor();
    if (!own.isEmpty() && m_gate && !m_gate(own))
        return;
    WebBrowser1->reload();
}

void Tframe_browser::setAddressBarVisible(bool visible)
{
    Panel1->setVisible(visible);
}

bool Tframe_browser::isAddressBarVisible() const
{
    return !Panel1->isHidden();
}

void Tframe_browser::setShortcutScope(ShortcutScope scope)
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

void Tframe_browser::showMenu(const QPoint &globalPos)
{
    PopupMenu1->popup(globalPos);
}

// --- keys ---------------------------------------------------------------------

bool Tframe_browser::isInBrowser(const QObject *object) const
{
    if (!object || !object->isWidgetType())
        return false;
    const auto *widget = static_cast<const QWidget *>(object);
    return widget == WebBrowser1 || WebBrowser1->isAncestorOf(widget);
}

QAction *Tframe_browser::menuActionFor(const QEvent *event) const
{
    const auto *key = static_cast<const QKeyEvent *>(event);
    const QKeySequence pressed(key->keyCombination());
    for (QAction *item : PopupMenu1->actions()) {
        if (item->isEnabled() && item->shortcut() == pressed)
            return item;
    }
    return nullptr;
}

bool Tframe_browser::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (watched == URL && type == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (IsEnterKey(key)) {
            // Taken even when going there fails, so the edit never sees it.
            RunBrowserGuarded([&] { URLKeyDown(URL, key); });
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

void Tframe_browser::URLKeyDown(QObject *, int Key)
{
    if (!IsEnterKey(Key))
        return;
    URL->setText(AddressToGo(URL->text()));
    navigate(URL->text());
}

void Tframe_browser::RefreshClick(QObject *)
{
    reload();
}

void Tframe_browser::closeHoldingWindow()
{
    if (QWidget *holder = window())
        holder->close();
}

void Tframe_browser::Close1Click(QObject *)
{
    closeHoldingWindow();
}

void Tframe_browser::Close2Click(QObject *)
{
    closeHoldingWindow();
}

void Tframe_browser::Engerlink1Click(QObject *)
{
    URL->setFocus(Qt::ShortcutFocusReason);
}

void Tframe_browser::Refresh1Click(QObject *)
{
    reload();
}

void Tframe_browser::Refrehs1Click(QObject *)
{
    reload();
}

void Tframe_browser::WebBrowser1BeforeNavigate2(QObject *, const QString &url)
{
    URL->setText(AddressToShow(url));
}
