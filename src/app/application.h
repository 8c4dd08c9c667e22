#pragma once

#include <QList>
#include <memory>

class QWidget;
class TMainForm;
class Tform_run;
class Tform_files;
class Tform_function_list;
class Tform_all_functions;
class Tform_help;
class Tform_run_text;
class Tform_publish;
class Tform_advise;
class TOptionsForm;
class TAboutForm;
class TFormTrace;
class TAppHelpForm;
class Tform_run2;

// The windows that live for the whole run besides the main window, created
// once at start-up and reused by the commands that show them.
struct SecondaryWindows {
    Tform_run *form_run = nullptr;
    Tform_files *form_files = nullptr;
    Tform_function_list *form_function_list = nullptr;
    Tform_all_functions *form_all_functions = nullptr;
    Tform_help *form_help = nullptr;
    Tform_run_text *form_run_text = nullptr;
    Tform_publish *form_publish = nullptr;
    Tform_advise *form_advise = nullptr;
    TOptionsForm *OptionsForm = nullptr;
    TAboutForm *AboutForm = nullptr;
    TFormTrace *FormTrace = nullptr;
    TAppHelpForm *AppHelpForm = nullptr;
    Tform_run2 *form_run2 = nullptr;
};

// Owns the fourteen windows of a run, creates them in the program's fixed
// order (the main window first) and destroys them in reverse order at exit.
class WindowSet {
public:
    WindowSet();
    ~WindowSet();
    WindowSet(const WindowSet &) = delete;
    WindowSet &operator=(const WindowSet &) = delete;

    TMainForm *mainForm() const { return m_main; }
    const SecondaryWindows &windows() const { return m_windows; }
    // Every window in creation order.
    const QList<QWidget *> &creationOrder() const { return m_order; }

private:
    template <typename T>
    T *create();

    TMainForm *m_main = nullptr;
    SecondaryWindows m_windows;
    QList<QWidget *> m_order;
};

// The program entry after the application object exists: title, user-dialog
// and window set-up, the main window shown maximised, the event loop. Every
// escaped error is shown in the standard error box; returns 0 in every case.
int RunQuillstone();
