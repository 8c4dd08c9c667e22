// Drives KeychainPasswordStore in a process of its own, so every test gets a
// fresh connection to the session bus its environment names (the keychain
// library and D-Bus keep their first connection for the life of a process).
//
//   keychain_probe [--wait MS] STEP...
//   STEP: read KEY | write KEY HEX | remove KEY
//
// Passwords travel as hex of their UTF-8 bytes, so blanks and any character
// survive the command line. One line per step on stdout:
//   ok | none | value HEX | error MS MESSAGE
// where MS is how long the failed step took. The first error ends the run.

#include "foundation/errors.h"
#include "net/keychain_password_store.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include <chrono>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QTextStream out(stdout);
    std::chrono::milliseconds wait = KeychainPasswordStore::DefaultWait;
    if (args.size() >= 2 && args.first() == QLatin1String("--wait")) {
        wait = std::chrono::milliseconds(args.at(1).toLongLong());
        args = args.mid(2);
    }
    KeychainPasswordStore keychain(wait);
    PasswordStore &store = keychain; // used as the program uses it, through the seam
    for (qsizetype i = 0; i < args.size();) {
        const QString step = args.at(i);
        const int needs = step == QLatin1String("write") ? 2 : 1;
        if (i + needs >= args.size()) {
            std::fprintf(stderr, "keychain_probe: %s lacks its arguments\n", qPrintable(step));
            return 2;
        }
        const QString key = args.at(i + 1);
        QElapsedTimer clock;
        clock.start();
        try {
            if (step == QLatin1String("read")) {
                const auto value = store.read(key);
                if (value)
                    out << "value " << value->toUtf8().toHex() << '\n';
                else
                    out << "none\n";
            } else if (step == QLatin1String("write")) {
                store.write(key, QString::fromUtf8(QByteArray::fromHex(args.at(i + 2).toLatin1())));
                out << "ok\n";
            } else if (step == QLatin1String("remove")) {
                store.remove(key);
                out << "ok\n";
            } else {
                std::fprintf(stderr, "keychain_probe: unknown step %s\n", qPrintable(step));
                return 2;
            }
        } catch (const AppError &error) {
            out << "error " << clock.elapsed() << ' ' << error.message() << '\n';
            return 1;
        }
        out.flush();
        i += needs + 1;
    }
    return 0;
}
