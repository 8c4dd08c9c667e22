#include "forms/project_options_dialog.h"

#include "forms/window_placement.h"
#include "foundation/handler_guard.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

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

QLineEdit *makeEdit(QWidget *page, const char *name, int left, int top, int width)
{
    auto *edit = new QLineEdit(page);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setGeometry(left, top, width, EditHeight);
    // Stored settings are kept whole, not cut at 32,767 characters.
    edit->setMaxLength(std::numeric_limits<int>::max());
    return edit;
}

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

    Label1 = makeLabel(TabSheet1, "Label1", QStringLiteral("Host:"), 17, 40);
    Label2 = makeLabel(TabSheet1, "Label2", QStringLiteral("User:"), 17, 70);
    Label3 = makeLabel(TabSheet1, "Label3", QStringLiteral("Pass:"), 16, 97);
    Label4 = makeLabel(TabSheet1, "Label4", QStringLiteral("Folder:"), 16, 124);
    hostedit = makeEdit(TabSheet1, "hostedit", 93, 40, 188);
    useredit = makeEdit(TabSheet1, "useredit", 93, 67, 188);
    passedit = makeEdit(TabSheet1, "passedit", 93, 94, 188);
    folderedit = makeEdit(TabSheet1, "folderedit", 92, 121, 189);
    passedit->setEchoMode(QLineEdit::Normal);
    Label5 = makeLabel(TabSheet1, "Label5",
                       QStringLiteral("FTP credentials for project  publishing."), 17, 181);
    Label1->setBuddy(hostedit);
    Label2->setBuddy(useredit);
    Label3->setBuddy(passedit);
    Label4->setBuddy(folderedit);

    Button1 = makeButton(this, "Button1", QStringLiteral("OK"), 192);
    Button1->setDefault(true);
    Button2 = makeButton(this, "Button2", QStringLiteral("Cancel"), 273);
    SetClickHandler(Button1, [this](QObject *) { accept(); });
    SetClickHandler(Button2, [this](QObject *) { reject(); });

    // The buttons come first, then the page with the user before the host.
    setTabOrder(Button1, Button2);
    setTabOrder(Button2, PageControl1);
    setTabOrder(PageControl1, useredit);
    setTabOrder(useredit, passedit);
    setTabOrder(passedit, hostedit);
    setTabOrder(hostedit, folderedit);
    Button1->setFocus();

    setFixedSize(356, 308);
    CentreOnScreen(this);
}
