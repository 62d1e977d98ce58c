// The Jet-dialect translator. The program's SQL texts are written in Jet's dialect (TOP n, #dates#,
// DELETE *, "strings", TRUE/FALSE, bare now, Jet's DDL types, the joined UPDATE); this tokenizer
// rewrites them for SQLite. Quoted literals and bracketed names are never looked into.
#include "jet_sql.h"

#include <map>

#include "daynum.h"
#include "recordset.h"

namespace {

enum class Tok { Space, Word, Number, Str, Bracket, Punct };

struct Token {
    Tok kind;
    QString text;
};

bool IsWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c == u'$' || c.unicode() >= 0x80;
}

bool IsSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

// Reads "YYYY-M-D" or "YYYY/M/D", optionally with " H:MM[:SS]", as a day number literal.
// Month-first forms are not guessed at.
bool DateLiteral(const QString &body, QString &out)
{
    const QString t = body.trimmed();
    int i = 0;
    auto number = [&](int maxDigits, int &value) {
        int digits = 0;
        value = 0;
        while (i < t.size() && t[i].unicode() < 128 && t[i].isDigit() && digits < maxDigits) {
            value = value * 10 + t[i].digitValue();
            ++i;
            ++digits;
        }
        return digits;
    };
    int y = 0, m = 0, d = 0, h = 0, mi = 0, s = 0;
    if (number(4, y) != 4 || i >= t.size() || (t[i] != u'-' && t[i] != u'/'))
        return false;
    const QChar sep = t[i++];
    if (number(2, m) == 0 || i >= t.size() || t[i] != sep)
        return false;
    ++i;
    if (number(2, d) == 0)
        return false;
    bool hasTime = false;
    if (i < t.size()) {
        if (!IsSpace(t[i]))
            return false;
        while (i < t.size() && IsSpace(t[i]))
            ++i;
        if (number(2, h) == 0 || i >= t.size() || t[i] != u':')
            return false;
        ++i;
        if (number(2, mi) == 0)
            return false;
        if (i < t.size() && t[i] == u':') {
            ++i;
            if (number(2, s) == 0)
                return false;
        }
        if (i != t.size() || h > 23 || mi > 59 || s > 59)
            return false;
        hasTime = true;
    }
    if (!QDate(y, m, d).isValid())
        return false;
    const double day = DayNumberOf(y, m, d);
    if (!hasTime) {
        out = QString::number(static_cast<long long>(day));
        return true;
    }
    // QString::number writes a decimal point whatever the process locale (snprintf would not).
    out = QString::number(day + (h * 3600.0 + mi * 60.0 + s) / 86400.0, 'g', 17);
    return true;
}

// Splits the text into tokens. "..." strings become '...' strings and #dates# day numbers here.
bool Tokenize(const QString &sql, std::vector<Token> &tokens, QString &error)
{
    const int n = sql.size();
    int i = 0;
    while (i < n) {
        const QChar c = sql[i];
        const int start = i;
        if (IsSpace(c)) {
            while (i < n && IsSpace(sql[i]))
                ++i;
            tokens.push_back({Tok::Space, sql.mid(start, i - start)});
        } else if (c == u'\'' || c == u'"') {
            QString body;
            ++i;
            bool closed = false;
            while (i < n) {
                if (sql[i] == c) {
                    if (i + 1 < n && sql[i + 1] == c) {
                        body += c;
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                body += sql[i++];
            }
            if (!closed) {
                error = QStringLiteral("unterminated string literal");
                return false;
            }
            if (c == u'\'') {
                tokens.push_back({Tok::Str, sql.mid(start, i - start)});
            } else {
                body.replace(u'\'', QStringLiteral("''"));
                tokens.push_back({Tok::Str, u'\'' + body + u'\''});
            }
        } else if (c == u'[') {
            const int close = sql.indexOf(u']', i);
            if (close < 0) {
                error = QStringLiteral("unterminated bracketed name");
                return false;
            }
            i = close + 1;
            tokens.push_back({Tok::Bracket, sql.mid(start, i - start)});
        } else if (c == u'#') {
            const int close = sql.indexOf(u'#', i + 1);
            QString day;
            if (close < 0 || !DateLiteral(sql.mid(i + 1, close - i - 1), day)) {
                error = QStringLiteral("syntax error in date literal: ") + sql.mid(i, close < 0 ? -1 : close - i + 1);
                return false;
            }
            i = close + 1;
            tokens.push_back({Tok::Number, day});
        } else if ((c.unicode() < 128 && c.isDigit()) ||
                   (c == u'.' && i + 1 < n && sql[i + 1].unicode() < 128 && sql[i + 1].isDigit())) {
            while (i < n && ((sql[i].unicode() < 128 && sql[i].isDigit()) || sql[i] == u'.'))
                ++i;
            if (i < n && (sql[i] == u'e' || sql[i] == u'E')) {
                int j = i + 1;
                if (j < n && (sql[j] == u'+' || sql[j] == u'-'))
                    ++j;
                if (j < n && sql[j].unicode() < 128 && sql[j].isDigit()) {
                    i = j;
                    while (i < n && sql[i].unicode() < 128 && sql[i].isDigit())
                        ++i;
                }
            }
            tokens.push_back({Tok::Number, sql.mid(start, i - start)});
        } else if (IsWordChar(c)) {
            while (i < n && IsWordChar(sql[i]))
                ++i;
            tokens.push_back({Tok::Word, sql.mid(start, i - start)});
        } else if (c == u'&') {
            // SQLite reads & as a bitwise AND; Jet's concatenation would silently give 0.
            error = QStringLiteral("refused: \"&\" in an SQL text");
            return false;
        } else {
            ++i;
            tokens.push_back({Tok::Punct, QString(c)});
        }
    }
    return true;
}

bool IsWord(const Token &t, const char *word)
{
    return t.kind == Tok::Word && t.text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

bool IsPunct(const Token &t, char p)
{
    return t.kind == Tok::Punct && t.text.size() == 1 && t.text[0] == QLatin1Char(p);
}

// Index of the next (or previous) token that is not blank, or -1.
int NextSig(const std::vector<Token> &t, int i)
{
    for (++i; i < static_cast<int>(t.size()); ++i)
        if (t[i].kind != Tok::Space)
            return i;
    return -1;
}

int PrevSig(const std::vector<Token> &t, int i)
{
    for (--i; i >= 0; --i)
        if (t[i].kind != Tok::Space)
            return i;
    return -1;
}

// The SQLite type for a Jet DDL type word; empty when the word is no type.
QString DdlType(const QString &word, bool &dropLength)
{
    const QString w = word.toUpper();
    dropLength = false;
    if (w == u"STRING" || w == u"TEXT" || w == u"VARCHAR" || w == u"CHAR" || w == u"MEMO" || w == u"LONGTEXT") {
        dropLength = true;
        return QStringLiteral("TEXT COLLATE NOCASE");
    }
    if (w == u"LONG" || w == u"INTEGER" || w == u"INT" || w == u"SHORT" || w == u"SMALLINT" || w == u"BYTE")
        return QStringLiteral("INTEGER");
    if (w == u"AUTOINCREMENT" || w == u"COUNTER")
        return QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT");
    if (w == u"SINGLE" || w == u"REAL" || w == u"FLOAT")
        return QStringLiteral("FLOAT");
    if (w == u"DOUBLE" || w == u"CURRENCY" || w == u"MONEY")
        return QStringLiteral("DOUBLE");
    if (w == u"DATE" || w == u"DATETIME")
        return QStringLiteral("DATE");
    return QString();
}

void RewriteDdlTypes(std::vector<Token> &t)
{
    for (int i = 0; i < static_cast<int>(t.size()); ++i) {
        if (t[i].kind != Tok::Word)
            continue;
        const int name = PrevSig(t, i);
        if (name < 0 || (t[name].kind != Tok::Word && t[name].kind != Tok::Bracket))
            continue;
        const int before = PrevSig(t, name);
        if (before < 0 ||
            !(IsPunct(t[before], '(') || IsPunct(t[before], ',') || IsWord(t[before], "ADD") ||
              IsWord(t[before], "COLUMN")))
            continue;
        bool dropLength = false;
        const QString type = DdlType(t[i].text, dropLength);
        if (type.isEmpty())
            continue;
        t[i] = {Tok::Word, type};
        const int open = NextSig(t, i);
        if (dropLength && open >= 0 && IsPunct(t[open], '(')) {
            const int len = NextSig(t, open);
            const int close = len >= 0 ? NextSig(t, len) : -1;
            if (len >= 0 && t[len].kind == Tok::Number && close >= 0 && IsPunct(t[close], ')'))
                t.erase(t.begin() + i + 1, t.begin() + close + 1);
        }
    }
}

void EraseWithTrailingSpace(std::vector<Token> &t, int from, int to)
{
    if (to + 1 < static_cast<int>(t.size()) && t[to + 1].kind == Tok::Space)
        ++to;
    t.erase(t.begin() + from, t.begin() + to + 1);
}

void InsertLimit(std::vector<Token> &t, int at, const QString &count)
{
    const Token limit[] = {{Tok::Space, QStringLiteral(" ")},
                           {Tok::Word, QStringLiteral("LIMIT")},
                           {Tok::Space, QStringLiteral(" ")},
                           {Tok::Number, count}};
    t.insert(t.begin() + at, std::begin(limit), std::end(limit));
}

// SELECT [DISTINCT] TOP n ... becomes SELECT [DISTINCT] ... LIMIT n, the LIMIT at the end of that
// SELECT: before the parenthesis that closes its sub-query, or at the end of the text.
void RewriteTop(std::vector<Token> &t)
{
    std::map<int, QString> pending;  // paren depth -> limit
    int depth = 0;
    for (int i = 0; i < static_cast<int>(t.size()); ++i) {
        if (IsPunct(t[i], '(')) {
            ++depth;
        } else if (IsPunct(t[i], ')')) {
            auto it = pending.find(depth);
            if (it != pending.end()) {
                InsertLimit(t, i, it->second);
                pending.erase(it);
                i += 4;
            }
            --depth;
        } else if (IsWord(t[i], "SELECT")) {
            int top = NextSig(t, i);
            if (top >= 0 && (IsWord(t[top], "DISTINCT") || IsWord(t[top], "ALL")))
                top = NextSig(t, top);
            const int count = top >= 0 ? NextSig(t, top) : -1;
            if (top >= 0 && IsWord(t[top], "TOP") && count >= 0 && t[count].kind == Tok::Number) {
                pending[depth] = t[count].text;
                EraseWithTrailingSpace(t, top, count);
            }
        }
    }
    auto it = pending.find(0);
    if (it != pending.end()) {
        int end = static_cast<int>(t.size());
        while (end > 0 && t[end - 1].kind == Tok::Space)
            --end;
        InsertLimit(t, end, it->second);
    }
}

QString Join(const std::vector<Token> &t, int from, int to)
{
    QString out;
    for (int i = from; i < to; ++i) {
        // Keep Jet's "a--1" and "a/*b" from turning into SQLite comments.
        if (!out.isEmpty() && !t[i].text.isEmpty() &&
            ((out.endsWith(u'-') && t[i].text.startsWith(u'-')) || (out.endsWith(u'/') && t[i].text.startsWith(u'*'))))
            out += u' ';
        out += t[i].text;
    }
    return out;
}

QString JoinTrimmed(const std::vector<Token> &t, int from, int to)
{
    return Join(t, from, to).trimmed();
}

// UPDATE a INNER JOIN b ON cond SET a.f=b.g,... [WHERE w]
// becomes UPDATE a SET f=b.g,... FROM b WHERE (cond) [AND (w)].
bool RewriteJoinedUpdate(std::vector<Token> &t)
{
    int inner = -1, join = -1, on = -1, set = -1, where = -1;
    int depth = 0;
    for (int i = 0; i < static_cast<int>(t.size()); ++i) {
        if (IsPunct(t[i], '('))
            ++depth;
        else if (IsPunct(t[i], ')'))
            --depth;
        if (depth != 0 || t[i].kind != Tok::Word)
            continue;
        if (inner < 0 && IsWord(t[i], "INNER")) {
            const int j = NextSig(t, i);
            if (j >= 0 && IsWord(t[j], "JOIN")) {
                inner = i;
                join = j;
            }
        } else if (join >= 0 && on < 0 && IsWord(t[i], "ON")) {
            on = i;
        } else if (on >= 0 && set < 0 && IsWord(t[i], "SET")) {
            set = i;
        } else if (set >= 0 && where < 0 && IsWord(t[i], "WHERE")) {
            where = i;
        }
    }
    if (inner < 0 || on < 0 || set < 0)
        return false;
    const int first = NextSig(t, -1);
    const int end = static_cast<int>(t.size());
    std::vector<Token> assigns(t.begin() + set + 1, t.begin() + (where >= 0 ? where : end));
    // The target of each assignment must be a bare column in SQLite.
    depth = 0;
    bool itemStart = true;
    for (int i = 0; i < static_cast<int>(assigns.size()); ++i) {
        if (assigns[i].kind == Tok::Space)
            continue;
        if (IsPunct(assigns[i], '('))
            ++depth;
        else if (IsPunct(assigns[i], ')'))
            --depth;
        if (itemStart) {
            itemStart = false;
            const int dot = NextSig(assigns, i);
            const int col = dot >= 0 ? NextSig(assigns, dot) : -1;
            if (col >= 0 && IsPunct(assigns[dot], '.') &&
                (assigns[i].kind == Tok::Word || assigns[i].kind == Tok::Bracket)) {
                assigns.erase(assigns.begin() + i, assigns.begin() + col);
                continue;
            }
        }
        if (depth == 0 && IsPunct(assigns[i], ','))
            itemStart = true;
    }
    QString out = Join(t, first, first + 1) + u' ' + JoinTrimmed(t, first + 1, inner) + QStringLiteral(" SET ") +
                  JoinTrimmed(assigns, 0, static_cast<int>(assigns.size())) + QStringLiteral(" FROM ") +
                  JoinTrimmed(t, join + 1, on) + QStringLiteral(" WHERE (") + JoinTrimmed(t, on + 1, set) + u')';
    if (where >= 0)
        out += QStringLiteral(" AND (") + JoinTrimmed(t, where + 1, end) + u')';
    t.assign(1, Token{Tok::Word, out});
    return true;
}

// The shape of a SELECT that the record set cares about: SELECT * FROM <one table> (updatable), or
// MIN/MAX items over one table.
void AnalyseSelect(const std::vector<Token> &t, JetTranslation &out)
{
    const int first = NextSig(t, -1);
    if (first < 0 || !IsWord(t[first], "SELECT"))
        return;
    int depth = 0;
    int from = -1;
    int item = 0;
    int starIndex = -1;
    int itemStart = NextSig(t, first);
    bool hasStar = false;
    std::vector<std::pair<int, QString>> minMax;
    auto closeItem = [&](int endIndex) {
        // tokens itemStart..endIndex-1 form one item of the list
        std::vector<int> sig;
        for (int k = itemStart; k >= 0 && k < endIndex; ++k)
            if (t[k].kind != Tok::Space)
                sig.push_back(k);
        if (!sig.empty() && IsPunct(t[sig.back()], '*')) {
            hasStar = true;
            if (sig.size() == 1)
                starIndex = sig[0];
        }
        if (sig.size() >= 4 && (IsWord(t[sig[0]], "MIN") || IsWord(t[sig[0]], "MAX")) && IsPunct(t[sig[1]], '(') &&
            t[sig[2]].kind == Tok::Word && IsPunct(t[sig[3]], ')'))
            minMax.push_back({item, t[sig[2]].text});
        ++item;
    };
    for (int i = itemStart; i >= 0 && i < static_cast<int>(t.size()); ++i) {
        if (IsPunct(t[i], '('))
            ++depth;
        else if (IsPunct(t[i], ')'))
            --depth;
        if (depth != 0)
            continue;
        if (IsPunct(t[i], ',')) {
            closeItem(i);
            itemStart = i + 1;
        } else if (IsWord(t[i], "FROM")) {
            closeItem(i);
            from = i;
            break;
        }
    }
    if (from < 0)
        return;
    const int table = NextSig(t, from);
    if (table < 0 || (t[table].kind != Tok::Word && t[table].kind != Tok::Bracket))
        return;
    const int after = NextSig(t, table);
    const bool plainTail = after < 0 || IsWord(t[after], "WHERE") || IsWord(t[after], "ORDER") ||
                           IsWord(t[after], "LIMIT") || IsPunct(t[after], ';');
    if (!hasStar) {
        out.fromTable = t[table].text;
        out.minMaxColumns = std::move(minMax);
    }
    if (item == 1 && starIndex >= 0 && plainTail) {
        bool simple = true;
        for (int i = table + 1; i < static_cast<int>(t.size()); ++i)
            if (IsWord(t[i], "GROUP") || IsWord(t[i], "UNION") || IsWord(t[i], "JOIN"))
                simple = false;
        if (simple) {
            out.baseTable = t[table].text;
            out.sqlWithRowid = Join(t, 0, starIndex) + QStringLiteral("_rowid_,") +
                               Join(t, starIndex, static_cast<int>(t.size()));
        }
    }
}

}  // namespace

JetTranslation TranslateJet(const QString &jetSql)
{
    JetTranslation out;
    std::vector<Token> t;
    t.reserve(64);
    if (!Tokenize(jetSql, t, out.error))
        return out;

    // One statement only: a trailing ";" is allowed, anything after it is refused.
    for (int i = 0; i < static_cast<int>(t.size()); ++i) {
        if (!IsPunct(t[i], ';'))
            continue;
        if (NextSig(t, i) >= 0) {
            out.error = QStringLiteral("refused: more than one statement in one SQL text");
            return out;
        }
        t.erase(t.begin() + i, t.end());
        break;
    }

    for (int i = 0; i < static_cast<int>(t.size()); ++i) {
        if (t[i].kind != Tok::Word)
            continue;
        const int prev = PrevSig(t, i);
        if (prev >= 0 && IsPunct(t[prev], '.'))
            continue;
        const int next = NextSig(t, i);
        if (IsWord(t[i], "TRUE")) {
            t[i] = {Tok::Number, QStringLiteral("-1")};
        } else if (IsWord(t[i], "FALSE")) {
            t[i] = {Tok::Number, QStringLiteral("0")};
        } else if (IsWord(t[i], "now") && (next < 0 || !IsPunct(t[next], '('))) {
            t[i].text += QStringLiteral("()");
        } else if (IsWord(t[i], "DELETE") && next >= 0 && IsPunct(t[next], '*')) {
            const int from = NextSig(t, next);
            if (from >= 0 && IsWord(t[from], "FROM"))
                EraseWithTrailingSpace(t, next, next);
        }
    }

    const int first = NextSig(t, -1);
    if (first >= 0 && (IsWord(t[first], "CREATE") || IsWord(t[first], "ALTER")))
        RewriteDdlTypes(t);
    RewriteTop(t);
    if (first >= 0 && IsWord(t[first], "UPDATE"))
        RewriteJoinedUpdate(t);
    AnalyseSelect(t, out);
    out.sql = Join(t, 0, static_cast<int>(t.size()));
    return out;
}

std::optional<QString> TranslateJetSql(const QString &jetSql, QString *why)
{
    JetTranslation tr = TranslateJet(jetSql);
    if (why)
        *why = tr.error;
    if (!tr.ok())
        return std::nullopt;
    return tr.sql;
}

QString SqlQuote(const QString &text)
{
    QString s = text;
    s.replace(u'\'', QStringLiteral("''"));
    return u'\'' + s + u'\'';
}

std::optional<QString> HistoryTableName(const QString &code)
{
    if (code.size() != 6)
        return std::nullopt;
    for (QChar c : code)
        if (!(c.unicode() < 128 && c.isLetterOrNumber()))
            return std::nullopt;
    return QStringLiteral("H_") + code;
}
