#include "table/MemTableFilter.h"

#include "base/RegionalSettings.h"
#include "base/ztFormat.h"

#include <cmath>

namespace {

enum class TTok { End, Ident, String, Number, LParen, RParen, Op };

struct TToken {
    TTok Kind = TTok::End;
    QString Text;
    int Pos = 0;
};

class TLexer {
public:
    explicit TLexer(const QString& text) : m_text(text) {}

    TToken Next() {
        while (m_pos < m_text.size() && m_text.at(m_pos).isSpace())
            ++m_pos;
        TToken t;
        t.Pos = m_pos;
        if (m_pos >= m_text.size())
            return t;
        const QChar c = m_text.at(m_pos);
        if (c == u'(' || c == u')') {
            t.Kind = c == u'(' ? TTok::LParen : TTok::RParen;
            ++m_pos;
            return t;
        }
        if (c == u'\'') {
            t.Kind = TTok::String;
            ++m_pos;
            for (;;) {
                if (m_pos >= m_text.size())
                    throw Error(QStringLiteral("unterminated text"), t.Pos);
                if (m_text.at(m_pos) == u'\'') {
                    if (m_pos + 1 < m_text.size() && m_text.at(m_pos + 1) == u'\'') {
                        t.Text += u'\'';
                        m_pos += 2;
                        continue;
                    }
                    ++m_pos;
                    return t;
                }
                t.Text += m_text.at(m_pos++);
            }
        }
        if (c == u'[') {
            const qsizetype end = m_text.indexOf(u']', m_pos);
            if (end < 0)
                throw Error(QStringLiteral("unterminated field name"), t.Pos);
            t.Kind = TTok::Ident;
            t.Text = m_text.mid(m_pos + 1, end - m_pos - 1);
            m_pos = int(end) + 1;
            return t;
        }
        if (c == u'=' || c == u'<' || c == u'>') {
            t.Kind = TTok::Op;
            t.Text = c;
            ++m_pos;
            if (m_pos < m_text.size() && (m_text.at(m_pos) == u'=' || m_text.at(m_pos) == u'>') &&
                c != u'=') {
                t.Text += m_text.at(m_pos++);
            }
            return t;
        }
        if (c.isDigit() || c == u'-' || c == u'.') {
            t.Kind = TTok::Number;
            t.Text += c;
            ++m_pos;
            while (m_pos < m_text.size() &&
                   (m_text.at(m_pos).isDigit() || m_text.at(m_pos) == u'.'))
                t.Text += m_text.at(m_pos++);
            return t;
        }
        if (c.isLetter() || c == u'_') {
            t.Kind = TTok::Ident;
            while (m_pos < m_text.size() &&
                   (m_text.at(m_pos).isLetterOrNumber() || m_text.at(m_pos) == u'_'))
                t.Text += m_text.at(m_pos++);
            return t;
        }
        throw Error(Format("unexpected character '%s'", {QString(c)}), t.Pos);
    }

    ETableError Error(const QString& what, int pos) const {
        return ETableError(
            Format("Invalid filter expression \"%s\": %s at position %d", {m_text, what, pos + 1}));
    }

private:
    const QString& m_text;
    int m_pos = 0;
};

bool IsWord(const TToken& t, const char* word) {
    return t.Kind == TTok::Ident && t.Text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

enum class TOp { Eq, Ne, Lt, Le, Gt, Ge, Like };
enum class TFunc { None, Upper, Lower };

QString TextOf(const QVariant& v) {
    switch (v.typeId()) {
    case QMetaType::Double:
        return QString::number(v.toDouble(), 'g', 15);
    case QMetaType::Bool:
        return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::QDate:
        return v.toDate().toString(QStringLiteral("MM/dd/yyyy"));
    case QMetaType::QDateTime:
        return v.toDateTime().toString(QStringLiteral("MM/dd/yyyy hh:mm:ss"));
    default:
        return v.toString();
    }
}

// A literal typed for comparison with a field of the given kind.
bool ConvertLiteral(const QString& text, TMemFieldKind kind, QVariant& out) {
    const QString t = text.trimmed();
    bool ok = false;
    switch (kind) {
    case fkInteger:
    case fkFloat: {
        const double d = t.toDouble(&ok);
        out = d;
        return ok && std::isfinite(d);
    }
    case fkCurrency: {
        // A number as filters write them, else as the grid shows the amount.
        Currency amount;
        const TRegionalSettings& regional = RegionalSettings();
        if (!Currency::TryParse(t, u'.', amount) &&
            !Currency::TryParse(QString(t).remove(regional.ThousandSeparator),
                                regional.DecimalSeparator, amount))
            return false;
        out = amount.Raw();
        return true;
    }
    case fkBoolean:
        if (t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 || t == QLatin1String("1"))
            out = true;
        else if (t.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0 ||
                 t == QLatin1String("0"))
            out = false;
        else
            return false;
        return true;
    case fkDate:
    case fkDateTime: {
        // A date as the grid shows it (the regional short date) first: that
        // is what the user types into a filter.
        try {
            const QDate date = StrToDate(t);
            out = kind == fkDate ? QVariant(date) : QVariant(date.startOfDay());
            return true;
        } catch (const EztException&) {
        }
        for (const char* format : {"MM/dd/yyyy hh:mm:ss", "MM/dd/yyyy", "yyyy-MM-dd hh:mm:ss",
                                   "yyyy-MM-dd", "M/d/yyyy"}) {
            const QDateTime dt = QDateTime::fromString(t, QLatin1String(format));
            if (dt.isValid()) {
                out = kind == fkDate ? QVariant(dt.date()) : QVariant(dt);
                return true;
            }
        }
        return false;
    }
    default:
        out = text;
        return true;
    }
}

} // namespace

struct TMemFilter::TNode {
    enum class TKind { And, Or, Not, Compare } Kind = TKind::Compare;
    std::vector<std::unique_ptr<TNode>> Children;
    // Compare: operands are a field (index >= 0) or a literal, maybe inside a function.
    TOp Op = TOp::Eq;
    int Field[2] = {-1, -1};
    QVariant Literal[2];
    TFunc Func[2] = {TFunc::None, TFunc::None};
    TMemFieldKind CompareKind = fkString;
};

namespace {

class TParser {
public:
    TParser(const QString& text, const TMemTable& table) : m_lexer(text), m_table(table) {
        Advance();
    }

    std::unique_ptr<TMemFilter::TNode> Parse() {
        auto node = ParseOr();
        if (m_token.Kind != TTok::End)
            throw m_lexer.Error(QStringLiteral("unexpected text"), m_token.Pos);
        return node;
    }

private:
    using TNodePtr = std::unique_ptr<TMemFilter::TNode>;
    using TKind = TMemFilter::TNode::TKind;

    void Advance() { m_token = m_lexer.Next(); }

    TNodePtr ParseOr() {
        TNodePtr left = ParseAnd();
        if (!IsWord(m_token, "or"))
            return left;
        auto node = std::make_unique<TMemFilter::TNode>();
        node->Kind = TKind::Or;
        node->Children.push_back(std::move(left));
        while (IsWord(m_token, "or")) {
            Advance();
            node->Children.push_back(ParseAnd());
        }
        return node;
    }

    TNodePtr ParseAnd() {
        TNodePtr left = ParseUnary();
        if (!IsWord(m_token, "and"))
            return left;
        auto node = std::make_unique<TMemFilter::TNode>();
        node->Kind = TKind::And;
        node->Children.push_back(std::move(left));
        while (IsWord(m_token, "and")) {
            Advance();
            node->Children.push_back(ParseUnary());
        }
        return node;
    }

    TNodePtr ParseUnary() {
        if (++m_depth > 64)
            throw m_lexer.Error(QStringLiteral("too deeply nested"), m_token.Pos);
        TNodePtr result;
        if (IsWord(m_token, "not")) {
            Advance();
            result = std::make_unique<TMemFilter::TNode>();
            result->Kind = TKind::Not;
            result->Children.push_back(ParseUnary());
        } else if (m_token.Kind == TTok::LParen) {
            Advance();
            result = ParseOr();
            Expect(TTok::RParen, "\")\" expected");
        } else {
            result = ParseComparison();
        }
        --m_depth;
        return result;
    }

    void Expect(TTok kind, const char* what) {
        if (m_token.Kind != kind)
            throw m_lexer.Error(QString::fromLatin1(what), m_token.Pos);
        Advance();
    }

    // Operand into slot i of the node; returns its kind.
    TMemFieldKind ParseOperand(TMemFilter::TNode& node, int i) {
        if ((IsWord(m_token, "upper") || IsWord(m_token, "lower")) && node.Func[i] == TFunc::None) {
            const TFunc func = IsWord(m_token, "upper") ? TFunc::Upper : TFunc::Lower;
            Advance();
            Expect(TTok::LParen, "\"(\" expected");
            ParseOperand(node, i);
            node.Func[i] = func;
            Expect(TTok::RParen, "\")\" expected");
            return fkString;
        }
        switch (m_token.Kind) {
        case TTok::String:
            node.Literal[i] = m_token.Text;
            Advance();
            return fkString;
        case TTok::Number: {
            bool ok = false;
            const double d = m_token.Text.toDouble(&ok);
            if (!ok)
                throw m_lexer.Error(QStringLiteral("bad number"), m_token.Pos);
            node.Literal[i] = d;
            Advance();
            return fkFloat;
        }
        case TTok::Ident: {
            const int field = m_table.FindField(m_token.Text);
            if (field < 0)
                throw ETableError(Format("Field '%s' not found", {m_token.Text}));
            node.Field[i] = field;
            Advance();
            return m_table.Field(field).Kind;
        }
        default:
            throw m_lexer.Error(QStringLiteral("value or field name expected"), m_token.Pos);
        }
    }

    TNodePtr ParseComparison() {
        auto node = std::make_unique<TMemFilter::TNode>();
        node->Kind = TKind::Compare;
        const TMemFieldKind left = ParseOperand(*node, 0);
        if (IsWord(m_token, "like")) {
            node->Op = TOp::Like;
        } else if (m_token.Kind == TTok::Op) {
            static const struct {
                const char* Text;
                TOp Op;
            } ops[] = {{"=", TOp::Eq},  {"<>", TOp::Ne}, {"<", TOp::Lt},
                       {"<=", TOp::Le}, {">", TOp::Gt},  {">=", TOp::Ge}};
            bool found = false;
            for (const auto& op : ops) {
                if (m_token.Text == QLatin1String(op.Text)) {
                    node->Op = op.Op;
                    found = true;
                }
            }
            if (!found)
                throw m_lexer.Error(QStringLiteral("unknown operator"), m_token.Pos);
        } else {
            throw m_lexer.Error(QStringLiteral("comparison expected"), m_token.Pos);
        }
        Advance();
        const TMemFieldKind right = ParseOperand(*node, 1);
        node->CompareKind = Unify(*node, left, right);
        return node;
    }

    // The kind both sides are compared as; a literal beside a typed field is
    // converted to the field's kind here, once.
    TMemFieldKind Unify(TMemFilter::TNode& node, TMemFieldKind left, TMemFieldKind right) {
        if (node.Op == TOp::Like)
            return fkString;
        auto isNumber = [](TMemFieldKind k) { return k == fkInteger || k == fkFloat; };
        if (isNumber(left) && isNumber(right))
            return fkFloat;
        if (left == right)
            return left;
        for (int i = 0; i < 2; ++i) {
            const int other = 1 - i;
            const TMemFieldKind kind = i == 0 ? left : right;
            if (node.Field[i] >= 0 && node.Func[i] == TFunc::None && node.Field[other] < 0 &&
                node.Func[other] == TFunc::None) {
                QVariant converted;
                const QString text = TextOf(node.Literal[other]);
                if (!ConvertLiteral(text, kind, converted))
                    throw ETableError(Format("'%s' is not a valid value for field '%s'",
                                             {text, m_table.Field(node.Field[i]).Name}));
                node.Literal[other] = converted;
                return isNumber(kind) ? fkFloat : kind;
            }
        }
        return fkString; // mixed kinds: compared as text
    }

    TLexer m_lexer;
    const TMemTable& m_table;
    TToken m_token;
    int m_depth = 0;
};

QVariant OperandValue(const TMemFilter::TNode& node, int i, const std::vector<QVariant>& record) {
    QVariant v = node.Field[i] >= 0 ? record[size_t(node.Field[i])] : node.Literal[i];
    if (!v.isValid() || node.Func[i] == TFunc::None)
        return v;
    return node.Func[i] == TFunc::Upper ? TextOf(v).toUpper() : TextOf(v).toLower();
}

int CompareValues(const QVariant& a, const QVariant& b, TMemFieldKind kind,
                  Qt::CaseSensitivity cs) {
    switch (kind) {
    case fkInteger:
    case fkFloat: {
        const double x = a.toDouble(), y = b.toDouble();
        return x < y ? -1 : x > y ? 1 : 0;
    }
    case fkCurrency: {
        const qint64 x = a.toLongLong(), y = b.toLongLong();
        return x < y ? -1 : x > y ? 1 : 0;
    }
    case fkBoolean:
        return int(a.toBool()) - int(b.toBool());
    case fkDate: {
        const QDate x = a.toDate(), y = b.toDate();
        return x < y ? -1 : x > y ? 1 : 0;
    }
    case fkDateTime: {
        // As shown: date and time as written, whatever zone they carry. The
        // service's values are marked UTC, typed ones local.
        const QDateTime x = a.toDateTime(), y = b.toDateTime();
        const QDate dx = x.date(), dy = y.date();
        if (dx != dy)
            return dx < dy ? -1 : 1;
        const QTime tx = x.time(), ty = y.time();
        return tx < ty ? -1 : tx > ty ? 1 : 0;
    }
    default:
        return QString::compare(TextOf(a), TextOf(b), cs);
    }
}

bool Evaluate(const TMemFilter::TNode& node, const std::vector<QVariant>& record,
              Qt::CaseSensitivity cs) {
    using TKind = TMemFilter::TNode::TKind;
    switch (node.Kind) {
    case TKind::And:
        for (const auto& child : node.Children) {
            if (!Evaluate(*child, record, cs))
                return false;
        }
        return true;
    case TKind::Or:
        for (const auto& child : node.Children) {
            if (Evaluate(*child, record, cs))
                return true;
        }
        return false;
    case TKind::Not:
        return !Evaluate(*node.Children.front(), record, cs);
    case TKind::Compare:
        break;
    }
    const QVariant a = OperandValue(node, 0, record);
    const QVariant b = OperandValue(node, 1, record);
    if (!a.isValid() || !b.isValid())
        return false; // null matches nothing
    if (node.Op == TOp::Like)
        return LikeMatch(TextOf(a), TextOf(b), cs);
    const int c = CompareValues(a, b, node.CompareKind, cs);
    switch (node.Op) {
    case TOp::Eq:
        return c == 0;
    case TOp::Ne:
        return c != 0;
    case TOp::Lt:
        return c < 0;
    case TOp::Le:
        return c <= 0;
    case TOp::Gt:
        return c > 0;
    case TOp::Ge:
        return c >= 0;
    case TOp::Like:
        break;
    }
    return false;
}

} // namespace

bool LikeMatch(QStringView text, QStringView pattern, Qt::CaseSensitivity cs) {
    // Greedy match with one backtrack point: linear in practice, never exponential.
    qsizetype t = 0, p = 0, starP = -1, starT = 0;
    auto same = [cs](QChar a, QChar b) {
        return cs == Qt::CaseSensitive ? a == b : a.toCaseFolded() == b.toCaseFolded();
    };
    while (t < text.size()) {
        if (p < pattern.size() && (pattern[p] == u'*' || pattern[p] == u'%')) {
            starP = p++;
            starT = t;
        } else if (p < pattern.size() && same(pattern[p], text[t])) {
            ++p;
            ++t;
        } else if (starP >= 0) {
            p = starP + 1;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && (pattern[p] == u'*' || pattern[p] == u'%'))
        ++p;
    return p == pattern.size();
}

TMemFilter::TMemFilter(const QString& expression, const TMemTable& table)
    : m_root(TParser(expression, table).Parse()) {}

TMemFilter::~TMemFilter() = default;

bool TMemFilter::Matches(const std::vector<QVariant>& record, bool caseInsensitive) const {
    return Evaluate(*m_root, record, caseInsensitive ? Qt::CaseInsensitive : Qt::CaseSensitive);
}
