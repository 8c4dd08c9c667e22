#pragma once

#include <QHash>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QStringList>

class QProcess;

// What `php -l` said about one file.
struct PhpLintResult {
    QString file; // the file as it was handed to the check
    bool clean = true;
    int line = 0;    // 1-based line of the error; 0 when PHP named none
    QString message; // "Parse error: syntax error, unexpected ..." without file and line
};
Q_DECLARE_METATYPE(PhpLintResult)

// Reads the output of `php -l FILE`: an error line ("Parse error: MESSAGE in
// FILE on line N", possibly after "PHP ") makes the result not clean. A
// failing exit code without such a line counts as an error without a line.
PhpLintResult ParsePhpLintOutput(const QString &file, const QString &output, int exitCode);

// Checks PHP files (or unsaved text) with `php -l` in the background: each check is a
// process of its own whose end is reported through a signal, so typing goes
// on while PHP reads the file. A new check of a file replaces one of the
// same file still running; its stale result is never reported. Nothing is
// reported when php cannot be found or does not run.
class PhpLint final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PhpLint)

public:
    explicit PhpLint(QObject *parent = nullptr, QString program = QStringLiteral("php"));
    ~PhpLint() override;

    // Starts checking `path`; false (and nothing started) when no php is on the PATH.
    bool check(const QString &path);
    // Checks unsaved text through PHP's standard input; the result names
    // `key` as its file. A running check under the same key is replaced.
    bool checkText(const QString &key, const QByteArray &text);
    // Whether a php to run was found on the PATH.
    bool available() const;
    // Checks still running.
    int running() const { return int(m_running.size()); }
    // How long a check may wait for an idle processor before it runs again
    // at a low priority instead.
    void setIdleTurnMs(int ms) { m_idleTurnMs = ms; }

signals:
    void checked(const PhpLintResult &result);

private:
    bool start(const QString &key, const QStringList &arguments, const QByteArray *input,
               bool idle = true);
    void finish(QProcess *process, const QString &path, bool fromInput);

    QString m_program;
    QHash<QString, QProcess *> m_running; // by file; owned, deleted when done
    int m_idleTurnMs = 2000;
};
