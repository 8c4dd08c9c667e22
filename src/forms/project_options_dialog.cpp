#include "forms/project_options_dialog.h"

#include "forms/window_placement.h"
#include "foundation/handler_guard.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>

#include <algorithm>
#include <limits>

namespace {
constexpr int EditHeight = 21;

QLabel *makeLabel(QWidget *page, const char *name, const QString &text, int left, int top)
{
    auto *label = new QLabel(text, page);
    label->setObjectName(QString::fromLatin1(name));
    label->adjustSize();
    label->move(left, top);
    return label;
}

QLineEdit *makeEdit(QWidget *page, const char *name)
{
    auto *edit = new QLineEdit(page);
    edit->setObjectName(QString::fromLatin1(name));
    // Stored settings are kept whole, not cut at 32,767 characters.
    edit->setMaxLength(std::numeric_limits<int>::max());
    return edit;
}

QComboBox *makeBox(QWidget *page, const char *name, int top,
                   std::initializer_list<std::pair<QString, QString>> items)
{
    auto *box = new QComboBox(page);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(93, top, 188, EditHeight);
    for (const auto &[text, value] : items)
        box->addItem(text, value);
    return box;
}

// Shows `value` in a box whose first `known` items are its own: the item
// whose value matches it without regard to case, the first item for an empty
// value, or else an item of its own made for it. Returns the index shown.
int fillBox(QComboBox *box, int known, const QString &value)
{
    while (box->count() > known)
        box->removeItem(box->count() - 1);
    int index = value.isEmpty() ? 0 : -1;
    for (int i = 0; index < 0 && i < known; ++i) {
        if (box->itemData(i).toString().compare(value, Qt::CaseInsensitive) == 0)
            index = i;
    }
    if (index < 0) {
        box->addItem(value, value);
        index = box->count() - 1;
    }
    box->setCurrentIndex(index);
    return index;
}

// Labels and edits in two aligned columns, each label on its edit's middle,
// and a note below them.
void layOutRows(QWidget *page, const QList<std::pair<QLabel *, QLineEdit *>> &rows, QLabel *note)
{
    auto *grid = new QGridLayout(page);
    grid->setContentsMargins(17, 14, 17, 10);
    grid->setColumnStretch(1, 1);
    int row = 0;
    for (const auto &[label, edit] : rows) {
        label->setBuddy(edit);
        grid->addWidget(label, row, 0, Qt::AlignLeft | Qt::AlignVCenter);
        grid->addWidget(edit, row++, 1);
    }
    grid->setRowStretch(row++, 1);
    note->setWordWrap(true);
    grid->addWidget(note, row, 0, 1, 2);
}

constexpr int KnownProtocols = 2;
constexpr int KnownTlsModes = 3;

QPushButton *makeButton(QWidget *dialog, const char *name, const QString &text, int left)
{
    auto *button = new QPushButton(text, dialog);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(left, 270, 75, 25);
    return button;
}
} // namespace

ProjectOptionsDialog::ProjectOptionsDialog() : QDialog(nullptr)
{
    setObjectName(QStringLiteral("form_publish"));
    setWindowTitle(QStringLiteral("Project Options"));

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setGeometry(8, 8, 340, 256);
    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    PageControl1->addTab(TabSheet1, QStringLiteral("FTP settings"));

    Label1 = makeLabel(TabSheet1, "Label1", QStringLiteral("&Host:"), 0, 0);
    Label2 = makeLabel(TabSheet1, "Label2", QStringLiteral("&User:"), 0, 0);
    Label3 = makeLabel(TabSheet1, "Label3", QStringLiteral("&Password:"), 0, 0);
    Label4 = makeLabel(TabSheet1, "Label4", QStringLiteral("&Folder:"), 0, 0);
    hostedit = makeEdit(TabSheet1, "hostedit");
    useredit = makeEdit(TabSheet1, "useredit");
    passedit = makeEdit(TabSheet1, "passedit");
    folderedit = makeEdit(TabSheet1, "folderedit");
    passedit->setEchoMode(QLineEdit::Normal);
    Label5 = makeLabel(TabSheet1, "Label5",
                       QStringLiteral("FTP credentials for project publishing."), 0, 0);
    layOutRows(TabSheet1,
               {{Label1, hostedit}, {Label2, useredit}, {Label3, passedit}, {Label4, folderedit}},
               Label5);

    TabSheet2 = new QWidget;
    TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
    PageControl1->addTab(TabSheet2, QStringLiteral("Security and exclusions"));
    protocollabel = makeLabel(TabSheet2, "protocollabel", QStringLiteral("Protocol:"), 17, 15);
    protocolbox = makeBox(TabSheet2, "protocolbox", 12,
                          {{QStringLiteral("FTP"), QStringLiteral("ftp")},
                           {QStringLiteral("SFTP"), QStringLiteral("sftp")}});
    tlslabel = makeLabel(TabSheet2, "tlslabel", QStringLiteral("TLS:"), 17, 42);
    tlsbox = makeBox(TabSheet2, "tlsbox", 39,
                     {{QStringLiteral("off"), QStringLiteral("off")},
                      {QStringLiteral("when offered"), QStringLiteral("when offered")},
                      {QStringLiteral("required"), QStringLiteral("required")}});
    tlsbox->setToolTip(QStringLiteral("FTP only: encrypt the connection with TLS always, when "
                                      "the server offers it, or never. SFTP is always "
                                      "encrypted."));
    keyringbox =
        new QCheckBox(QStringLiteral("Keep the password in the desktop keyring"), TabSheet2);
    keyringbox->setObjectName(QStringLiteral("keyringbox"));
    keyringbox->setGeometry(17, 66, 300, EditHeight);
    keyringbox->setToolTip(QStringLiteral("The project file then keeps no password."));
    excludelabel = makeLabel(TabSheet2, "excludelabel",
                             QStringLiteral("Never upload (one pattern per line):"), 17, 94);
    excludeedit = new QPlainTextEdit(TabSheet2);
    excludeedit->setObjectName(QStringLiteral("excludeedit"));
    excludeedit->setGeometry(17, 112, 300, 76);
    excludeedit->setLineWrapMode(QPlainTextEdit::NoWrap);
    // Patterns hold no tabs; Tab moves on, so the keyboard can leave the edit.
    excludeedit->setTabChangesFocus(true);
    excludehint =
        makeLabel(TabSheet2, "excludehint",
                  QStringLiteral("As in .gitignore: .git/  node_modules/  *.wdx  .env"), 17, 194);

    protocollabel->setBuddy(protocolbox);
    tlslabel->setBuddy(tlsbox);
    excludelabel->setBuddy(excludeedit);
    connect(protocolbox, &QComboBox::currentIndexChanged, this,
            [this](int) { updateTlsEnabled(); });
    setProtocol(QString());
    setTls(QString());

    TabSheet3 = new QWidget;
    TabSheet3->setObjectName(QStringLiteral("TabSheet3"));
    PageControl1->addTab(TabSheet3, QStringLiteral("Addresses"));
    runlabel = makeLabel(TabSheet3, "runlabel", QStringLiteral("&Run address:"), 0, 0);
    runedit = makeEdit(TabSheet3, "runedit");
    databaselabel =
        makeLabel(TabSheet3, "databaselabel", QStringLiteral("&Database address:"), 0, 0);
    databaseedit = makeEdit(TabSheet3, "databaseedit");
    addresshint = makeLabel(TabSheet3, "addresshint",
                            QStringLiteral("Run requests the run address (also set by typing in "
                                           "the preview's address box); Tools > phpMyAdmin... "
                                           "opens the database address."),
                            0, 0);
    layOutRows(TabSheet3, {{runlabel, runedit}, {databaselabel, databaseedit}}, addresshint);

    TabSheet4 = new QWidget;
    TabSheet4->setObjectName(QStringLiteral("TabSheet4"));
    PageControl1->addTab(TabSheet4, QStringLiteral("Debug"));
    debugportlabel = makeLabel(TabSheet4, "debugportlabel",
                               QStringLiteral("Listen for Debugger on port:"), 17, 15);
    debugportedit = new QSpinBox(TabSheet4);
    debugportedit->setObjectName(QStringLiteral("debugportedit"));
    debugportedit->setRange(1, 65535);
    debugportedit->setGeometry(190, 12, 90, EditHeight);
    debugportlabel->setBuddy(debugportedit);
    pathmaplabel = makeLabel(TabSheet4, "pathmaplabel",
                             QStringLiteral("Server folder => folder here (one a line):"), 17, 44);
    pathmapedit = new QPlainTextEdit(TabSheet4);
    pathmapedit->setObjectName(QStringLiteral("pathmapedit"));
    pathmapedit->setGeometry(17, 62, 300, 120);
    pathmapedit->setLineWrapMode(QPlainTextEdit::NoWrap);
    pathmapedit->setTabChangesFocus(true);
    pathmaplabel->setBuddy(pathmapedit);

    // As wide as the page tabs need in the desktop's font, so that no tab
    // hides behind scroll arrows; 340 at the least.
    const int pageWidth = std::max(340, PageControl1->tabBar()->sizeHint().width() + 8);
    PageControl1->resize(pageWidth, PageControl1->height());
    Button1 = makeButton(this, "Button1", QStringLiteral("OK"), pageWidth - 148);
    Button1->setDefault(true);
    Button2 = makeButton(this, "Button2", QStringLiteral("Cancel"), pageWidth - 67);
    SetClickHandler(Button1, [this](QObject *) { accept(); });
    SetClickHandler(Button2, [this](QObject *) { reject(); });

    // The buttons come first, then the page with the user before the host.
    // The second page keeps the order its controls were made in: chaining it
    // here by hand would cut the pattern edit's own parts out of the chain.
    setTabOrder(Button1, Button2);
    setTabOrder(Button2, PageControl1);
    setTabOrder(PageControl1, useredit);
    setTabOrder(useredit, passedit);
    setTabOrder(passedit, hostedit);
    setTabOrder(hostedit, folderedit);
    Button1->setFocus();

    setFixedSize(pageWidth + 16, 308);
    CentreOnScreen(this);
}

void ProjectOptionsDialog::setProtocol(const QString &protocol)
{
    m_filledProtocol = protocol;
    m_filledProtocolIndex = fillBox(protocolbox, KnownProtocols, protocol);
    updateTlsEnabled();
}

QString ProjectOptionsDialog::protocol() const
{
    const int index = protocolbox->currentIndex();
    return index == m_filledProtocolIndex ? m_filledProtocol
                                          : protocolbox->itemData(index).toString();
}

void ProjectOptionsDialog::setTls(const QString &tls)
{
    m_filledTls = tls;
    m_filledTlsIndex = fillBox(tlsbox, KnownTlsModes, tls);
}

QString ProjectOptionsDialog::tls() const
{
    const int index = tlsbox->currentIndex();
    return index == m_filledTlsIndex ? m_filledTls : tlsbox->itemData(index).toString();
}

void ProjectOptionsDialog::setPasswordInKeyring(bool inKeyring)
{
    keyringbox->setChecked(inKeyring);
}

bool ProjectOptionsDialog::passwordInKeyring() const
{
    return keyringbox->isChecked();
}

void ProjectOptionsDialog::setExcludePatterns(const QStringList &patterns)
{
    excludeedit->setPlainText(patterns.join(u'\n'));
}

QStringList ProjectOptionsDialog::excludePatterns() const
{
    QStringList patterns;
    for (const QString &line : excludeedit->toPlainText().split(u'\n')) {
        if (!line.trimmed().isEmpty())
            patterns << line;
    }
    return patterns;
}

void ProjectOptionsDialog::updateTlsEnabled()
{
    // TLS is how FTP gets encrypted; SFTP always is.
    const bool sftp = protocolbox->currentData().toString().compare(QLatin1String("sftp"),
                                                                    Qt::CaseInsensitive) == 0;
    tlsbox->setEnabled(!sftp);
    tlslabel->setEnabled(!sftp);
}

void ProjectOptionsDialog::setPathMappings(const QList<QPair<QString, QString>> &mappings,
                                           const QString &suggestion)
{
    QStringList lines;
    for (const auto &[server, local] : mappings)
        lines << server + QStringLiteral(" => ") + local;
    // A project without mappings starts from the suggestion, as text to edit.
    pathmapedit->setPlainText(lines.isEmpty() ? suggestion : lines.join(u'\n'));
    pathmapedit->setPlaceholderText(suggestion);
}

QList<QPair<QString, QString>> ProjectOptionsDialog::pathMappings(QStringList *problems) const
{
    QList<QPair<QString, QString>> mappings;
    for (const QString &line : pathmapedit->toPlainText().split(u'\n')) {
        if (line.trimmed().isEmpty())
            continue;
        const qsizetype arrow = line.indexOf(QLatin1String("=>"));
        const QString server = arrow < 0 ? QString() : line.left(arrow).trimmed();
        const QString local = arrow < 0 ? QString() : line.mid(arrow + 2).trimmed();
        if (server.isEmpty() || local.isEmpty()) {
            if (problems)
                *problems << QStringLiteral("The path mapping \"%1\" needs a server folder, "
                                            "\"=>\" and a folder here.")
                                 .arg(line.trimmed());
            continue;
        }
        mappings.append({server, local});
    }
    return mappings;
}
