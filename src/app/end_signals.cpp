#include "app/end_signals.h"

#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_UNIX
constexpr int Caught[] = {SIGTERM, SIGHUP, SIGINT};
int s_writeEnd = -1;

// Only what is safe in a signal handler: one byte naming the signal.
void onSignal(int number)
{
    const unsigned char byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const ssize_t written = ::write(s_writeEnd, &byte, 1);
}
#endif

} // namespace

EndSignals::EndSignals(std::function<void()> beforeEnd, QObject *parent)
    : QObject(parent), m_beforeEnd(std::move(beforeEnd))
{
#ifdef Q_OS_UNIX
    if (s_writeEnd >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, m_pair) != 0)
        return;
    s_writeEnd = m_pair[0];
    m_notifier = new QSocketNotifier(m_pair[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &EndSignals::arrived);
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // The handler is used once: a second signal, while the first is handled
    // or when the event loop is stuck, ends the program at once.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (const int number : Caught)
        ::sigaction(number, &action, nullptr);
#endif
}

EndSignals::~EndSignals()
{
#ifdef Q_OS_UNIX
    if (!m_notifier)
        return; // never set up
    for (const int number : Caught)
        ::signal(number, SIG_DFL);
    s_writeEnd = -1;
    delete m_notifier;
    ::close(m_pair[0]);
    ::close(m_pair[1]);
#endif
}

void EndSignals::arrived()
{
#ifdef Q_OS_UNIX
    unsigned char number = 0;
    if (::read(m_pair[1], &number, 1) != 1)
        return;
    m_notifier->setEnabled(false);
    try {
        if (m_beforeEnd)
            m_beforeEnd();
    } catch (...) {
        // Ending is what was asked; what could be kept was kept.
    }
    ::signal(number, SIG_DFL);
    ::raise(number);
#endif
}
