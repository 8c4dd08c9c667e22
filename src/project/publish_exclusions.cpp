#include "project/publish_exclusions.h"

#include "foundation/errors.h"

#include <algorithm>

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\r';
}

// True when the character at `at` is escaped by an odd run of '\' before it.
bool escapedAt(const QString &text, qsizetype at)
{
    qsizetype slashes = 0;
    while (at - slashes - 1 >= 0 && text.at(at - slashes - 1) == u'\\')
        ++slashes;
    return slashes % 2 == 1;
}

// A character for use inside a regular expression's class.
QString classCharacter(QChar c)
{
    return c.isLetterOrNumber() ? QString(c) : QStringLiteral("\\") + c;
}

// "[...]" starting at `at` into a class that never takes '/'; `at` ends after
// the closing ']'.
QString translateClass(const QString &text, qsizetype &at)
{
    qsizetype i = at + 1;
    const bool negated = i < text.size() && (text.at(i) == u'!' || text.at(i) == u'^');
    if (negated)
        ++i;
    QString body;
    bool first = true;
    for (;; first = false) {
        if (i >= text.size())
            throw AppError(QStringLiteral("a '[' has no closing ']'"));
        const QChar c = text.at(i);
        if (c == u']' && !first)
            break;
        if (c == u'\\') {
            if (i + 1 >= text.size())
                throw AppError(QStringLiteral("a '[' has no closing ']'"));
            body += classCharacter(text.at(i + 1));
            i += 2;
            continue;
        }
        // A '-' between two characters makes a range; at either end it is itself.
        const bool range = c == u'-' && !first && i + 1 < text.size() && text.at(i + 1) != u']';
        body += range ? QString(c) : classCharacter(c);
        ++i;
    }
    at = i + 1;
    return negated ? QStringLiteral("[^/") + body + u']' : QStringLiteral("(?!/)[") + body + u']';
}

QString translate(const QString &text)
{
    QString expression;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n;) {
        const QChar c = text.at(i);
        if (c == u'*') {
            qsizetype stars = i;
            while (stars < n && text.at(stars) == u'*')
                ++stars;
            const bool twin = stars - i == 2;
            const bool startsPart = i == 0 || text.at(i - 1) == u'/';
            if (twin && startsPart && stars < n && text.at(stars) == u'/') {
                expression += QStringLiteral("(?:[^/]*/)*"); // any number of folders
                i = stars + 1;
                continue;
            }
            if (twin && startsPart && stars == n) {
                expression += QStringLiteral(".*"); // everything below
                i = stars;
                continue;
            }
            expression += QStringLiteral("[^/]*");
            i = stars;
        } else if (c == u'?') {
            expression += QStringLiteral("[^/]");
            ++i;
        } else if (c == u'[') {
            expression += translateClass(text, i);
        } else if (c == u'\\') {
            if (i + 1 >= n)
                throw AppError(QStringLiteral("it ends with a '\\' that escapes nothing"));
            expression += QRegularExpression::escape(QString(text.at(i + 1)));
            i += 2;
        } else {
            expression += QRegularExpression::escape(QString(c));
            ++i;
        }
    }
    return expression;
}

} // namespace

bool PublishExclusions::compile(const QString &line, Rule &rule)
{
    QString text = line;
    while (!text.isEmpty() && isBlank(text.back()) && !escapedAt(text, text.size() - 1))
        text.chop(1);
    if (text.isEmpty() || text.startsWith(u'#'))
        return false;
    rule = Rule();
    rule.line = line;
    if (text.startsWith(u'!')) {
        rule.negated = true;
        text.remove(0, 1);
    }
    while (text.endsWith(u'/')) {
        rule.foldersOnly = true;
        text.chop(1);
    }
    rule.anchored = text.contains(u'/');
    if (text.startsWith(u'/'))
        text.remove(0, 1);
    if (text.isEmpty())
        throw AppError(QStringLiteral("it names no file or folder"));
    rule.expression.setPattern(QStringLiteral("\\A(?:") + translate(text) + QStringLiteral(")\\z"));
    rule.expression.setPatternOptions(QRegularExpression::DotMatchesEverythingOption);
    if (!rule.expression.isValid())
        throw AppError(rule.expression.errorString());
    rule.expression.optimize();
    return true;
}

QString PublishExclusions::patternError(const QString &pattern)
{
    Rule rule;
    try {
        compile(pattern, rule);
    } catch (const AppError &error) {
        return error.message();
    }
    return {};
}

PublishExclusions::PublishExclusions(const QStringList &patterns)
{
    setPatterns(patterns);
}

void PublishExclusions::setPatterns(const QStringList &patterns)
{
    std::vector<Rule> rules;
    for (const QString &line : patterns) {
        Rule rule;
        try {
            if (!compile(line, rule))
                continue;
        } catch (const AppError &error) {
            throw AppError(QStringLiteral("The exclusion pattern \"%1\" is not valid: %2.")
                               .arg(line, error.message()));
        }
        rules.push_back(std::move(rule));
    }
    m_rules = std::move(rules);
    m_lines = patterns;
}

QString PublishExclusions::excludedBy(const QString &relativePath) const
{
    if (relativePath.isEmpty() || relativePath == QStringLiteral("..") ||
        relativePath.startsWith(QStringLiteral("../")))
        return {};
    const Rule *decided = nullptr;
    for (const Rule &rule : m_rules) {
        // Every folder above the file, then the file itself: a folder that
        // matches takes everything below it along.
        qsizetype start = 0;
        bool matched = false;
        while (!matched) {
            const qsizetype slash = relativePath.indexOf(u'/', start);
            const bool isFile = slash < 0;
            if (!isFile || !rule.foldersOnly) {
                const qsizetype end = isFile ? relativePath.size() : slash;
                const QString subject =
                    rule.anchored ? relativePath.left(end) : relativePath.mid(start, end - start);
                matched = rule.expression.match(subject).hasMatch();
            }
            if (isFile)
                break;
            start = slash + 1;
        }
        if (matched)
            decided = &rule;
    }
    return decided && !decided->negated ? decided->line : QString();
}

PublishExclusions::Verdict PublishExclusions::verdictFor(const QString &relativePath,
                                                         bool isFolder) const
{
    const qsizetype slash = relativePath.lastIndexOf(u'/');
    const QString name = slash < 0 ? relativePath : relativePath.mid(slash + 1);
    for (auto rule = m_rules.rbegin(); rule != m_rules.rend(); ++rule) {
        if (rule->foldersOnly && !isFolder)
            continue;
        if (rule->expression.match(rule->anchored ? relativePath : name).hasMatch())
            return rule->negated ? Verdict::Included : Verdict::Excluded;
    }
    return Verdict::None;
}

bool PublishExclusions::hasNegations() const
{
    return std::any_of(m_rules.begin(), m_rules.end(), [](const Rule &r) { return r.negated; });
}
