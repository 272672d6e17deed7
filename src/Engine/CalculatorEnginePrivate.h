#pragma once

// Internals shared by the engine's source files.

#include "Engine/CalculatorEngine.h"

#include <QRegularExpression>
#include <QRegularExpressionMatch>
#include <QRegularExpressionMatchIterator>
#include <QVarLengthArray>

#include <algorithm>
#include <optional>

// Stretches of one text that a copy of it replaced, in order: [from, to) of
// the text stands as [copyFrom, copyTo) in the copy. Elsewhere the copy holds
// the text unit by unit.
struct Replaced {
    qsizetype from;
    qsizetype to;
    qsizetype copyFrom;
    qsizetype copyTo;
};
Q_DECLARE_TYPEINFO(Replaced, Q_PRIMITIVE_TYPE);
using Replacements = QVarLengthArray<Replaced, 8>;

// The row as typed and the text read, both made from one text (its links
// shown one way and filled in the other): `size` units long, with the
// stretches each replaced (none where null).
struct CommonSource {
    qsizetype size = 0;
    const Replacements* typed = nullptr;
    const Replacements* read = nullptr;
};

// Up to this many stretches replaced, the row as typed and the text read are
// aligned whole: a handful of small tables.
constexpr qsizetype fewReplacedStretches = 8;

// Where a text the steps made from a row stands in the row as typed, so that
// a refusal quotes the row as typed from the place the step could not read.
// Made only once a row was refused: rows that read pay nothing. A step's
// text is matched to `text` unit by unit (what it kept of it), the rest
// standing for what lies between.
struct TypedOrigin {
    QStringView typed; // the row as typed
    QString text;      // the text the positions below are known for
    // For each unit of `text`, its place in `typed`; -1 where a step wrote
    // it. None kept while `text` is `typed` itself.
    QVarLengthArray<qsizetype, 64> at;
    bool same = false;
    qsizetype typedAt(qsizetype i) const { return same ? i : at[i]; }

    // `typed` as `read`, with links filled in where `typed` holds them. With
    // their common source, only the stretches either replaced are aligned.
    TypedOrigin(QStringView typed, const QString& read, const CommonSource* common = nullptr);
    // A stretch [from, to) of `parent`'s text, read on its own.
    TypedOrigin(const TypedOrigin& parent, qsizetype from, qsizetype to);
    // A step made `next` from `text`: the positions follow.
    void advance(const QString& next);
    // The stretch of the row as typed that [start, end) of `read` (a step's
    // input, or what it has written so far) stands for.
    std::pair<qsizetype, qsizetype> typedSpan(QStringView read, qsizetype start, qsizetype end) const;
};

// Where the first refusal of a run stands: the text the refusing step read
// and the stretch [at, end) of it that it could not read. The frame maps it
// back to the row as typed once the run has ended, so a refused row is read
// once.
struct RefusalPlace {
    bool known = false;
    QString read;
    qsizetype at = 0;
    qsizetype end = 0;
    // Kept while the run goes on: the conversions step's input once it has
    // read a stretch on its own (the later steps' texts come from it), and
    // that stretch [stretchFrom, stretchTo) while it is read.
    QString converted;
    qsizetype stretchFrom = -1;
    qsizetype stretchTo = -1;

    // Records the refusal, unless an earlier failure of the run stands.
    void record(const std::optional<CalculationError>& failure, QStringView text, qsizetype from, qsizetype to)
    {
        if (failure)
            return;
        known = true;
        read = text.toString();
        at = from;
        end = to;
    }
    // The refusal quoted from the row as typed (`typed`, read by the run as
    // `expression`, links filled in), with its place there.
    CalculationError quoted(const CalculationError& refusal, QStringView typed, const QString& expression,
                            const CommonSource* common = nullptr) const;
};

// One run of the rewrite pipeline: the settings it reads and the failure a
// step found that the text alone cannot carry.
struct CalculatorEngine::Pipeline {
    const EngineSettings& settings;
    // Why the row cannot be computed: the first refusal of a step, a value
    // that is no finite number, a missing exchange rate.
    std::optional<CalculationError> failure = std::nullopt;
    // A bracket group before a percentage holds a call or a constant; it is
    // worked out after the functions step.
    bool groupWaitsForCalls = false;
    // Where the first refusal stands, for its quote.
    RefusalPlace place = {};
    // The label of the row the text is the expression of: it stands before
    // the expression as words before a number do in one line.
    QStringView label = {};

    // The text cannot be read without guessing: the row fails rather than
    // show a number nobody typed.
    void refuse(RefusalCode reason, QStringView text, qsizetype at, qsizetype end);
};

// The characters a text holds, as far as the steps' triggers go: every
// ASCII character, and whether there is anything beyond ASCII. Steps that
// only remove characters leave it a superset; those that write add what
// they may write.
struct CalculatorEngine::Triggers {
    quint64 bits[2] = {0, 0};
    bool beyondAscii = false;

    explicit Triggers(QStringView text)
    {
        for (QChar c : text) {
            const char16_t u = c.unicode();
            if (u < 0x80)
                bits[u >> 6] |= quint64(1) << (u & 63);
            else
                beyondAscii = true;
        }
    }
    bool has(char c) const { return bits[uchar(c) >> 6] & (quint64(1) << (uchar(c) & 63)); }
    bool hasAnyOf(const char* characters) const
    {
        for (; *characters; ++characters) {
            if (has(*characters))
                return true;
        }
        return false;
    }
    bool hasLetter(char lower) const { return has(lower) || has(char(lower - 'a' + 'A')); }
    bool hasAnyLetter() const
    {
        constexpr quint64 letters = (quint64(0x3FFFFFF) << 1) | (quint64(0x3FFFFFF) << 33);
        return bits[1] & letters;
    }
    // ASCII characters a step may write, worked out when the program is
    // built: adding them costs two instructions, not a loop.
    struct Added {
        quint64 bits[2] = {0, 0};
    };
    static consteval Added characters(const char* characters)
    {
        Added added;
        for (; *characters; ++characters)
            added.bits[uchar(*characters) >> 6] |= quint64(1) << (uchar(*characters) & 63);
        return added;
    }
    void add(Added added)
    {
        bits[0] |= added.bits[0];
        bits[1] |= added.bits[1];
    }
    void addNumbers() { add(characters("0123456789.-")); }
};

// A step's output, built apart from the text it reads: on the stack for
// rows of ordinary length, on the heap past that. It grows as it is
// written, so no step can write past its end, and the text it reads stays
// as it was until the step hands its output back.
class TextBuilder {
public:
    void append(QChar c) { m_chars.append(c); }
    void append(QStringView text) { m_chars.append(text.data(), text.size()); }
    void append(QLatin1String text)
    {
        for (char c : text)
            m_chars.append(QLatin1Char(c));
    }
    qsizetype size() const { return m_chars.size(); }
    bool isEmpty() const { return m_chars.isEmpty(); }
    QChar back() const { return m_chars.back(); }
    void chop(qsizetype n) { m_chars.resize(m_chars.size() - n); }
    QStringView view() const { return QStringView(m_chars.constData(), m_chars.size()); }
    // Replaces `text` with what was built; `text` may be what was read.
    void handBack(QString& text) const
    {
        text.resize(m_chars.size());
        std::copy(m_chars.cbegin(), m_chars.cend(), text.data());
    }

private:
    QVarLengthArray<QChar, 256> m_chars;
};

namespace EngineRefusal {

// The one way a step refuses a row: the first refusal of a run wins, with
// why and the stretch [at, end) of the text it could not read; with an
// origin, quoted from the row as typed, with its place there; with a place,
// the stretch is kept there to be quoted when the run has ended.
void refuse(std::optional<CalculationError>& failure, RefusalCode reason, QStringView text, qsizetype at,
            qsizetype end, const TypedOrigin* origin = nullptr, RefusalPlace* place = nullptr);
// A value that is no finite number (an overflow, ln(0), sqrt(-1)).
void notFinite(std::optional<CalculationError>& failure);

} // namespace EngineRefusal

namespace EngineCurrency {

// A currency at `i` (a sign, a code or a currency's name standing as a
// word); its code and length. Empty when none stands there.
// A conversion's target (`target`) may be a lettered mark with no amount
// beside it (in kr).
QStringView currencyAt(QStringView text, qsizetype i, qsizetype* length, bool target = false);
// A currency ending right before `end`; its code and where it starts.
QStringView currencyBefore(QStringView text, qsizetype end, qsizetype* start);

} // namespace EngineCurrency

namespace EngineRegex {

// Every pattern reads \d and \s as Unicode classes.
inline QRegularExpression compile(const QString& pattern, bool caseInsensitive = false)
{
    QRegularExpression::PatternOptions options = QRegularExpression::UseUnicodePropertiesOption;
    if (caseInsensitive)
        options |= QRegularExpression::CaseInsensitiveOption;
    QRegularExpression regex(pattern, options);
    regex.optimize();
    return regex;
}

// All matches are found in the text first, then each is replaced by what
// `replacement` gives for it (none keeps the match as it is). Same outcome as
// replacing from the last match to the first.
template <typename Replacement>
QString replaceEachMatch(const QString& text, const QRegularExpression& regex, Replacement&& replacement)
{
    QRegularExpressionMatchIterator it = regex.globalMatch(text);
    if (!it.hasNext())
        return text;
    QString result;
    result.reserve(text.size());
    qsizetype copied = 0;
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        const std::optional<QString> replaced = replacement(match);
        if (!replaced)
            continue;
        result += QStringView(text).mid(copied, match.capturedStart() - copied);
        result += *replaced;
        copied = match.capturedEnd();
    }
    result += QStringView(text).mid(copied);
    return result;
}

} // namespace EngineRegex
