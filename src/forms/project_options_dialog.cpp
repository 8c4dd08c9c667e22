#include "forms/project_options_dialog.h"

#include "forms/window_placement.h"
#include "foundation/handler_guard.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScopedValueRollback>
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
void layOutRows(QWidget *page, const QList<std::pair<QLabel *, QWidget *>> &rows, QLabel *note)
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
    // The publish target: its name (typed in the box), and new or gone ones.
    targetlabel = makeLabel(TabSheet1, "targetlabel", QStringLiteral("Tar&get:"), 0, 0);
    auto *targetRow = new QWidget(TabSheet1);
    auto *targetLayout = new QHBoxLayout(targetRow);
    targetLayout->setContentsMargins(0, 0, 0, 0);
    targetbox = new QComboBox(targetRow);
    targetbox->setObjectName(QStringLiteral("targetbox"));
    targetbox->setEditable(true);
    targetbox->setInsertPolicy(QComboBox::NoInsert);
    targetbox->setToolTip(QStringLiteral("The place publishing sends the project to; type to "
                                         "name it (staging, production ...)."));
    targetnewbutton = new QPushButton(QStringLiteral("Ne&w"), targetRow);
    targetnewbutton->setObjectName(QStringLiteral("targetnewbutton"));
    targetremovebutton = new QPushButton(QStringLiteral("Remo&ve"), targetRow);
    targetremovebutton->setObjectName(QStringLiteral("targetremovebutton"));
    for (QPushButton *button : {targetnewbutton, targetremovebutton}) {
        button->setAutoDefault(false);
        button->setFixedWidth(button->fontMetrics().horizontalAdvance(button->text()) + 24);
    }
    targetLayout->addWidget(targetbox, 1);
    targetLayout->addWidget(targetnewbutton);
    targetLayout->addWidget(targetremovebutton);
    targetlabel->setBuddy(targetbox);
    layOutRows(TabSheet1,
               {{targetlabel, targetRow},
                {Label1, hostedit},
                {Label2, useredit},
                {Label3, passedit},
                {Label4, folderedit}},
               Label5);
    connect(targetbox, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (m_switching || index < 0)
            return;
        m_targets[m_shown] = shownTarget();
        showTarget(index);
    });
    connect(targetbox->lineEdit(), &QLineEdit::textEdited, this,
            [this](const QString &name) { m_targets[m_shown].Name = name; });
    connect(targetbox->lineEdit(), &QLineEdit::editingFinished, this, [this] {
        // The list shows the new name; the box keeps the text as typed.
        const QString typed = targetbox->lineEdit()->text();
        const QScopedValueRollback<bool> switching(m_switching, true);
        targetbox->setItemText(m_shown, targetText(m_shown));
        targetbox->lineEdit()->setText(typed);
    });
    SetClickHandler(targetnewbutton, [this](QObject *) { addTarget(); });
    SetClickHandler(targetremovebutton, [this](QObject *) { removeTarget(); });

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

    TabSheet5 = new QWidget;
    TabSheet5->setObjectName(QStringLiteral("TabSheet5"));
    PageControl1->addTab(TabSheet5, QStringLiteral("Publishing"));
    mirrorbox = new QCheckBox(QStringLiteral("&Mirror deletions"), TabSheet5);
    mirrorbox->setObjectName(QStringLiteral("mirrorbox"));
    mirrorbox->setGeometry(17, 12, 300, EditHeight);
    mirrorhint = new QLabel(QStringLiteral("Publish Changes deletes from the host the files it "
                                           "published there that are no longer in the project "
                                           "or on disk, after listing them in the preview. "
                                           "Files it did not publish are never touched."),
                            TabSheet5);
    mirrorhint->setObjectName(QStringLiteral("mirrorhint"));
    mirrorhint->setWordWrap(true);
    mirrorhint->setGeometry(35, 34, 282, 64);
    mirrorhint->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Octal modes only, so a typed mode is always one.
    const auto *octal =
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-7]{0,4}")), this);
    filemodelabel =
        makeLabel(TabSheet5, "filemodelabel", QStringLiteral("F&ile permissions:"), 17, 107);
    filemodeedit = makeEdit(TabSheet5, "filemodeedit");
    filemodeedit->setGeometry(160, 104, 60, EditHeight);
    filemodeedit->setValidator(octal);
    filemodeedit->setPlaceholderText(QStringLiteral("0644"));
    foldermodelabel =
        makeLabel(TabSheet5, "foldermodelabel", QStringLiteral("Folder p&ermissions:"), 17, 134);
    foldermodeedit = makeEdit(TabSheet5, "foldermodeedit");
    foldermodeedit->setGeometry(160, 131, 60, EditHeight);
    foldermodeedit->setValidator(octal);
    foldermodeedit->setPlaceholderText(QStringLiteral("0755"));
    for (QLineEdit *edit : {filemodeedit, foldermodeedit})
        edit->setToolTip(QStringLiteral("Set with SITE CHMOD (SFTP: setstat) after each upload; "
                                        "empty leaves what the server gives."));
    filemodelabel->setBuddy(filemodeedit);
    foldermodelabel->setBuddy(foldermodeedit);
    keeptimesbox = new QCheckBox(QStringLiteral("&Keep the files' modification times"), TabSheet5);
    keeptimesbox->setObjectName(QStringLiteral("keeptimesbox"));
    keeptimesbox->setGeometry(17, 160, 300, EditHeight);
    keeptimesbox->setToolTip(QStringLiteral("With MFMT (SFTP: setstat), where the server "
                                            "supports it."));

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
    setTabOrder(folderedit, targetbox);
    setTabOrder(targetbox, targetnewbutton);
    setTabOrder(targetnewbutton, targetremovebutton);
    Button1->setFocus();

    setOptions(ProjectOptions());
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

void ProjectOptionsDialog::setOptions(const ProjectOptions &options,
                                      const QString &mappingSuggestion)
{
    m_targets = options.targets.isEmpty() ? QList<FtpSettings>{FtpSettings{}} : options.targets;
    {
        const QScopedValueRollback<bool> switching(m_switching, true);
        targetbox->clear();
        for (int i = 0; i < m_targets.size(); ++i)
            targetbox->addItem(targetText(i));
    }
    showTarget(std::clamp(options.chosenTarget, 0, int(m_targets.size()) - 1));
    runedit->setText(options.runAddress);
    databaseedit->setText(options.databaseAddress);
    debugportedit->setValue(options.debugPort);
    setPathMappings(options.pathMappings, mappingSuggestion);
}

ProjectOptions ProjectOptionsDialog::options(QStringList *problems) const
{
    ProjectOptions options;
    options.targets = m_targets;
    options.targets[m_shown] = shownTarget();
    options.chosenTarget = m_shown;
    options.runAddress = runedit->text();
    options.databaseAddress = databaseedit->text();
    options.debugPort = debugportedit->value();
    options.pathMappings = pathMappings(problems);
    return options;
}

QString ProjectOptionsDialog::targetText(int index) const
{
    return m_targets.at(index).displayName(QStringLiteral("Target %1").arg(index + 1));
}

void ProjectOptionsDialog::showTarget(int index)
{
    const QScopedValueRollback<bool> switching(m_switching, true);
    m_shown = index;
    const FtpSettings &target = m_targets.at(index);
    targetbox->setCurrentIndex(index);
    targetbox->lineEdit()->setText(target.Name);
    targetbox->lineEdit()->setPlaceholderText(targetText(index));
    hostedit->setText(target.Host);
    useredit->setText(target.User);
    passedit->setText(target.Pass);
    folderedit->setText(target.Folder);
    setProtocol(target.Protocol);
    setTls(target.Tls);
    keyringbox->setChecked(target.PasswordInKeyring);
    setExcludePatterns(target.Exclude);
    mirrorbox->setChecked(target.MirrorDeletions);
    filemodeedit->setText(FtpSettings::modeText(target.FileMode));
    foldermodeedit->setText(FtpSettings::modeText(target.FolderMode));
    keeptimesbox->setChecked(target.KeepTimes);
    targetremovebutton->setEnabled(m_targets.size() > 1);
}

FtpSettings ProjectOptionsDialog::shownTarget() const
{
    const FtpSettings &was = m_targets.at(m_shown);
    FtpSettings target = was;
    target.Host = hostedit->text();
    target.User = useredit->text();
    target.Pass = passedit->text();
    target.Folder = folderedit->text();
    target.Protocol = protocol();
    target.Tls = tls();
    target.PasswordInKeyring = keyringbox->isChecked();
    target.Exclude = excludePatterns();
    target.MirrorDeletions = mirrorbox->isChecked();
    target.FileMode = std::max(-1, FtpSettings::modeOf(filemodeedit->text()));
    target.FolderMode = std::max(-1, FtpSettings::modeOf(foldermodeedit->text()));
    target.KeepTimes = keeptimesbox->isChecked();
    // A new password, or one for another login, is not the one the keyring holds.
    if (target.Pass != was.Pass || target.Host != was.Host || target.User != was.User ||
        target.Protocol != was.Protocol)
        target.KeyringHoldsPassword = false;
    return target;
}

void ProjectOptionsDialog::addTarget()
{
    m_targets[m_shown] = shownTarget();
    // Most targets of one site share how they are reached and what is left out.
    const FtpSettings &from = m_targets.at(m_shown);
    FtpSettings target;
    target.Protocol = from.Protocol;
    target.Tls = from.Tls;
    target.Exclude = from.Exclude;
    target.Name = QStringLiteral("Target %1").arg(m_targets.size() + 1);
    m_targets.append(target);
    {
        const QScopedValueRollback<bool> switching(m_switching, true);
        targetbox->addItem(targetText(int(m_targets.size()) - 1));
    }
    showTarget(int(m_targets.size()) - 1);
    hostedit->setFocus();
}

void ProjectOptionsDialog::removeTarget()
{
    if (m_targets.size() < 2)
        return;
    const int gone = m_shown;
    m_targets.removeAt(gone);
    {
        const QScopedValueRollback<bool> switching(m_switching, true);
        targetbox->removeItem(gone);
    }
    showTarget(std::max(0, gone - 1));
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

void ProjectOptionsDialog::setPathMappings(const QList<DebugSettings::Mapping> &mappings,
                                           const QString &suggestion)
{
    QStringList lines;
    for (const auto &[server, local] : mappings)
        lines << server + QStringLiteral(" => ") + local;
    // A project without mappings starts from the suggestion, as text to edit.
    pathmapedit->setPlainText(lines.isEmpty() ? suggestion : lines.join(u'\n'));
    pathmapedit->setPlaceholderText(suggestion);
}

QList<DebugSettings::Mapping> ProjectOptionsDialog::pathMappings(QStringList *problems) const
{
    QList<DebugSettings::Mapping> mappings;
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
