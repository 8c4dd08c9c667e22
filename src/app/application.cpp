#include "app/application.h"

#include "app/main_form.h"
#include "forms/about_form.h"
#include "forms/app_help_form.h"
#include "forms/form_trace.h"
#include "forms/options_form.h"
#include "forms/form_advise.h"
#include "forms/form_all_functions.h"
#include "forms/form_files.h"
#include "forms/form_function_list.h"
#include "forms/form_help.h"
#include "forms/form_publish.h"
#include "forms/form_run.h"
#include "forms/form_run2.h"
#include "forms/form_run_text.h"
#include "forms/qt_user_dialogs.h"
#include "foundation/errors.h"
#include "foundation/reg_string.h"
#include "foundation/user_dialogs.h"

#include <QApplication>
#include <QScreen>

template <typename T>
T *WindowSet::create()
{
    auto *window = new T();
    m_order.append(window);
    return window;
}

WindowSet::WindowSet()
{
    // The order is fixed: the trace window reads its switches while created,
    // so trace lines written before it exists are dropped.
    m_main = create<TMainForm>();
    m_windows.form_run = create<Tform_run>();
    m_windows.form_files = create<Tform_files>();
    m_windows.form_function_list = create<Tform_function_list>();
    m_windows.form_all_functions = create<Tform_all_functions>();
    m_windows.form_help = create<Tform_help>();
    m_windows.form_run_text = create<Tform_run_text>();
    m_windows.form_publish = create<Tform_publish>();
    m_windows.form_advise = create<Tform_advise>();
    m_windows.OptionsForm = create<TOptionsForm>();
    m_windows.AboutForm = create<TAboutForm>();
    m_windows.FormTrace = create<TFormTrace>();
    m_windows.AppHelpForm = create<TAppHelpForm>();
    m_windows.form_run2 = create<Tform_run2>();
    m_main->setSecondaryWindows(&m_windows);
}

WindowSet::~WindowSet()
{
    // The main window goes last: the others may refer to it while closing.
    for (qsizetype i = m_order.size() - 1; i >= 0; --i)
        delete m_order.at(i);
}

int RunQuillstone()
{
    QtUserDialogs dialogs;
    SetDialogs(&dialogs);
    try {
        SetApplicationTitle(QStringLiteral("Quillstone"));
        WindowSet windows;
        // Without a window manager nothing honours "maximised": start at the
        // screen's size so the window fills it either way.
        if (QScreen *screen = QGuiApplication::primaryScreen())
            windows.mainForm()->setGeometry(screen->availableGeometry());
        windows.mainForm()->showMaximized();
        QApplication::exec();
    } catch (...) {
        Dialogs().showError(exceptionMessage(std::current_exception()));
    }
    SetDialogs(nullptr);
    return 0;
}
