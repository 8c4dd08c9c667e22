#include "foundation/trace.h"

void TraceLogger::log(const QString &text)
{
    if (!m_sink || !m_sink->traceVisible())
        return;
    ++m_linesSinceClear;
    if (m_linesSinceClear > LinesBeforeClear) {
        m_linesSinceClear = 0;
        if (m_sink->traceClearAllowed())
            m_sink->traceClear();
    }
    ++m_sequence;
    const QString line = QStringLiteral("%1: %2").arg(m_sequence).arg(text);
    if (!m_sink->tracePaused())
        m_sink->traceAppend(line);
}

TraceLogger &ProgramTrace()
{
    static TraceLogger logger;
    return logger;
}

void TraceLog(const QString &text)
{
    ProgramTrace().log(text);
}

namespace trace_detail {
QString sourceName(const char *path)
{
    const QString full = QString::fromUtf8(path);
    const qsizetype cut = std::max(full.lastIndexOf(u'/'), full.lastIndexOf(u'\\'));
    return cut >= 0 ? full.mid(cut + 1) : full;
}

QString pointText(const char *expression, const char *file, int line, const QString &value)
{
    return QStringLiteral("%1(%2):%3:%4")
        .arg(QString::fromUtf8(expression), sourceName(file), QString::number(line), value);
}
} // namespace trace_detail
