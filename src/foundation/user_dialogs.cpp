#include "foundation/user_dialogs.h"

#include <cstdio>

namespace {
class FallbackDialogs final : public UserDialogs {
public:
    void showMessage(const QString &text) override { print("message", text); }
    void showError(const QString &text) override { print("error", text); }
    bool askYesNo(const QString &title, const QString &text) override
    {
        print(title, text);
        return false;
    }
    int askChoice(const QString &title, const QString &text, const QStringList &answers) override
    {
        print(title, text);
        return int(answers.size()) - 1;
    }
    std::optional<QString> prompt(const QString &title, const QString &label,
                                  const QString &) override
    {
        print(title, label);
        return std::nullopt;
    }
    QStringList openFiles(const QString &, const QString &, const QString &, bool) override
    {
        return {};
    }
    QString saveFile(const QString &, const QString &, const QString &, const QString &) override
    {
        return {};
    }
    int showModal(QWidget *) override { return 0; }

private:
    static void print(const QString &kind, const QString &text)
    {
        std::fprintf(stderr, "quillstone %s: %s\n", qPrintable(kind), qPrintable(text));
    }
};

UserDialogs *&installed()
{
    static UserDialogs *dialogs = nullptr;
    return dialogs;
}
} // namespace

UserDialogs &Dialogs()
{
    static FallbackDialogs fallback;
    return installed() ? *installed() : fallback;
}

void SetDialogs(UserDialogs *dialogs)
{
    installed() = dialogs;
}
