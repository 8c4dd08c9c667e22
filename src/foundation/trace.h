#pragma once

#include <QString>

#include <type_traits>

// The window that shows trace lines. The rules of numbering and clearing live
// in TraceLogger; the window only displays.
class TraceSink {
public:
    virtual ~TraceSink() = default;
    virtual bool traceVisible() const = 0;
    virtual bool tracePaused() const = 0;
    virtual bool traceClearAllowed() const = 0;
    virtual void traceClear() = 0;
    virtual void traceAppend(const QString &line) = 0;
};

// Numbers trace lines and applies the 40-line rule. While the sink is absent
// or hidden nothing happens at all: no counter moves.
class TraceLogger {
public:
    static constexpr int LinesBeforeClear = 40;

    void setSink(TraceSink *sink) { m_sink = sink; }
    TraceSink *sink() const { return m_sink; }
    void log(const QString &text);

    int sequence() const { return m_sequence; }
    int linesSinceClear() const { return m_linesSinceClear; }

private:
    TraceSink *m_sink = nullptr;
    int m_sequence = 0;
    int m_linesSinceClear = 0;
};

// The program-wide logger that the trace window attaches to.
TraceLogger &ProgramTrace();

// Writes one trace line; never fails.
void TraceLog(const QString &text);

namespace trace_detail {
QString sourceName(const char *path);
inline QString valueText(const QString &v)
{
    return v;
}
inline QString valueText(const char *v)
{
    return QString::fromUtf8(v);
}
inline QString valueText(bool v)
{
    return v ? QStringLiteral("True") : QStringLiteral("False");
}
template <typename T>
std::enable_if_t<std::is_arithmetic_v<T> && !std::is_same_v<T, bool>, QString> valueText(T v)
{
    return QString::number(v);
}
QString pointText(const char *expression, const char *file, int line, const QString &value);
} // namespace trace_detail

// A trace point: the expression's source text, "(", the source file name,
// "):", the line, ":", the value. The value is only built while tracing shows.
#define TRACE_POINT(expr)                                                                          \
    do {                                                                                           \
        if (ProgramTrace().sink() && ProgramTrace().sink()->traceVisible())                        \
            TraceLog(trace_detail::pointText(#expr, __FILE__, __LINE__,                            \
                                             trace_detail::valueText(expr)));                      \
    } while (0)
