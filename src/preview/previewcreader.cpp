#include "preview/previewcreader.h"

#include <limits>

namespace qm {

namespace {

enum class Tok { End, Ident, Number, String, Punct };

struct Token {
    Tok kind = Tok::End;
    int start = 0;
    int length = 0;
    ushort punct = 0;
    bool is(char c) const { return kind == Tok::Punct && punct == ushort(c); }
};

constexpr int kMaxListDepth = 16;
constexpr qint64 kMaxListElements = 1 << 20;

inline bool isIdentStart(ushort c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '$';
}

inline bool isDigit(ushort c)
{
    return c >= '0' && c <= '9';
}

inline bool isIdentChar(ushort c)
{
    return isIdentStart(c) || isDigit(c);
}

// Integer literal with optional u/l suffixes; false for anything else (floats too) and
// for a value past what a signed 64-bit integer holds, which no field of a font needs.
bool parseIntegerLiteral(const QChar *p, int n, qint64 *value)
{
    int i = 0;
    int base = 10;
    if (n >= 2 && p[0] == QLatin1Char('0') && (p[1] == QLatin1Char('x') || p[1] == QLatin1Char('X'))) {
        base = 16;
        i = 2;
    } else if (n >= 2 && p[0] == QLatin1Char('0')) {
        base = 8;
        i = 1;
    }
    const int digitsStart = i;
    quint64 v = 0;
    for (; i < n; ++i) {
        const ushort c = p[i].unicode();
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            break;
        if (d >= base)
            return false;
        if (v > (quint64(std::numeric_limits<qint64>::max()) - quint64(d)) / quint64(base))
            return false;
        v = v * quint64(base) + quint64(d);
    }
    if (i == digitsStart && base != 8)
        return false;
    for (; i < n; ++i) {
        const ushort c = p[i].unicode();
        if (c != 'u' && c != 'U' && c != 'l' && c != 'L')
            return false;
    }
    *value = qint64(v);
    return true;
}

class Lexer
{
public:
    // Reads text[from, to); token positions count from `text`.
    Lexer(const QChar *text, int from, int to) : m_p(text), m_n(to), m_pos(from) {}

    Token next()
    {
        skipBlanks();
        Token t;
        t.start = m_pos;
        if (m_pos >= m_n)
            return t;
        m_lineStart = false;
        const ushort c = m_p[m_pos].unicode();
        if (isIdentStart(c)) {
            while (m_pos < m_n && isIdentChar(m_p[m_pos].unicode()))
                ++m_pos;
            t.kind = Tok::Ident;
        } else if (isDigit(c)) {
            while (m_pos < m_n && (isIdentChar(m_p[m_pos].unicode()) || m_p[m_pos] == QLatin1Char('.')))
                ++m_pos;
            t.kind = Tok::Number;
        } else if (c == '"' || c == '\'') {
            ++m_pos;
            while (m_pos < m_n && m_p[m_pos].unicode() != c && m_p[m_pos] != QLatin1Char('\n')) {
                if (m_p[m_pos] == QLatin1Char('\\'))
                    ++m_pos;
                ++m_pos;
            }
            m_pos = qMin(m_pos + 1, m_n);
            t.kind = Tok::String;
        } else {
            ++m_pos;
            t.kind = Tok::Punct;
            t.punct = c;
        }
        t.length = m_pos - t.start;
        return t;
    }

    int position() const { return m_pos; }

    // Moves past the '}' that closes a '{' already read; false at the end of the text.
    // Only braces, comments, literals and directives matter, so this runs per character.
    bool skipBlock()
    {
        int depth = 1;
        while (m_pos < m_n) {
            const ushort c = m_p[m_pos].unicode();
            if (c == '/' || c == '#' || c == '\n' || c == ' ' || c == '\t' || c == '\r') {
                // Blanks, comments and directives; a '/' or '#' that starts none is a character.
                const int before = m_pos;
                skipBlanks();
                if (m_pos == before) {
                    m_lineStart = false;
                    ++m_pos;
                }
                continue;
            }
            m_lineStart = false;
            ++m_pos;
            if (c == '{') {
                ++depth;
            } else if (c == '}') {
                if (--depth == 0)
                    return true;
            } else if (c == '"' || c == '\'') {
                while (m_pos < m_n && m_p[m_pos].unicode() != c && m_p[m_pos] != QLatin1Char('\n')) {
                    if (m_p[m_pos] == QLatin1Char('\\'))
                        ++m_pos;
                    ++m_pos;
                }
                m_pos = qMin(m_pos + 1, m_n);
            }
        }
        return false;
    }

    // Reads integer literals, each with an optional sign, separated by commas up to the
    // closing '}'; false at anything else or past `maxCount` values, with *why saying
    // which. Byte arrays hold millions of them.
    template <typename Sink>
    bool readIntegers(Sink sink, qint64 maxCount, QString *why)
    {
        qint64 count = 0;
        const auto notANumber = [&](int start) {
            const int end = qMin(m_pos + 1, start + 40);
            *why = QStringLiteral("value %1 (\"%2\") is not an integer literal that fits in 64 bits")
                       .arg(count + 1)
                       .arg(QString(m_p + start, qMax(0, end - start)).simplified());
            return false;
        };
        for (;;) {
            skipBlanks();
            if (m_pos >= m_n) {
                *why = QStringLiteral("it is not closed");
                return false;
            }
            if (m_p[m_pos] == QLatin1Char('}')) {
                ++m_pos;
                return true;
            }
            bool negative = false;
            while (m_pos < m_n && (m_p[m_pos] == QLatin1Char('-') || m_p[m_pos] == QLatin1Char('+'))) {
                negative ^= m_p[m_pos] == QLatin1Char('-');
                ++m_pos;
                skipBlanks();
            }
            const int start = m_pos;
            while (m_pos < m_n && isIdentChar(m_p[m_pos].unicode()))
                ++m_pos;
            qint64 value = 0;
            if (m_pos == start || !isDigit(m_p[start].unicode())
                || !parseIntegerLiteral(m_p + start, m_pos - start, &value))
                return notANumber(start);
            if (++count > maxCount) {
                *why = QStringLiteral("it holds more than %1 values").arg(maxCount);
                return false;
            }
            sink(negative ? -value : value);
            skipBlanks();
            if (m_pos >= m_n) {
                *why = QStringLiteral("it is not closed");
                return false;
            }
            if (m_p[m_pos] == QLatin1Char(',')) {
                ++m_pos;
            } else if (m_p[m_pos] == QLatin1Char('}')) {
                ++m_pos;
                return true;
            } else {
                return notANumber(start);
            }
        }
    }

private:
    void skipBlanks()
    {
        while (m_pos < m_n) {
            const ushort c = m_p[m_pos].unicode();
            if (c == '\n') {
                m_lineStart = true;
                ++m_pos;
            } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
                ++m_pos;
            } else if (c == '/' && m_pos + 1 < m_n && m_p[m_pos + 1] == QLatin1Char('*')) {
                m_pos += 2;
                while (m_pos + 1 < m_n && !(m_p[m_pos] == QLatin1Char('*') && m_p[m_pos + 1] == QLatin1Char('/')))
                    ++m_pos;
                m_pos = qMin(m_pos + 2, m_n);
            } else if (c == '/' && m_pos + 1 < m_n && m_p[m_pos + 1] == QLatin1Char('/')) {
                while (m_pos < m_n && m_p[m_pos] != QLatin1Char('\n'))
                    ++m_pos;
            } else if (c == '#' && m_lineStart) {
                // A directive runs to the end of its line, continued by a backslash.
                while (m_pos < m_n && m_p[m_pos] != QLatin1Char('\n')) {
                    if (m_p[m_pos] == QLatin1Char('\\') && m_pos + 1 < m_n && m_p[m_pos + 1] == QLatin1Char('\n'))
                        ++m_pos;
                    ++m_pos;
                }
            } else {
                return;
            }
        }
    }

    const QChar *m_p;
    int m_n;
    int m_pos;
    bool m_lineStart = true;
};

class Parser
{
public:
    Parser(const QString &text, int from, int to) : m_text(text), m_lexer(text.constData(), from, to) {}

    QStringView view(int start, int end) const { return QStringView(m_text).mid(start, end - start); }
    QStringView view(const Token &t) const { return view(t.start, t.start + t.length); }

    Token next() { return m_lexer.next(); }
    int position() const { return m_lexer.position(); }

    // Skips to the token that closes `open`; false at the end of the text.
    bool skipBalanced(char open, char close)
    {
        int depth = 1;
        for (Token t = next(); t.kind != Tok::End; t = next()) {
            if (t.is(open))
                ++depth;
            else if (t.is(close) && --depth == 0)
                return true;
        }
        return false;
    }

    // Parses the elements of a braced list whose '{' was just read, up to its '}'. A
    // font's initialisers nest three deep and hold a few elements per glyph; past the
    // limits the text is not one of ours, and reading on would exhaust the stack or the
    // memory.
    bool parseList(CElement *list)
    {
        if (++m_depth > kMaxListDepth) {
            m_why = QStringLiteral("its braces are nested more than %1 deep").arg(kMaxListDepth);
            return false;
        }
        const bool ok = parseListMembers(list);
        --m_depth;
        return ok;
    }
    const QString &why() const { return m_why; }

private:
    bool parseListMembers(CElement *list)
    {
        list->braced = true;
        for (;;) {
            Token t = next();
            if (t.is('}'))
                return true;
            if (t.kind == Tok::End)
                return false;
            if (++m_elements > kMaxListElements) {
                m_why = QStringLiteral("it holds more than %1 elements").arg(kMaxListElements);
                return false;
            }

            CElement element;
            if (t.is('.')) {
                const Token name = next();
                if (name.kind != Tok::Ident || !next().is('='))
                    return false;
                element.designator = view(name);
                t = next();
            } else if (t.is('[')) {
                if (!skipBalanced('[', ']') || !next().is('='))
                    return false;
                t = next();
            }

            Token after;
            if (t.is('{')) {
                if (!parseList(&element))
                    return false;
                after = next();
            } else {
                // A scalar runs to the ',' or '}' outside any parentheses.
                const int start = t.start;
                int end = t.start;
                int depth = 0;
                for (; t.kind != Tok::End; t = next()) {
                    if (depth == 0 && (t.is(',') || t.is('}')))
                        break;
                    if (t.is('(') || t.is('{'))
                        ++depth;
                    else if (t.is(')') || t.is('}'))
                        --depth;
                    end = t.start + t.length;
                }
                if (t.kind == Tok::End)
                    return false;
                element.expression = view(start, end);
                after = t;
            }
            list->members.push_back(std::move(element));
            if (after.is('}'))
                return true;
            if (!after.is(','))
                return false;
        }
    }

public:
    bool skipBlock() { return m_lexer.skipBlock(); }
    template <typename Sink>
    bool readIntegers(Sink sink, qint64 maxCount, QString *why)
    {
        return m_lexer.readIntegers(sink, maxCount, why);
    }

private:
    const QString &m_text;
    Lexer m_lexer;
    int m_depth = 0;
    qint64 m_elements = 0;
    QString m_why;
};

} // namespace

bool CElement::toInteger(qint64 *value) const
{
    // A number with its casts takes a few dozen characters; a longer expression is
    // none of ours, and its tokens are not worth holding.
    if (expression.size() > 200)
        return false;
    Lexer lexer(expression.data(), 0, int(expression.size()));
    std::vector<Token> tokens;
    for (Token t = lexer.next(); t.kind != Tok::End; t = lexer.next())
        tokens.push_back(t);
    size_t i = 0;
    bool negative = false;
    for (;;) {
        if (i < tokens.size() && (tokens[i].is('-') || tokens[i].is('+'))) {
            negative ^= tokens[i].is('-');
            ++i;
            continue;
        }
        // A cast: "(" type words and stars ")".
        if (i + 2 < tokens.size() && tokens[i].is('(') && tokens[i + 1].kind == Tok::Ident) {
            size_t j = i + 1;
            while (j < tokens.size() && (tokens[j].kind == Tok::Ident || tokens[j].is('*')))
                ++j;
            if (j < tokens.size() && tokens[j].is(')')) {
                i = j + 1;
                continue;
            }
        }
        break;
    }
    if (i + 1 != tokens.size() || tokens[i].kind != Tok::Number)
        return false;
    qint64 v = 0;
    if (!parseIntegerLiteral(expression.data() + tokens[i].start, tokens[i].length, &v))
        return false;
    *value = negative ? -v : v;
    return true;
}

QString CElement::identifier() const
{
    QStringView e = expression.trimmed();
    if (e.startsWith(QLatin1Char('&')))
        e = e.mid(1).trimmed();
    for (const QChar c : e) {
        if (!isIdentChar(c.unicode()))
            return QString();
    }
    return e.toString();
}

CFields::CFields(const CElement &element, const QStringList &order)
{
    int next = 0;
    for (const CElement &member : element.members) {
        QString name;
        if (!member.designator.isEmpty()) {
            name = member.designator.toString();
            next = order.indexOf(name) + 1;
        } else {
            name = order.value(next++);
        }
        if (!name.isEmpty())
            m_fields.insert(name, &member);
    }
}

bool CFields::integer(const QString &name, qint64 *value) const
{
    const CElement *e = field(name);
    return e && !e->braced && e->toInteger(value);
}

QString CFields::identifier(const QString &name) const
{
    const CElement *e = field(name);
    return e ? e->identifier() : QString();
}

bool CSourceReader::parse(const QString &text, QString *error)
{
    m_text = text;
    m_objects.clear();
    m_order.clear();
    m_functions.clear();
    Parser parser(m_text, 0, m_text.size());

    QStringView lastIdent, typeIdent, callee;
    bool afterParens = false;
    bool afterExternString = false;
    bool lastWasExtern = false;
    for (Token t = parser.next(); t.kind != Tok::End; t = parser.next()) {
        const bool externString = lastWasExtern && t.kind == Tok::String;
        lastWasExtern = false;
        if (t.kind == Tok::Ident) {
            typeIdent = lastIdent;
            lastIdent = parser.view(t);
            lastWasExtern = lastIdent == QLatin1String("extern");
        } else if (t.is('[')) {
            parser.skipBalanced('[', ']');
        } else if (t.is('(')) {
            callee = lastIdent;
            afterParens = true;
            parser.skipBalanced('(', ')');
        } else if (t.is('=') || t.is('{')) {
            // extern "C" { ... } wraps declarations rather than holding a body.
            if (t.is('{') && afterExternString)
                continue;
            const bool initialiser = t.is('=');
            const Token open = initialiser ? parser.next() : t;
            if (open.is('{')) {
                if (!parser.skipBlock()) {
                    *error = QStringLiteral("a brace is not closed");
                    return false;
                }
                Range range{typeIdent.toString(), open.start + 1, parser.position() - 1};
                if (initialiser) {
                    m_objects.insert(lastIdent.toString(), range);
                    m_order << lastIdent.toString();
                } else if (afterParens && !callee.isEmpty()) {
                    m_functions.insert(callee.toString(), parser.view(range.start, range.end));
                }
            } else {
                // A scalar initialiser: nothing the preview reads.
                for (Token s = open; s.kind != Tok::End && !s.is(';'); s = parser.next()) {
                    if (s.is('{'))
                        parser.skipBalanced('{', '}');
                }
            }
            lastIdent = typeIdent = QStringView();
            afterParens = false;
        } else if (t.is(';')) {
            lastIdent = typeIdent = QStringView();
            afterParens = false;
        }
        afterExternString = externString;
    }
    return true;
}

QString CSourceReader::objectOfType(const QString &type) const
{
    for (const QString &name : m_order) {
        if (m_objects.value(name).type == type)
            return name;
    }
    return QString();
}

bool CSourceReader::elements(const QString &name, CElement *list, QString *why) const
{
    const auto it = m_objects.constFind(name);
    if (it == m_objects.constEnd()) {
        if (why)
            *why = QStringLiteral("it is missing");
        return false;
    }
    *list = CElement();
    Parser parser(m_text, it->start, it->end + 1);
    if (parser.parseList(list))
        return true;
    *list = CElement();
    if (why)
        *why = parser.why().isEmpty() ? QStringLiteral("its initialiser cannot be read") : parser.why();
    return false;
}

template <typename Sink>
bool CSourceReader::readIntegers(const QString &name, Sink sink, qint64 maxCount, QString *why) const
{
    QString dummy;
    if (!why)
        why = &dummy;
    const auto it = m_objects.constFind(name);
    if (it == m_objects.constEnd()) {
        *why = QStringLiteral("it is missing");
        return false;
    }
    Parser parser(m_text, it->start, it->end + 1);
    return parser.readIntegers(sink, maxCount, why);
}

bool CSourceReader::integers(const QString &name, QByteArray *out, QString *why) const
{
    out->clear();
    // A byte takes at least two characters ("0,"); most take five ("0x3f,").
    const auto it = m_objects.constFind(name);
    if (it != m_objects.constEnd())
        out->reserve((it->end - it->start) / 5 + 16);
    return readIntegers(name, [out](qint64 v) { out->append(char(v & 0xFF)); },
                        std::numeric_limits<qint64>::max(), why);
}

bool CSourceReader::integers(const QString &name, std::vector<qint64> *out, qint64 maxCount,
                             QString *why) const
{
    out->clear();
    return readIntegers(name, [out](qint64 v) { out->push_back(v); }, maxCount, why);
}

QStringView CSourceReader::functionBody(const QString &name) const
{
    return m_functions.value(name);
}

} // namespace qm
