#include "Engine/CalculatorEnginePrivate.h"
#include "Engine/EngineCatalogue.h"
#include "Engine/ExpressionText.h"
#include "Engine/EngineWords.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

using namespace ExpressionText;

namespace {

// For each unit of `to`, the unit of `from` it was copied from; -1 where a
// step wrote it. A longest common subsequence of the two, once the start and
// end they share are set aside: equal units pair as they come, and where the
// texts differ a table decides which unit is left out. A step changes small
// stretches of a row, so each table reaches only from where the texts part
// to where they run alike again, and the whole takes time in proportion to
// the row.
using Places = QVarLengthArray<qsizetype, 64>;

void alignment(QStringView from, QStringView to, Places& map)
{
    map.resize(to.size());
    std::fill(map.begin(), map.end(), qsizetype(-1));
    const qsizetype shorter = std::min(from.size(), to.size());
    qsizetype head = 0;
    for (; head < shorter && from[head] == to[head]; ++head)
        map[head] = head;
    qsizetype tail = 0;
    for (; tail < shorter - head && from[from.size() - 1 - tail] == to[to.size() - 1 - tail]; ++tail)
        map[to.size() - 1 - tail] = from.size() - 1 - tail;
    const qsizetype fromEnd = from.size() - tail;
    const qsizetype toEnd = to.size() - tail;
    const char16_t* const f = reinterpret_cast<const char16_t*>(from.data());
    const char16_t* const t = reinterpret_cast<const char16_t*>(to.data());
    // A table's pairs hold up to where the texts run alike again for this
    // many units more than they differed over (a repeated word further on
    // must not pass for the one here). Tables grow until then, but never past
    // a number of cells in proportion to the texts: a row of one word
    // repeated is then trusted as its tables stand.
    constexpr qsizetype alike = 8;
    qsizetype cellsLeft = 256 * (fromEnd + toEnd - 2 * head) + (qsizetype(1) << 16);
    QVarLengthArray<quint16, 512> common;
    qsizetype i = head;
    qsizetype j = head;
    // How many units from (a, b) on run alike, up to `alike`; as many when
    // both texts run alike to their ends.
    auto runAlike = [&](qsizetype a, qsizetype b) {
        qsizetype k = 0;
        while (k < alike && a + k < fromEnd && b + k < toEnd && f[a + k] == t[b + k])
            ++k;
        return k == alike || (a + k == fromEnd && b + k == toEnd) ? alike : k;
    };
    while (i < fromEnd && j < toEnd) {
        if (f[i] == t[j]) {
            map[j++] = i++;
            continue;
        }
        // Most often one unit was changed, left out or written, and the
        // texts run alike right after it: whether `from` or `to` leaves its
        // unit out then needs no table. A table leaves out `from`'s unit
        // unless that loses pairs, pairing `to`'s units as late as it can;
        // `to`'s unit is left out here only where keeping it plainly loses.
        const qsizetype leftOut = std::max(runAlike(i + 1, j), runAlike(i + 1, j + 1));
        const qsizetype written = runAlike(i, j + 1);
        if (leftOut >= 3 && leftOut > written) {
            ++i;
            continue;
        }
        if (written == alike && leftOut < 3) {
            ++j;
            continue;
        }
        qsizetype n = std::min<qsizetype>(2 * alike, fromEnd - i);
        qsizetype m = std::min<qsizetype>(2 * alike, toEnd - j);
        // What is left differs through and through (a link's name and the
        // value filled in for it): nothing pairs.
        if (n == fromEnd - i && m == toEnd - j
            && std::none_of(f + i, f + fromEnd, [&](char16_t c) { return std::find(t + j, t + toEnd, c) != t + toEnd; }))
            break;
        for (;;) {
            // Row a, column b: the longest common subsequence of
            // from[i + a, i + n) and to[j + b, j + m).
            const qsizetype stride = m + 1;
            common.resize((n + 1) * stride);
            cellsLeft -= (n + 1) * stride;
            quint16* const cells = common.data();
            std::fill(cells + n * stride, cells + (n + 1) * stride, quint16(0));
            for (qsizetype a = n - 1; a >= 0; --a) {
                quint16* const row = cells + a * stride;
                const quint16* const below = row + stride;
                const char16_t c = f[i + a];
                row[m] = 0;
                for (qsizetype b = m - 1; b >= 0; --b)
                    row[b] = c == t[j + b] ? quint16(below[b + 1] + 1) : std::max(below[b], row[b + 1]);
            }
            auto dropsFrom = [&](qsizetype a, qsizetype b) {
                return cells[(a + 1) * stride + b] >= cells[a * stride + b + 1];
            };
            // The way through the table, up to where the texts run alike
            // long enough: (syncA, syncB), where they last differed.
            qsizetype a = 0;
            qsizetype b = 0;
            qsizetype syncA = 0;
            qsizetype syncB = 0;
            bool holds = false;
            while (a < n && b < m && !holds) {
                if (f[i + a] == t[j + b]) {
                    ++a;
                    ++b;
                    holds = a - syncA >= alike + std::max(syncA, syncB);
                    continue;
                }
                if (dropsFrom(a, b))
                    ++a;
                else
                    ++b;
                syncA = a;
                syncB = b;
            }
            const bool whole = i + n == fromEnd && j + m == toEnd;
            if (!holds && !whole && (n + 1) * (m + 1) * 4 <= cellsLeft) {
                n = std::min(2 * n, fromEnd - i);
                m = std::min(2 * m, toEnd - j);
                continue;
            }
            if (whole) {
                syncA = n;
                syncB = m;
            }
            // Up to there the pairs hold; the units alike after it pair as
            // they come.
            for (a = 0, b = 0; a < syncA && b < syncB;) {
                if (f[i + a] == t[j + b]) {
                    map[j + b] = i + a;
                    ++a;
                    ++b;
                } else if (dropsFrom(a, b)) {
                    ++a;
                } else {
                    ++b;
                }
            }
            i += syncA;
            j += syncB;
            break;
        }
    }
}

// For each unit of `read`, its unit of `typed`, both made from one text: the
// units neither replaced pair as they stand, and each stretch that one or
// both replaced (overlapping stretches taken together) is aligned on its
// own, so that a row with many links costs in proportion to its length.
// False where the stretches do not fit the texts, or where they are few:
// the whole is aligned then, in a handful of small tables.
// Kept out of line and cold: it must not change how the steps are compiled.
[[gnu::cold, gnu::noinline]] bool alignFromCommonSource(QStringView typed, QStringView read,
                                                        const CommonSource& common, Places& map)
{
    static const Replacements none;
    const Replacements& a = common.typed ? *common.typed : none;
    const Replacements& b = common.read ? *common.read : none;
    if (std::max(a.size(), b.size()) < fewReplacedStretches)
        return false;
    // The stretches taken together: [from, to) of the source, at typedFrom
    // in `typed` and readFrom in `read`, and where they end there.
    struct Piece {
        qsizetype from, to, typedFrom, typedTo, readFrom, readTo;
    };
    QVarLengthArray<Piece, 8> pieces;
    qsizetype shiftA = 0; // where a unit of the source stands in `typed`, less its place in the source
    qsizetype shiftB = 0;
    qsizetype ia = 0;
    qsizetype ib = 0;
    while (ia < a.size() || ib < b.size()) {
        const qsizetype from =
            std::min(ia < a.size() ? a[ia].from : common.size, ib < b.size() ? b[ib].from : common.size);
        if (!pieces.isEmpty() && from < pieces.back().to)
            return false;
        Piece piece{from, from, from + shiftA, 0, from + shiftB, 0};
        for (bool more = true; more;) {
            more = false;
            for (; ia < a.size() && a[ia].from <= piece.to; ++ia, more = true) {
                if (a[ia].to < a[ia].from || a[ia].copyTo < a[ia].copyFrom || a[ia].copyFrom != a[ia].from + shiftA)
                    return false;
                piece.to = std::max(piece.to, a[ia].to);
                shiftA += (a[ia].copyTo - a[ia].copyFrom) - (a[ia].to - a[ia].from);
            }
            for (; ib < b.size() && b[ib].from <= piece.to; ++ib, more = true) {
                if (b[ib].to < b[ib].from || b[ib].copyTo < b[ib].copyFrom || b[ib].copyFrom != b[ib].from + shiftB)
                    return false;
                piece.to = std::max(piece.to, b[ib].to);
                shiftB += (b[ib].copyTo - b[ib].copyFrom) - (b[ib].to - b[ib].from);
            }
        }
        piece.typedTo = piece.to + shiftA;
        piece.readTo = piece.to + shiftB;
        if (piece.typedTo < piece.typedFrom || piece.readTo < piece.readFrom)
            return false;
        pieces.append(piece);
    }
    if (pieces.size() < fewReplacedStretches || pieces.back().to > common.size || common.size + shiftA != typed.size()
        || common.size + shiftB != read.size())
        return false;
    map.resize(read.size());
    Places step;
    qsizetype done = 0; // the source up to here is mapped
    shiftA = shiftB = 0;
    auto pairAlike = [&](qsizetype to) {
        for (qsizetype k = done; k < to; ++k)
            map[k + shiftB] = k + shiftA;
    };
    for (const Piece& piece : std::as_const(pieces)) {
        pairAlike(piece.from);
        alignment(typed.mid(piece.typedFrom, piece.typedTo - piece.typedFrom),
                  read.mid(piece.readFrom, piece.readTo - piece.readFrom), step);
        for (qsizetype k = 0; k < step.size(); ++k)
            map[piece.readFrom + k] = step[k] >= 0 ? piece.typedFrom + step[k] : -1;
        done = piece.to;
        shiftA = piece.typedTo - piece.to;
        shiftB = piece.readTo - piece.to;
    }
    pairAlike(common.size);
    return true;
}

} // namespace

TypedOrigin::TypedOrigin(QStringView typed, const QString& read, const CommonSource* common) : typed(typed), text(read)
{
    same = typed == QStringView(read);
    if (same)
        return;
    if (common && alignFromCommonSource(typed, read, *common, at))
        return;
    alignment(typed, read, at);
}

TypedOrigin::TypedOrigin(const TypedOrigin& parent, qsizetype from, qsizetype to)
    : typed(parent.typed), text(parent.text.mid(from, to - from))
{
    at.resize(text.size());
    for (qsizetype i = 0; i < text.size(); ++i)
        at[i] = parent.typedAt(from + i);
}

void TypedOrigin::advance(const QString& next)
{
    if (next == text)
        return;
    Places step;
    alignment(text, next, step);
    for (qsizetype& k : step) {
        if (k >= 0)
            k = typedAt(k);
    }
    // Copied, not moved: moving a QVarLengthArray over one that holds a heap
    // buffer leaks that buffer in the Qt this builds with.
    at.resize(step.size());
    std::copy(step.cbegin(), step.cend(), at.begin());
    same = false;
    text = next;
}

std::pair<qsizetype, qsizetype> TypedOrigin::typedSpan(QStringView read, qsizetype start, qsizetype end) const
{
    // Where each unit of `read` stands in the row as typed, looked up as
    // needed.
    Places step;
    const bool known = read == QStringView(text);
    if (!known)
        alignment(text, read, step);
    auto p = [&](qsizetype q) -> qsizetype {
        if (known)
            return typedAt(q);
        return step[q] >= 0 ? typedAt(step[q]) : -1;
    };
    const qsizetype size = read.size();
    start = std::clamp<qsizetype>(start, 0, size);
    end = std::clamp<qsizetype>(end, start, size);
    // Units a step wrote stand for what lies between the typed units
    // around them.
    qsizetype from = 0;
    if (start < size && p(start) >= 0) {
        from = p(start);
    } else {
        for (qsizetype q = start - 1; q >= 0; --q) {
            if (p(q) >= 0) {
                from = p(q) + 1;
                break;
            }
        }
    }
    qsizetype to = typed.size();
    if (end > 0 && end <= size && p(end - 1) >= 0) {
        to = p(end - 1) + 1;
    } else {
        for (qsizetype q = end; q < size; ++q) {
            if (p(q) >= 0) {
                to = p(q);
                break;
            }
        }
    }
    to = std::max(from, to);
    // Whole characters, no blanks at either end.
    if (from > 0 && from < typed.size() && typed[from].isLowSurrogate() && typed[from - 1].isHighSurrogate())
        --from;
    if (to > 0 && to < typed.size() && typed[to - 1].isHighSurrogate())
        ++to;
    while (from < to && isWhiteSpace(typed[from].unicode()))
        ++from;
    while (to > from && isWhiteSpace(typed[to - 1].unicode()))
        --to;
    return {from, to};
}

void EngineRefusal::refuse(std::optional<CalculationError>& failure, RefusalCode reason, QStringView text,
                           qsizetype at, qsizetype end, const TypedOrigin* origin, RefusalPlace* place)
{
    if (failure)
        return;
    if (place) {
        // Quoted once the run has ended, from the row as typed.
        place->record(failure, text, at, end);
        failure = CalculationError::invalidExpression(reason);
        return;
    }
    // A hover line, not a copy of a megabyte row.
    constexpr qsizetype most = 40;
    if (origin) {
        auto [from, to] = origin->typedSpan(text, at, end);
        if (from >= to) {
            // Nothing typed stands there: the whole row.
            from = skipWhiteSpace(origin->typed, 0);
            to = skipWhiteSpaceBack(origin->typed, origin->typed.size(), from);
        }
        QString shown = origin->typed.mid(from, std::min(to - from, most)).toString();
        if (to - from > most)
            shown += QChar(0x2026);
        failure = CalculationError::invalidExpression(reason, shown, from, to);
        return;
    }
    at = std::clamp<qsizetype>(at, 0, text.size());
    end = std::clamp<qsizetype>(end, at, text.size());
    QString shown = text.mid(at, std::min(end - at, most)).trimmed().toString();
    if (end - at > most)
        shown += QChar(0x2026);
    failure = CalculationError::invalidExpression(reason, shown);
}

void EngineRefusal::notFinite(std::optional<CalculationError>& failure)
{
    if (!failure)
        failure = CalculationError::invalidResult();
}

void CalculatorEngine::Pipeline::refuse(RefusalCode reason, QStringView text, qsizetype at, qsizetype end)
{
    EngineRefusal::refuse(failure, reason, text, at, end, nullptr, &place);
}

CalculationError RefusalPlace::quoted(const CalculationError& refusal, QStringView typed, const QString& expression,
                                      const CommonSource* common) const
{
    // The texts the run went through, as it went: the row, the conversions
    // step's input, the stretch a conversion read on its own.
    TypedOrigin origin(typed, expression, common);
    if (!converted.isNull())
        origin.advance(converted);
    std::optional<CalculationError> failure;
    if (stretchFrom >= 0) {
        const TypedOrigin stretch(origin, stretchFrom, stretchTo);
        EngineRefusal::refuse(failure, refusal.refusal(), read, at, end, &stretch);
    } else {
        EngineRefusal::refuse(failure, refusal.refusal(), read, at, end, &origin);
    }
    return *failure;
}

QString CalculatorEngine::sanitize(const QString& expression)
{
    const EngineSettings settings = m_settingsProvider();
    Pipeline pipeline{settings};
    QString text = expression;
    sanitize(text, pipeline);
    return text;
}

namespace {

using EngineWords::isApostrophe;

bool isApostrophe(QChar c)
{
    return EngineWords::isApostrophe(c.unicode());
}

// An amount ends right before `end`, blanks aside: a number, a bracket, a
// percentage, or a currency or unit that follows a number (12,50€ x3,
// 2 kg – 1).
bool amountEndsBefore(QStringView text, qsizetype end)
{
    end = skipWhiteSpaceBack(text, end);
    if (end <= 0)
        return false;
    const char32_t c = codePointBefore(text, end);
    if (isNumberChar(c) || c == ')' || c == '%')
        return true;
    auto numberBefore = [&text](qsizetype at) {
        at = skipWhiteSpaceBack(text, at);
        return at > 0 && isNumberChar(codePointBefore(text, at));
    };
    qsizetype start = 0;
    if (!EngineCurrency::currencyBefore(text, end, &start).isEmpty())
        return numberBefore(start);
    // The unit by its letters, with its power sign (5 m², 2x5kg).
    const qsizetype lettersEnd = EngineCatalogue::isUnitPower(c) ? end - 1 : end;
    const qsizetype wordStart = lettersEnd - EngineWords::lettersEndingAt(text, lettersEnd).size();
    return wordStart < lettersEnd && EngineCatalogue::unitOf(text.mid(wordStart, end - wordStart)) && numberBefore(wordStart);
}

// Where one of the enabled tax labels, as a whole, ending at `end` starts
// (MwSt reduziert.5), else -1.
qsizetype taxLabelEndingAt(QStringView text, qsizetype end, const QList<CalcSettings::TaxRate>& rates)
{
    for (const CalcSettings::TaxRate& rate : rates) {
        const QString label = rate.label.trimmed();
        const qsizetype at = end - label.size();
        if (!label.isEmpty() && at >= 0 && text.mid(at, label.size()).compare(label, Qt::CaseInsensitive) == 0
            && (at == 0 || !isWordChar(codePointBefore(text, at))))
            return at;
    }
    return -1;
}

// An enabled tax label, or a constant, ends right before `end`, blanks
// aside: a value the later steps write (MwSt – 5, pi – 1).
bool valueNameEndsBefore(QStringView text, qsizetype end, const QList<CalcSettings::TaxRate>& rates)
{
    end = skipWhiteSpaceBack(text, end);
    // A constant by its letters: a minus before it subtracts (2-pi).
    if (const QStringView letters = EngineWords::lettersEndingAt(text, end); !letters.isEmpty() && EngineCatalogue::isConstantName(letters))
        return true;
    return taxLabelEndingAt(text, end, rates) >= 0;
}

// An operator, an opening bracket or a call's comma stands before `end`,
// blanks and words aside (2 * –4, 2 * Rabatt – 4, (–5), 6 : –7, pow(2,
// –3)): a dash there is the sign of the operand, as a hyphen would be.
// `afterLabel` tells whether only label words stand between `end` and the
// row's start or an amount (– 5, Rabatt – 5, 100 Rabatt – 5). `label`
// stands before the text.
bool signAfterOperator(QStringView text, qsizetype end, bool* afterLabel, QStringView label)
{
    qsizetype at = skipWhiteSpaceBack(text, end);
    *afterLabel = at == 0;
    bool words = false;
    while (at > 0) {
        const char32_t c = codePointBefore(text, at);
        // A dash left between two words is the label's (Flug – Hotel –
        // Auto): the label goes on before it.
        if (EngineCatalogue::isDash(c) && EngineWords::isLabelDash(text, at - 1, label)) {
            words = true;
            at = skipWhiteSpaceBack(text, at - 1);
            *afterLabel = at == 0;
            continue;
        }
        const EngineCatalogue::OperatorSign* sign = EngineCatalogue::operatorSignOf(c);
        if ((c == '(' || (sign && (sign->place == EngineCatalogue::SignPlace::always || sign->place == EngineCatalogue::SignPlace::notInWord)))
            && !(c == '-' && EngineWords::isHangingHyphen(text, at - 1)))
            return true;
        // A colon after no word divides (6 : –7, 6:–7).
        if (c == ':' && !isWordChar(codePointBefore(text, at - 1)))
            return true;
        // A comma inside brackets parts a call's arguments (pow(2, –3)).
        if (c == ',') {
            qsizetype depth = 0;
            for (qsizetype k = at - 1; k > 0 && depth >= 0; --k)
                depth += text[k - 1] == QLatin1Char(')') ? 1 : text[k - 1] == QLatin1Char('(') ? -1 : 0;
            if (depth < 0)
                return true;
        }
        // The word before, its closing mark with it (Achtung!, Lukas'); a
        // colon after it is the label's (Summe: –5).
        const qsizetype wordEnd = c == ':' ? at - 1 : at;
        const EngineWords::Span word = EngineWords::wordEndingAt(text, wordEnd);
        if (word.isEmpty()) {
            *afterLabel = words && amountEndsBefore(text, at);
            return false;
        }
        at = word.start;
        // A lone x after an operand is times (4 x Rabatt – 2).
        if ((word.in(text) == u"x" || word.in(text) == u"X") && amountEndsBefore(text, at))
            return true;
        words = true;
        at = skipWhiteSpaceBack(text, at);
        *afterLabel = at == 0;
    }
    return false;
}

// A digit touches a letter (3D, A4, 5kg) or a date's mark follows one
// (15/04, 2024-04, 12.03.): only then can glued words or dates be there.
// Anything beyond ASCII is left to the full scan.
bool digitTouchesWordOrDateMark(QStringView text, const CalculatorEngine::Triggers& triggers)
{
    const qsizetype size = text.size();
    if (!triggers.beyondAscii && !triggers.hasAnyLetter() && !triggers.has('.')) {
        // Only a date's dash or slash can follow a digit.
        for (qsizetype i = 1; i < size; ++i) {
            const char16_t u = text[i].unicode();
            if ((u == '-' || u == '/') && text[i - 1].unicode() >= '0' && text[i - 1].unicode() <= '9')
                return true;
        }
        return false;
    }
    char16_t previous = 0;
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t u = text[i].unicode();
        if (u >= 0x80)
            return true;
        if (u >= '0' && u <= '9') {
            const char16_t next = i + 1 < size ? text[i + 1].unicode() : 0;
            if (isAsciiLetter(previous) || next >= 0x80 || isAsciiLetter(next) || next == '-' || next == '/' || next == '.')
                return true;
            // A mark glued between a word and digits (Nr.5).
            if ((previous == '.' || previous == ',') && i >= 2 && isAsciiLetter(text[i - 2].unicode()))
                return true;
        }
        previous = u;
    }
    return false;
}

bool mayHoldTaxLabel(const CalculatorEngine::Triggers& triggers, const QList<CalcSettings::TaxRate>& rates)
{
    if (triggers.beyondAscii)
        return true;
    for (const CalcSettings::TaxRate& rate : rates) {
        if (rate.label.isEmpty())
            continue;
        // Folded, as the label is matched: the Kelvin sign starts like "k".
        const char32_t first = QChar::toCaseFolded(codePointAt(rate.label, 0));
        if (first >= 0x80)
            continue; // an ASCII text cannot start it
        if (isAsciiLetter(first) ? triggers.hasLetter(char(first)) : triggers.has(char(first)))
            return true;
    }
    return false;
}

// The text holds every character of some conversion keyword or arrow.
bool mayHoldConversion(const CalculatorEngine::Triggers& triggers)
{
    if (triggers.beyondAscii)
        return true;
    // Each entry as the ASCII characters it needs, letters in lower case;
    // the text's letters are folded to lower case to match.
    struct Needs {
        quint64 low = 0;
        quint64 high = 0;
    };
    static const QVarLengthArray<Needs, 16> entries = [] {
        QVarLengthArray<Needs, 16> all;
        auto add = [&all](QStringView entry) {
            Needs needs;
            for (QChar c : entry) {
                char16_t u = c.unicode();
                if (u >= 0x80)
                    return; // needs a character beyond ASCII: found above
                if (isAsciiLetter(u))
                    u |= 0x20;
                (u < 64 ? needs.low : needs.high) |= quint64(1) << (u & 63);
            }
            all.append(needs);
        };
        for (QLatin1String keyword : EngineCatalogue::conversionKeywords())
            add(QString(keyword));
        for (QStringView arrow : EngineCatalogue::conversionArrows())
            add(arrow);
        return all;
    }();
    constexpr quint64 upper = quint64(0x3FFFFFF) << 1; // A-Z within the high word
    const quint64 high = triggers.bits[1] | ((triggers.bits[1] & upper) << 32);
    for (const Needs& needs : entries) {
        if ((triggers.bits[0] & needs.low) == needs.low && (high & needs.high) == needs.high)
            return true;
    }
    return false;
}

} // namespace

// Every step hands the text on to the next; a step runs only when the text
// holds the characters it acts on. A step that finds the text cannot be read
// without guessing ends the run: the row fails.
void CalculatorEngine::sanitize(QString& text, Pipeline& pipeline)
{
    // A count ending the label (Tickets x2) may multiply the amount the
    // expression starts with or name the row.
    if (!pipeline.label.isEmpty() && endsInCount(pipeline.label)) {
        if (const qsizetype number = leadingNumberStart(text); number >= 0) {
            pipeline.refuse(RefusalCode::wordsBetweenNumbers, text, number, numberRunEnd(text, number));
            return;
        }
    }
    Triggers triggers(text);
    // Remarks go before numbers are read: a date in one is no number.
    if (triggers.has('"')) {
        removeQuotedText(text);
        triggers.add(Triggers::characters(" "));
    }
    if (triggers.beyondAscii || triggers.has(' ') || triggers.has('\'')) {
        normalizeWhitespace(text);
        joinDigitGroups(text, triggers.beyondAscii || triggers.has('\''),
                        pipeline.settings.decimalStyle == DecimalStyle::germanComma ? QLatin1Char('.') : QLatin1Char(','),
                        pipeline);
        if (pipeline.failure)
            return;
    }
    // Marks to read, or digits glued to a word or a date's mark: only then
    // has the number step anything to do.
    const bool gluedOrDates = (triggers.hasAnyLetter() || triggers.has('-') || triggers.has('/') || triggers.has('.')
                               || triggers.beyondAscii)
        && digitTouchesWordOrDateMark(text, triggers);
    if (triggers.has('.') || triggers.has(',') || gluedOrDates) {
        normalizeLocaleNumbers(text, pipeline, gluedOrDates);
        if (pipeline.failure)
            return;
        triggers.add(Triggers::characters("0. "));
    }
    if (mayHoldConversion(triggers)) {
        processCurrencyConversions(text, pipeline);
        if (pipeline.failure)
            return;
        triggers = Triggers(text);
    }
    sanitizeAfterConversions(text, pipeline, &triggers);
}

// The steps after the conversions; a conversion runs them on the stretch
// it converts.
void CalculatorEngine::sanitizeAfterConversions(QString& text, Pipeline& pipeline, const Triggers* known)
{
    Triggers triggers = known ? *known : Triggers(text);
    // A cent sign is read with the words ($3 + 75¢), letters or not.
    if (triggers.hasAnyLetter() || triggers.has('/') || (triggers.beyondAscii && text.contains(QChar(0x00A2)))) {
        // Words left as they were write nothing the later steps look for.
        if (readArithmeticWords(text, pipeline))
            triggers.add(Triggers::characters("+-*/% "));
        if (pipeline.failure)
            return;
    }
    if (triggers.beyondAscii || triggers.hasLetter('x') || triggers.has(':') || (triggers.has('-') && triggers.hasAnyLetter())) {
        normalizeOperatorSymbols(text, pipeline.settings.enabledTaxRates, pipeline.label, triggers);
        triggers.add(Triggers::characters("*/-"));
    }
    if (triggers.beyondAscii || triggers.hasAnyOf(EngineCatalogue::asciiSignSymbols()) || triggers.hasAnyLetter()) {
        removeCurrencyMarks(text, pipeline);
        if (pipeline.failure)
            return;
        // Marks gone, most texts are plain ASCII from here on.
        triggers = Triggers(text);
    }
    if (triggers.has(','))
        removeThousandsSeparators(text);
    if (mayHoldTaxLabel(triggers, pipeline.settings.enabledTaxRates)) {
        processTaxLabels(text, pipeline);
        triggers.addNumbers();
        triggers.add(Triggers::characters("*%"));
    }
    const bool percent = triggers.has('%');
    if (percent)
        processPercentages(text, pipeline, PercentPass::beforeCalls);
    if (pipeline.failure)
        return;
    if (triggers.has('(') || triggers.hasLetter('p') || triggers.hasLetter('e') || triggers.beyondAscii) {
        // A percentage after a function call, or after a group holding one,
        // applies to the call's value, which exists only once the functions
        // step has run.
        const bool replaced = processMathFunctions(text, pipeline);
        if (pipeline.failure)
            return;
        if (percent && (pipeline.groupWaitsForCalls || replaced))
            processPercentages(text, pipeline, PercentPass::afterCalls);
        if (pipeline.failure)
            return;
    }
    extractMathComponents(text, pipeline.failure, triggers.has('%'), &pipeline.place);
}

void CalculatorEngine::normalizeWhitespace(QString& text)
{
    // Wide and narrow spaces become plain blanks; runs of blanks collapse.
    // Tabs and line breaks stay.
    qsizetype first = -1;
    const QChar* read = text.constData(); // no detach check per character
    const qsizetype size = text.size();
    char16_t previous = 0;
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = read[i].unicode();
        const bool changes = c == ' ' ? previous == ' '
                                      : c >= 0xA0 && (c == 0x00A0 || (c >= 0x2007 && c <= 0x200A) || c == 0x202F
                                                      || c == 0x205F || c == 0x3000);
        if (changes) {
            first = i;
            break;
        }
        previous = c;
    }
    if (first < 0)
        return;
    // Output never outruns input: rewrite in place.
    QChar* data = text.data();
    qsizetype out = first;
    for (qsizetype i = first; i < text.size(); ++i) {
        QChar c = data[i];
        switch (c.unicode()) {
        case 0x00A0:
        case 0x2009:
        case 0x200A:
        case 0x202F:
        case 0x2007:
        case 0x2008:
        case 0x205F:
        case 0x3000:
            c = QLatin1Char(' ');
            break;
        default:
            break;
        }
        if (c == QLatin1Char(' ') && out > 0 && data[out - 1] == QLatin1Char(' '))
            continue;
        data[out++] = c;
    }
    text.truncate(out);
}

namespace {

// A word ends right before `start`: a letter that is not a lone "x" read
// as times (4x7 341).
bool wordEndsBefore(QStringView text, qsizetype start)
{
    if (start <= 0 || !isWordChar(codePointBefore(text, start)))
        return false;
    // A lone x is times when it stands apart from the number (Euro x 66
    // 106) or follows an operand (4x7 341); glued before digits with
    // nothing before it, it is a word's letter (X200).
    // By its letters: the digits before it are an operand's (4x7).
    const QStringView letters = EngineWords::lettersEndingAt(text, start);
    if (letters != u"x" && letters != u"X")
        return true;
    const bool apart = start < text.size() && isWhiteSpace(text[start].unicode());
    return !(apart || amountEndsBefore(text, start - 1) || valueNameEndsBefore(text, start - 1, {}));
}

} // namespace

namespace {
qsizetype dateEndAt(QStringView text, qsizetype i);

// The digits at [start, end) close a date (15/04/24 120): they are its
// year, no first group of a number.
bool endsDate(QStringView text, qsizetype start, qsizetype end)
{
    if (start < 2 || (text[start - 1] != QLatin1Char('/') && text[start - 1] != QLatin1Char('-')))
        return false;
    qsizetype at = start - 1;
    for (int part = 0; part < 2; ++part) {
        const qsizetype digitsEnd = at;
        while (at > 0 && isDecimalDigit(text[at - 1].unicode()))
            --at;
        if (at == digitsEnd)
            return false;
        if (part == 0) {
            if (at < 2 || text[at - 1] != text[start - 1])
                return false;
            --at;
        }
    }
    // As the date check reads it: a date starts no number or word.
    if (at > 0 && (isWordChar(codePointBefore(text, at)) || isNumberish(codePointBefore(text, at))))
        return false;
    return dateEndAt(text, at) == end;
}
// Where the word right before the number at `start` begins, when blanks
// after it cannot group the number (Windows 11 129, TV 1 299); else -1.
// After a currency, an operator, a bracket or at the start they group.
qsizetype groupingWordStart(QStringView view, qsizetype start)
{
    // The word with the digits glued to it (A4 1 000, iPhone15 1 299) and
    // its closing mark (Achtung! 3 329, Lukas' 1 000, Nr. 3 329).
    const qsizetype previous = skipWhiteSpaceBack(view, start);
    const EngineWords::Span word = EngineWords::wordEndingAt(view, previous);
    if (word.isEmpty())
        return -1;
    qsizetype letters = previous;
    while (letters > word.start && !isWordChar(codePointBefore(view, letters)))
        --letters;
    if (!wordEndsBefore(view, letters))
        return -1;
    return EngineCatalogue::isCurrencyWord(view.mid(word.start, letters - word.start)) ? -1 : word.start;
}

// The label ends in such a word: read with a blank after it, as the
// label and the expression read in one line.
bool labelEndsInWord(QStringView label)
{
    QString line;
    line.reserve(label.size() + 1);
    line.append(label);
    line.append(QLatin1Char(' '));
    return groupingWordStart(line, line.size()) >= 0;
}

} // namespace

void CalculatorEngine::joinDigitGroups(QString& text, bool apostrophes, QChar groupMark, Pipeline& pipeline)
{
    // A blank or an apostrophe groups thousands (1 000, 1'000) only after
    // a first group of one to three digits that does not start with 0 and
    // stands on its own (no letter, digit or mark glued before it), and
    // only before exactly three digits; every later group of the number
    // uses the same separator. The steps that read amounts then see the
    // whole number, as the final reading does. A number grouped with two
    // marks (1.000 000, 1 000.000) is left apart and fails as two numbers.
    qsizetype first = text.indexOf(QLatin1Char(' '));
    if (apostrophes) {
        for (QChar separator : {QChar(u'\''), QChar(0x2019)}) {
            const qsizetype at = text.indexOf(separator);
            if (at >= 0 && (first < 0 || at < first))
                first = at;
        }
    }
    if (first < 0)
        return;
    // Most rows hold no separator between two digits: one look settles it.
    bool between = false;
    const QStringView read(text);
    for (qsizetype i = std::max<qsizetype>(first, 1); i + 1 < read.size() && !between; ++i) {
        const QChar c = read[i];
        between = (c == QLatin1Char(' ') || (apostrophes && isApostrophe(c))) && isDecimalDigit(codePointBefore(read, i))
            && isDecimalDigit(codePointAt(read, i + 1));
    }
    if (!between)
        return;
    const QString source = text;
    const QStringView view(source);
    auto isSeparator = [apostrophes](QChar c) { return c == QLatin1Char(' ') || (apostrophes && isApostrophe(c)); };
    auto digitsFrom = [view](qsizetype i) {
        qsizetype count = 0;
        const qsizetype end = digitRunEnd(view, i, &count);
        return std::pair(count, end);
    };
    QString out;
    qsizetype copied = 0;
    qsizetype i = 0;
    while (i < view.size()) {
        qsizetype length = 1;
        if (!isDecimalDigit(codePointAt(view, i, &length))) {
            i += length;
            continue;
        }
        // A number's first group.
        const qsizetype start = i;
        const auto [leading, leadingEnd] = digitsFrom(i);
        i = leadingEnd;
        const char32_t glued = start > 0 ? codePointBefore(view, start) : 0;
        // Right after a slash a number may end a date or a ratio (Fällig
        // 15/3 240, Anteil 1/2 400): a blank parts it from the amount after.
        const bool afterRatio = glued == '/' && i < view.size() && view[i] == QLatin1Char(' ');
        const bool standsAlone = !(glued == '.' || glued == ',' || isNumberChar(glued) || wordEndsBefore(view, start)
                                   || afterRatio);
        if (leading > 3 || view[start] == QLatin1Char('0') || !standsAlone || i >= view.size()
            || !isSeparator(view[i]) || endsDate(view, start, i))
            continue;
        // The chain of groups after it, all with the one separator.
        const QChar separator = view[i];
        QVarLengthArray<qsizetype, 8> separators;
        qsizetype end = i;
        while (end < view.size() && view[end] == separator) {
            const auto [count, after] = digitsFrom(end + 1);
            if (count != 3)
                break;
            separators.append(end);
            end = after;
        }
        if (separators.isEmpty())
            continue;
        // Blanks after a word cannot tell a model or room number from a
        // price: the row is refused.
        if (!isApostrophe(separator)) {
            // A hyphen glued to a word before the group, or to a number
            // after a word (Bahncard-50 244, Nr. 2024-117 350), may join a
            // name: no price can be told.
            if (start >= 2 && EngineCatalogue::isMinusSign(glued)) {
                qsizetype from = start - 1;
                bool lettered = false;
                while (from > 0
                       && (view[from - 1].isLetterOrNumber() || view[from - 1] == QLatin1Char('.')
                           || view[from - 1] == QLatin1Char(','))) {
                    lettered = lettered || view[from - 1].isLetter();
                    --from;
                }
                const EngineWords::Span before = EngineWords::wordEndingAt(view, skipWhiteSpaceBack(view, from));
                const bool times = before.end - before.start == 1 && view[before.start].toLower() == QLatin1Char('x');
                if (from < start - 1 && (lettered || (!before.isEmpty() && !times))) {
                    pipeline.refuse(RefusalCode::ambiguousGrouping, view, from, end);
                    return;
                }
            }
            const qsizetype wordStart = groupingWordStart(view, start);
            if (wordStart >= 0) {
                pipeline.refuse(RefusalCode::ambiguousGrouping, view, wordStart, end);
                return;
            }
            // A row's label ends where its expression starts: a word there
            // makes the number as unclear as in one line (TV | 1 299).
            if (!pipeline.label.isEmpty() && skipWhiteSpaceBack(view, start) == 0 && labelEndsInWord(pipeline.label)) {
                pipeline.refuse(RefusalCode::ambiguousGrouping, view, start, end);
                return;
            }
        }
        // Followed by another group under another mark (1 000.000), or by
        // more digits glued on: not one number. A decimal part may follow
        // (1'250.50).
        const auto [more, moreEnd] = end < view.size() ? digitsFrom(end + 1) : std::pair<qsizetype, qsizetype>(0, 0);
        const bool otherGroup = end < view.size() && view[end] == groupMark && more == 3
            && (moreEnd >= view.size() || !isNumberish(view[moreEnd].unicode()));
        // Digits glued to letters after it are a word (1'777 3D-Druck).
        const bool moreIsWord = moreEnd < view.size() && isWordChar(codePointAt(view, moreEnd));
        if (otherGroup || (end < view.size() && (isSeparator(view[end]) || isApostrophe(view[end])) && more > 0 && !moreIsWord)) {
            i = end;
            continue;
        }
        for (const qsizetype at : separators) {
            out += view.mid(copied, at - copied);
            copied = at + 1;
        }
        i = end;
    }
    if (copied == 0)
        return;
    out += view.mid(copied);
    text = std::move(out);
}

namespace {

// A "." or "," with a digit after it that starts a number (.5 or ,5), in
// either style: not right after a word ("mwst.5" keeps its label's "."),
// except a lone "x" read as times (2 x,5), nor after a number, blanks
// aside ("1 ,5" is two numbers).
bool isLeadingMark(QStringView text, qsizetype i)
{
    if ((text[i] != QLatin1Char('.') && text[i] != QLatin1Char(',')) || i + 1 >= text.size()
        || !isDecimalDigit(codePointAt(text, i + 1)) || (i > 0 && isDecimalDigit(text[i - 1].unicode())))
        return false;
    if (i > 0) {
        const QChar c = text[i - 1];
        if (c == QLatin1Char('.') || c == QLatin1Char(','))
            return false;
        if (QChar::isLetter(codePointBefore(text, i))) {
            const bool loneX = (c == QLatin1Char('x') || c == QLatin1Char('X'))
                && (i < 2 || !isWordChar(codePointBefore(text, i - 1)));
            if (!loneX)
                return false;
        }
    }
    qsizetype before = i;
    while (before > 0 && text[before - 1] == QLatin1Char(' '))
        --before;
    return before == 0 || !isNumberChar(codePointBefore(text, before));
}

// The dash of a whole price (5,- or 5.-), as typed or as the editor writes it.
bool isPriceDash(QChar c)
{
    return EngineCatalogue::isMinusSign(c.unicode());
}

// The run reads as it stands: ASCII digits with at most one ".", which is
// no grouping mark there.
bool isPlainNumber(QStringView run, QChar groupMark)
{
    qsizetype mark = -1;
    for (qsizetype k = 0; k < run.size(); ++k) {
        const char16_t c = run[k].unicode();
        if (c >= '0' && c <= '9')
            continue;
        if (c != '.' || mark >= 0)
            return false;
        mark = k;
    }
    if (mark < 0 || groupMark != QLatin1Char('.'))
        return true;
    // "." groups after one to three leading digits not starting with 0 and
    // before exactly three.
    return !(mark >= 1 && mark <= 3 && run.front() != QLatin1Char('0') && run.size() - mark - 1 == 3);
}

// The run stands first in the brackets of pow: in the US style its comma
// separates the two arguments (pow(2,3)).
// "pow(" or "POW(" stands somewhere in the text.
bool holdsPowCall(QStringView text)
{
    for (qsizetype open = text.indexOf(QLatin1Char('(')); open >= 0; open = text.indexOf(QLatin1Char('('), open + 1)) {
        if (open >= 3) {
            const QStringView name = text.mid(open - 3, 3);
            if (name == u"pow" || name == u"POW")
                return true;
        }
    }
    return false;
}

bool startsPowArguments(QStringView written)
{
    qsizetype end = written.size();
    while (end > 0 && written[end - 1] == QLatin1Char(' '))
        --end;
    if (end < 4 || written[end - 1] != QLatin1Char('('))
        return false;
    const QStringView name = written.mid(end - 4, 3);
    return (name == u"pow" || name == u"POW") && (end == 4 || !isAsciiLetter(written[end - 5].unicode()));
}

} // namespace

namespace {

// Letters glued right after a number that leave it a number: a unit
// (5kg), a currency (100EUR, 5kr), a magnitude (45k, refused later), the
// times x (4x5), a constant's e (1e3), a keyword or a word of arithmetic.
bool keepsNumberBefore(QStringView word)
{
    if (word.size() == 1 && (word[0] == QLatin1Char('x') || word[0] == QLatin1Char('X') || word[0] == QLatin1Char('e')
                             || word[0] == QLatin1Char('E')))
        return true;
    return EngineCatalogue::unitOf(word) || EngineCatalogue::isCurrencyWord(word) || EngineCatalogue::magnitudeOf(word)
        || EngineCatalogue::isConversionKeyword(word) || EngineCatalogue::arithmeticWordOf(word)
        || EngineCatalogue::isConstantName(word) || EngineCatalogue::isFunctionName(word);
}

// One of the enabled tax labels starts at `i` (100MwSt, 2fach).
bool taxLabelAt(QStringView text, qsizetype i, const QList<CalcSettings::TaxRate>& rates)
{
    for (const CalcSettings::TaxRate& rate : rates) {
        const QString label = rate.label.trimmed();
        if (!label.isEmpty() && text.mid(i).startsWith(label, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

// What starts at `at` takes a sign: anything but a word, or a word that
// names a value, a tax or a currency (– 5, Rabatt – € 5, – pi, 5 Miete –
// MwSt). Before another word a dash joins two words of a label (Berlin –
// München 600). A word joined to another by a hyphen is a label word
// whatever its first part names (E-Bike, MwSt-frei); a constant is one
// where the functions step reads it.
bool signedOperandAt(QStringView text, qsizetype at, const QList<CalcSettings::TaxRate>& rates)
{
    // The name by its letters; what joins them is asked below.
    const QStringView word = EngineWords::lettersAt(text, at);
    const qsizetype end = at + word.size();
    if (end == at)
        return true;
    if (EngineCatalogue::isConstantName(word)) {
        // A dash between letters will be a hyphen (E–Bike).
        if (end + 1 < text.size() && EngineCatalogue::isDash(text[end].unicode()) && isWordChar(codePointAt(text, end + 1))) {
            QString joined = text.mid(at).toString();
            joined[end - at] = QLatin1Char('-');
            return CalculatorEngine::startsConstant(joined, 0);
        }
        return CalculatorEngine::startsConstant(text, at);
    }
    if (end + 1 < text.size() && EngineCatalogue::isMinusSign(text[end].unicode()) && isWordChar(codePointAt(text, end + 1)))
        return false;
    return EngineCatalogue::isCurrencyWord(word) || EngineCatalogue::isFunctionName(word) || taxLabelAt(text, at, rates);
}

// A date at `i` (2024-04-15, 15-04-2024, 15/04/2024, 12.03.2024): where
// it ends, else -1. 10:4 and 1/2 are no dates.
qsizetype dateEndAt(QStringView text, qsizetype i)
{
    qsizetype counts[3] = {0, 0, 0};
    QChar separator;
    qsizetype at = i;
    for (int part = 0; part < 3; ++part) {
        at = digitRunEnd(text, at, &counts[part]);
        if (counts[part] == 0)
            return -1;
        if (part == 2)
            break;
        if (at >= text.size())
            return -1;
        const QChar c = text[at];
        if (part == 0 && c != QLatin1Char('-') && c != QLatin1Char('/') && c != QLatin1Char('.'))
            return -1;
        if (part == 1 && c != separator)
            return -1;
        separator = c;
        ++at;
    }
    if (at < text.size() && (isDecimalDigit(codePointAt(text, at)) || ((text[at] == QLatin1Char('.') || text[at] == QLatin1Char(','))
                                                                       && at + 1 < text.size() && isDecimalDigit(text[at + 1].unicode()))))
        return -1;
    const bool yearFirst = counts[0] == 4 && counts[1] <= 2 && counts[2] <= 2 && separator == QLatin1Char('-');
    const bool yearLast = counts[0] <= 2 && counts[1] <= 2 && (counts[2] == 4 || counts[2] == 2);
    if (!yearFirst && !yearLast)
        return -1;
    // A day and a month, in either order (15/04/24, 4/15/24); 83-7-13
    // subtracts.
    auto valueOf = [&text](qsizetype from, qsizetype digits) {
        int value = 0;
        for (qsizetype k = from; k < from + digits; ++k)
            value = value * 10 + std::max(0, text[k].digitValue());
        return value;
    };
    const qsizetype secondAt = i + counts[0] + 1;
    const int a = yearFirst ? valueOf(secondAt, counts[1]) : valueOf(i, counts[0]);
    const int b = yearFirst ? valueOf(secondAt + counts[1] + 1, counts[2]) : valueOf(secondAt, counts[1]);
    const bool dayMonth = a >= 1 && b >= 1 && ((a <= 31 && b <= 12) || (a <= 12 && b <= 31));
    return dayMonth ? at : -1;
}

} // namespace

void CalculatorEngine::normalizeLocaleNumbers(QString& text, Pipeline& pipeline, bool gluedOrDates)
{
    // Digits glued to letters are part of a word (3D, 4G, X200, A4), and
    // a date is no number: the words' digits become letters, a date fails
    // the row. Letters stand in for the digits one for one.
    for (qsizetype i = 0; gluedOrDates && i < text.size();) {
        qsizetype length = 1;
        const char16_t unit = text[i].unicode();
        if (unit < 0x80 ? unit < '0' || unit > '9' : !isDecimalDigit(codePointAt(text, i, &length))) {
            i += length;
            continue;
        }
        const qsizetype start = i;
        const qsizetype end = numberRunEnd(text, i);
        i = end;
        const char32_t before = start > 0 ? codePointBefore(text, start) : 0;
        const qsizetype firstGroup = digitRunEnd(text, start);
        const QChar afterFirst = firstGroup < text.size() ? text[firstGroup] : QChar();
        const bool dateMark = afterFirst == QLatin1Char('-') || afterFirst == QLatin1Char('/') || afterFirst == QLatin1Char('.');
        if (dateMark && (!before || (!isWordChar(before) && !isNumberish(before)))) {
            const qsizetype dateEnd = dateEndAt(text, start);
            if (dateEnd >= 0) {
                pipeline.refuse(RefusalCode::date, text, start, dateEnd);
                return;
            }
        }
        // A mark between a word and digits keeps them in the word (Nr.5),
        // as the label is read at the end.
        const bool markAfterWord = (before == '.' || before == ',') && start >= 2
            && isWordChar(codePointBefore(text, start - 1));
        const qsizetype wordEnd = markAfterWord ? start - 1 : start;
        bool glued = false;
        if (wordEnd < start || (before && isWordChar(before))) {
            // The letters the digits are glued to, read by themselves: a lone
            // x, a code or a name may be there (45 x5, EUR5, sin30).
            const QStringView word = EngineWords::lettersEndingAt(text, wordEnd);
            const qsizetype wordStart = wordEnd - word.size();
            // A lone x after an amount is times, blanks or a currency
            // between them or not (45 x5, 12,50€x3).
            const bool timesX = word.size() == 1 && (word[0] == QLatin1Char('x') || word[0] == QLatin1Char('X'))
                && (amountEndsBefore(text, wordStart) || valueNameEndsBefore(text, wordStart, pipeline.settings.enabledTaxRates));
            bool code = false;
            for (const EngineCatalogue::CurrencySpelling& entry : EngineCatalogue::currencyWords())
                code = code || (entry.kind == EngineCatalogue::SpellingKind::code && entry.text == word);
            // A constant between digits (1e5) is refused as touching them;
            // before digits alone it is a word (E10).
            const bool constantAfterDigit = EngineCatalogue::isConstantName(word) && wordStart > 0
                && isDecimalDigit(codePointBefore(text, wordStart));
            glued = !timesX && !code && !constantAfterDigit && !EngineCatalogue::isFunctionName(word)
                && !taxLabelAt(text, start, pipeline.settings.enabledTaxRates);
            // A tax by name, a mark and digits (MwSt.5) are a percentage and
            // a number with nothing between them, as with a blank there.
            const qsizetype labelStart = wordEnd < start ? taxLabelEndingAt(text, wordEnd, pipeline.settings.enabledTaxRates) : -1;
            if (wordEnd < start && (labelStart >= 0 || taxLabelAt(text, wordStart, pipeline.settings.enabledTaxRates))) {
                pipeline.refuse(RefusalCode::wordsBetweenNumbers, text, labelStart >= 0 ? labelStart : wordStart, end);
                return;
            }
            // A lone x glued to a count after a label, an amount after it
            // (Tickets x2 24,00): the count may multiply the amount or name
            // the row.
            if (glued && word == u"x" && (wordStart == 0 || !isWordChar(codePointBefore(text, wordStart)))) {
                qsizetype next = skipWhiteSpace(text, end);
                qsizetype signLength = 0;
                if (!EngineCatalogue::currencySignAt(text, next, &signLength).isEmpty())
                    next = skipWhiteSpace(text, next + signLength);
                if (next > end && next < text.size() && isDecimalDigit(codePointAt(text, next))) {
                    pipeline.refuse(RefusalCode::wordsBetweenNumbers, text, wordStart, numberRunEnd(text, next));
                    return;
                }
            }
            // Letters between digits are a typo in a number (1o0), not a word.
            if (glued && wordStart > 0 && isDecimalDigit(codePointBefore(text, wordStart))) {
                pipeline.refuse(RefusalCode::lettersInNumber, text, std::max<qsizetype>(0, wordStart - 8), end);
                return;
            }
        }
        qsizetype signLength = 0;
        if (!glued && end < text.size() && isWordChar(codePointAt(text, end))
            && EngineCatalogue::currencySignAt(text, end, &signLength).isEmpty()) {
            const QStringView letters = EngineWords::lettersAt(text, end);
            const qsizetype wordEnd = end + letters.size();
            glued = !keepsNumberBefore(letters) && !taxLabelAt(text, end, pipeline.settings.enabledTaxRates)
                && !taxLabelAt(text, start, pipeline.settings.enabledTaxRates);
            if (glued && wordEnd < text.size() && isDecimalDigit(codePointAt(text, wordEnd))) {
                pipeline.refuse(RefusalCode::lettersInNumber, text, start, wordEnd + 1);
                return;
            }
            // A clock time keeps its word (6:30pm, 14:30Uhr): still a time.
            if (glued && before == ':' && start >= 2 && isDecimalDigit(codePointBefore(text, start - 1))) {
                qsizetype timeStart = start - 1;
                while (timeStart > 0 && isDecimalDigit(codePointBefore(text, timeStart)))
                    --timeStart;
                pipeline.refuse(RefusalCode::clockTime, text, timeStart, wordEnd);
                return;
            }
            // A price with its cents run into a word (2,49Milch) is missing
            // its blank, no model name (4.5GHz): which it is cannot be told.
            const bool cents = end - start >= 4 && (text[end - 3] == QLatin1Char('.') || text[end - 3] == QLatin1Char(','));
            if (glued && cents) {
                pipeline.refuse(RefusalCode::lettersInNumber, text, start, wordEnd);
                return;
            }
        }
        // A number joined to a word by a hyphen is part of it
        // (2-Zimmer-Wohnung, 24-hour), as a digit glued to it is.
        if (!glued && end < text.size() && (text[end] == QLatin1Char('-') || text[end].unicode() >= 0x80)
            && EngineWords::joinsAt(text, end)
            && !taxLabelAt(text, end + 1, pipeline.settings.enabledTaxRates))
            glued = true;
        if (!glued)
            continue;
        QChar* data = text.data();
        for (qsizetype k = start; k < end; ++k) {
            if (data[k].isLowSurrogate())
                continue;
            data[k] = QLatin1Char('d');
        }
        // Drop the low halves of digits outside the BMP: each digit is one letter.
        if (end - start > 0) {
            QString cleaned;
            bool surrogates = false;
            for (qsizetype k = start; k < end; ++k)
                surrogates = surrogates || data[k].isLowSurrogate();
            if (surrogates) {
                cleaned = text.left(start);
                for (qsizetype k = start; k < end; ++k) {
                    if (!data[k].isLowSurrogate())
                        cleaned += data[k];
                }
                const qsizetype removed = (end - start) - (cleaned.size() - start);
                cleaned += QStringView(text).mid(end);
                text = std::move(cleaned);
                i = end - removed;
            }
        }
    }

    // Number runs: a digit, then digits, "." and ",", ending in a digit. A
    // leading mark reads as "0."; a price's ",-" or ".-" means whole units.
    // The text is built anew from what is read: nothing is written over
    // what is still to be read.
    const bool german = pipeline.settings.decimalStyle == DecimalStyle::germanComma;
    const QChar groupMark = german ? QLatin1Char('.') : QLatin1Char(',');
    bool marks = false;
    for (qsizetype i = 0; i < text.size() && !marks; ++i) {
        const QChar c = text[i];
        if (c != QLatin1Char('.') && c != QLatin1Char(','))
            continue;
        // Only a mark before a digit, or a price's dash, changes anything.
        marks = (i + 1 < text.size() && isDecimalDigit(codePointAt(text, i + 1)))
            || (i > 0 && i + 1 < text.size() && isPriceDash(text[i + 1]));
    }
    if (!marks)
        return;
    // Only "pow(" and "POW(" are calls (startsPowArguments), and only a comma
    // can part their arguments: most rows need no look for them.
    const bool powCommas = !german && text.contains(QLatin1Char(',')) && holdsPowCall(text);
    // What is read is written to `out` from the first number that reads
    // differently on; text before it is copied then. Rows whose numbers
    // are already plain are left as they are.
    const QStringView in(text);
    TextBuilder out;
    qsizetype copied = 0;
    bool building = powCommas; // pow's arguments look back at what was written
    auto catchUp = [&](qsizetype upTo) {
        building = true;
        out.append(in.mid(copied, upTo - copied));
        copied = upTo;
    };
    qsizetype i = 0;
    while (i < in.size()) {
        qsizetype length = 1;
        const char16_t unit = in[i].unicode();
        if (unit < 0x80 ? unit < '0' || unit > '9' : !isDecimalDigit(codePointAt(in, i, &length))) {
            if (isLeadingMark(in, i)) {
                // The number it starts is read whole: ".99" is 0.99.
                const qsizetype end = numberRunEnd(in, i + 1);
                catchUp(i);
                out.append(QLatin1Char('0'));
                if (!appendNumberRun(out, in.mid(i, end - i), groupMark))
                    pipeline.refuse(RefusalCode::twoDecimalMarks, in, i, end);
                i = copied = end;
                continue;
            }
            i += length;
            continue;
        }
        const qsizetype start = i;
        const qsizetype end = numberRunEnd(in, i);
        const QStringView run = in.mid(start, end - start);
        const qsizetype comma = german ? -1 : run.indexOf(QLatin1Char(','));
        bool readable = true;
        if (comma >= 0 && powCommas && (catchUp(start), startsPowArguments(out.view()))) {
            // One comma, two arguments; written apart so no later step
            // can take it for grouping.
            readable = run.indexOf(QLatin1Char(','), comma + 1) < 0 && appendNumberRun(out, run.left(comma), groupMark);
            out.append(QLatin1String(", "));
            const QStringView second = run.mid(comma + 1);
            if (!second.isEmpty() && !isDecimalDigit(second.front().unicode()))
                out.append(QLatin1Char('0'));
            readable = readable && appendNumberRun(out, second, groupMark);
            copied = end;
        } else if (!isPlainNumber(run, groupMark)) {
            catchUp(start);
            readable = appendNumberRun(out, run, groupMark);
            copied = end;
        }
        if (!readable)
            pipeline.refuse(RefusalCode::twoDecimalMarks, in, start, end);
        i = end;
        if (i + 1 < in.size() && (in[i] == QLatin1Char(',') || in[i] == QLatin1Char('.')) && isPriceDash(in[i + 1])
            && (i + 2 == in.size() || !isNumberish(codePointAt(in, i + 2)))) {
            catchUp(i);
            // Written with two dashes too (25,--).
            qsizetype stop = i + 2;
            if (stop < in.size() && isPriceDash(in[stop]) && (stop + 1 == in.size() || !isNumberish(codePointAt(in, stop + 1))))
                ++stop;
            i = copied = stop;
        }
    }
    if (!building)
        return;
    catchUp(in.size());
    out.handBack(text);
}

void CalculatorEngine::removeQuotedText(QString& text)
{
    // A quote, anything without a quote, and the closing quote vanish; a
    // quote without a partner stays. A remark between two numbers leaves a
    // blank, so they are not read as one.
    qsizetype open = text.indexOf(QLatin1Char('"'));
    if (open < 0 || text.indexOf(QLatin1Char('"'), open + 1) < 0)
        return;
    QChar* data = text.data();
    qsizetype out = open;
    qsizetype i = open;
    while (i < text.size()) {
        open = text.indexOf(QLatin1Char('"'), i);
        const qsizetype close = open < 0 ? -1 : text.indexOf(QLatin1Char('"'), open + 1);
        const qsizetype keepEnd = close < 0 ? text.size() : open;
        for (qsizetype k = i; k < keepEnd; ++k)
            data[out++] = data[k];
        if (close < 0)
            break;
        i = close + 1;
        if (out > 0 && i < text.size() && isNumberish(data[out - 1].unicode()) && isNumberish(data[i].unicode()))
            data[out++] = QLatin1Char(' ');
    }
    text.truncate(out);
}

namespace {

using EngineCatalogue::ArithmeticWord;
using EngineCatalogue::WordMeaning;

bool isCurrencySign(char32_t c)
{
    return EngineCatalogue::isSignSymbol(c) || QChar::category(c) == QChar::Symbol_Currency;
}

} // namespace

namespace {

// Where the number (and the blanks after it) that ends right before `i`
// starts; `i` when none does. A refusal quotes it with the word at `i`.
qsizetype numberBefore(QStringView text, qsizetype i)
{
    const qsizetype end = skipWhiteSpaceBack(text, i);
    // A unit's power is its word's, no number (2 m² Tausend).
    if (end > 1 && EngineCatalogue::isUnitPower(text[end - 1].unicode()) && !EngineWords::lettersEndingAt(text, end - 1).isEmpty())
        return i;
    qsizetype start = end;
    for (qsizetype n = 1; start > 0 && (isNumberish(codePointBefore(text, start, &n)) || text[start - 1] == QLatin1Char(')'));)
        start -= n;
    return start < end ? start : i;
}

// Where the word or number after `end` (blanks first) ends; `end` when
// none follows.
qsizetype wordAfter(QStringView text, qsizetype end)
{
    const qsizetype start = skipWhiteSpace(text, end);
    qsizetype stop = start;
    // An amount glued to its unit is quoted whole (5kg).
    for (EngineWords::Span next; (next = EngineWords::wordAt(text, stop)).kind == EngineWords::Kind::word
         || next.kind == EngineWords::Kind::number;)
        stop = next.end;
    return stop > start ? stop : end;
}

// The first number after `end`, words and blanks aside, is `factor` itself,
// as a number or a fraction (half 0.5, half 1/2, double recipe 2).
bool namesFactorAfter(QStringView in, qsizetype end, double factor)
{
    qsizetype at = skipWhiteSpace(in, end);
    for (EngineWords::Span word; (word = EngineWords::wordAt(in, at)).kind == EngineWords::Kind::word;)
        at = skipWhiteSpace(in, word.end);
    if (at >= in.size() || !isDecimalDigit(codePointAt(in, at)))
        return false;
    const qsizetype runEnd = numberRunEnd(in, at);
    std::optional<double> value = readDouble(in.mid(at, runEnd - at));
    if (value && runEnd + 1 < in.size() && in[runEnd] == QLatin1Char('/') && isDecimalDigit(codePointAt(in, runEnd + 1))) {
        const qsizetype denominatorEnd = numberRunEnd(in, runEnd + 1);
        const std::optional<double> denominator = readDouble(in.mid(runEnd + 1, denominatorEnd - runEnd - 1));
        value = denominator && *denominator != 0 ? std::optional(*value / *denominator) : std::nullopt;
    }
    return value && std::fabs(*value - factor) < 1e-9;
}

// A + or - at `k` that parts two terms: no hyphen inside a word or ending
// one (E-Bike, Heiz- und).
bool partsTerms(QStringView text, qsizetype k)
{
    const char16_t u = text[k].unicode();
    if (u == '+' || u == 0x2212)
        return true;
    if (u != '-' && u != 0x2013 && u != 0x2014)
        return false;
    return !EngineWords::joinsAt(text, k);
}

// An amount in a unit other than `unit` that a price per `unit` (the
// slash or word at [at, unitEnd)) is multiplied with in its term (200 g x
// 24,90 €/kg, 8 oz x $12/lb); its unit and stretch. None when every amount
// of the term with a unit is in `unit`.
struct AmountInUnit {
    const EngineCatalogue::Unit* unit = nullptr;
    qsizetype start = 0;
    qsizetype end = 0;
};

AmountInUnit amountInOtherUnit(QStringView text, qsizetype at, qsizetype unitEnd, const EngineCatalogue::Unit& unit)
{
    // The term reaches out of the brackets around the price ((24,90 €/kg)
    // x 200 g) and over those it multiplies; a + or - inside them parts
    // nothing.
    qsizetype start = at;
    for (int depth = 0; start > 0; --start) {
        const QChar c = text[start - 1];
        if (c == QLatin1Char(')'))
            ++depth;
        else if (c == QLatin1Char('('))
            depth = std::max(0, depth - 1);
        else if (depth == 0 && partsTerms(text, start - 1))
            break;
    }
    qsizetype stop = unitEnd;
    for (int depth = 0; stop < text.size(); ++stop) {
        const QChar c = text[stop];
        if (c == QLatin1Char('('))
            ++depth;
        else if (c == QLatin1Char(')'))
            depth = std::max(0, depth - 1);
        else if (depth == 0 && partsTerms(text, stop))
            break;
    }
    for (qsizetype k = start; k < stop;) {
        qsizetype length = 1;
        if (!isDecimalDigit(codePointAt(text, k, &length))) {
            k += length;
            continue;
        }
        const qsizetype numberStart = k;
        k = numberRunEnd(text, k);
        const qsizetype wordStart = skipWhiteSpace(text, k);
        const qsizetype wordEnd = EngineCatalogue::unitWordEnd(text, wordStart);
        if (wordEnd == wordStart || wordEnd > stop
            || (wordEnd < text.size() && (isWordChar(codePointAt(text, wordEnd)) || isNumberChar(codePointAt(text, wordEnd)))))
            continue;
        const EngineCatalogue::Unit* other = EngineCatalogue::unitOf(text.mid(wordStart, wordEnd - wordStart));
        if (other && other->symbol != unit.symbol)
            return {other, numberStart, wordEnd};
    }
    return {};
}

// A label word ends right before `end`, blanks aside, or a label's mark
// after one (Summe:, Achtung!): no operator, written as a word or as a lone
// x, and no unit or currency of an amount (5 kg).
bool labelWordEndsBefore(QStringView text, qsizetype end)
{
    end = skipWhiteSpaceBack(text, end);
    // A colon after a word is the label's (Summe:); a closing mark or an
    // apostrophe is the word's (Achtung!, Lukas').
    if (end >= 2 && text[end - 1] == QLatin1Char(':'))
        --end;
    const EngineWords::Span span = EngineWords::wordEndingAt(text, end);
    if (span.isEmpty())
        return false;
    qsizetype wordStart = span.start;
    qsizetype wordEnd = span.end;
    if (const char32_t c = codePointBefore(text, wordEnd); c == '!' || c == '?' || c == '.' || c == '-' || isApostrophe(c))
        --wordEnd;
    if (isApostrophe(text[wordStart]) && wordStart + 1 < wordEnd)
        ++wordStart;
    const QStringView word = text.mid(wordStart, wordEnd - wordStart);
    if (word == u"x" || word == u"X" || EngineCatalogue::isCurrencyWord(word))
        return false;
    const ArithmeticWord* arithmetic = EngineCatalogue::arithmeticWordOf(word);
    if (arithmetic && arithmetic->meaning == WordMeaning::sign)
        return false;
    return !amountEndsBefore(text, wordEnd);
}

// Where the number that ends right before `end` (blanks aside) starts: a
// number of its own, not digits glued to a word (A4); -1 when none.
qsizetype plainNumberBefore(QStringView text, qsizetype end)
{
    end = skipWhiteSpaceBack(text, end);
    qsizetype start = end;
    for (qsizetype n = 1; start > 0 && isNumberish(codePointBefore(text, start, &n));)
        start -= n;
    if (start == end || !isNumberChar(codePointBefore(text, end)) || (start > 0 && isWordChar(codePointBefore(text, start))))
        return -1;
    return start;
}

// A price ends right before `end`, blanks aside: an amount with its
// currency before or after it (24,90 €, $12, 12 USD) or in cents (25 ct).
// Only a price per a unit takes an amount into that unit: 2 ml pro Liter
// is no price.
bool moneyEndsBefore(QStringView text, qsizetype end)
{
    end = skipWhiteSpaceBack(text, end);
    if (end <= 0)
        return false;
    qsizetype start = 0;
    if (!EngineCurrency::currencyBefore(text, end, &start).isEmpty() || EngineCatalogue::isCentSign(codePointBefore(text, end)))
        return plainNumberBefore(text, EngineCurrency::currencyBefore(text, end, &start).isEmpty() ? end - 1 : start) >= 0;
    // A cent by its letters, as the cents are read (25 ct).
    if (const QStringView letters = EngineWords::lettersEndingAt(text, end); !letters.isEmpty())
        return EngineCatalogue::centOf(letters) && plainNumberBefore(text, end - letters.size()) >= 0;
    const qsizetype number = plainNumberBefore(text, end);
    if (number < 0)
        return false;
    const qsizetype before = skipWhiteSpaceBack(text, number);
    return before > 0
        && (isCurrencySign(codePointBefore(text, before)) || !EngineCurrency::currencyBefore(text, before, &start).isEmpty());
}

// An operator follows `end`, blanks, currencies and units aside: the
// number word before it is an operand (fünf + 3, ten bucks + 5, drei mal
// 4), not a label's word (Zwei Pizzen 2 x 9,50, Zwei – Drei Zimmer 750).
bool operatorFollowsNumberWord(QStringView text, qsizetype end)
{
    qsizetype at = skipWhiteSpace(text, end);
    for (qsizetype length = 0; at < text.size(); at = skipWhiteSpace(text, at + length)) {
        if (!EngineCurrency::currencyAt(text, at, &length, true).isEmpty())
            continue;
        const qsizetype unitEnd = EngineCatalogue::unitWordEnd(text, at);
        if (unitEnd == at || !EngineCatalogue::unitOf(text.mid(at, unitEnd - at)))
            break;
        length = unitEnd - at;
    }
    if (at == text.size())
        return false;
    if (const EngineCatalogue::OperatorSign* sign = EngineCatalogue::operatorSignAt(text, at))
        return sign->reads != '-' || !EngineWords::isLabelDash(text, at);
    const ArithmeticWord* word = EngineCatalogue::arithmeticWordOf(text.mid(at, EngineWords::wordAt(text, at).end - at));
    return word && word->meaning == WordMeaning::sign;
}

} // namespace

bool CalculatorEngine::readArithmeticWords(QString& text, Pipeline& pipeline)
{
    const QStringView in(text);
    // A row of words only is empty, not wrong.
    if (std::none_of(in.begin(), in.end(), [](QChar c) { return isDecimalDigit(c.unicode()); }))
        return false;
    QString out;
    qsizetype copied = 0;
    auto previousNonBlank = [&in](qsizetype i) -> char32_t {
        i = skipWhiteSpaceBack(in, i);
        return i > 0 ? codePointBefore(in, i) : 0;
    };
    // The whole word after `i`, blanks first: durch-Schnitt is no "durch".
    auto nextWord = [&in](qsizetype i, qsizetype* start) {
        *start = skipWhiteSpace(in, i);
        const EngineWords::Span next = EngineWords::wordAt(in, *start);
        return next.kind == EngineWords::Kind::word ? next.in(in) : in.mid(*start, 0);
    };
    for (qsizetype i = 0; i < in.size();) {
        qsizetype length = 1;
        const char32_t c = codePointAt(in, i, &length);
        if (c == '/' && i > 0 && i + 1 < in.size()) {
            // Part of a unit or a word: EUR/Stück, km/h, 3.99/lb, w/.
            const char32_t left = codePointBefore(in, i);
            const char32_t right = codePointAt(in, i + 1);
            // A price per unit ($3.99/lb, 49 € / Monat) reads as the price,
            // the unit after it; a call or a constant after it is divided by
            // (6€/cos(180)).
            // A unit is named by its letters (€/Stück-Preis); with its power
            // sign (€/m²).
            const qsizetype wordStart = skipWhiteSpace(in, i + 1);
            QStringView after = EngineWords::lettersAt(in, wordStart);
            if (!after.isEmpty())
                after = in.mid(wordStart, EngineCatalogue::unitWordEnd(in, wordStart) - wordStart);
            const EngineCatalogue::Unit* perUnitOf = after.isEmpty() ? nullptr : EngineCatalogue::unitOf(after);
            const bool unitAfter = perUnitOf
                && (wordStart + after.size() == in.size() || !isNumberChar(codePointAt(in, wordStart + after.size())));
            const bool value = !after.isEmpty() && (EngineCatalogue::isFunctionName(after) || EngineCatalogue::isConstantName(after));
            qsizetype currencyStart = 0;
            const qsizetype leftEnd = skipWhiteSpaceBack(in, i);
            // With blanks around it, the price is an amount with its currency
            // (49 € / Monat, $30 / mo).
            auto currencyBeforeNumber = [&in, &currencyStart](qsizetype end) {
                qsizetype start = end;
                while (start > 0 && isNumberish(codePointBefore(in, start)))
                    --start;
                start = skipWhiteSpaceBack(in, start);
                return start < end && start > 0
                    && (isCurrencySign(codePointBefore(in, start)) || !EngineCurrency::currencyBefore(in, start, &currencyStart).isEmpty());
            };
            const bool perUnit = unitAfter
                && ((isNumberChar(left) && wordStart == i + 1)
                    || (leftEnd > 0 && isCurrencySign(codePointBefore(in, leftEnd)))
                    || !EngineCurrency::currencyBefore(in, leftEnd, &currencyStart).isEmpty()
                    || (leftEnd > 0 && isNumberChar(codePointBefore(in, leftEnd)) && currencyBeforeNumber(leftEnd)));
            // An amount in another unit of the kind is taken into the
            // price's unit (200 g x 24,90 €/kg is 4,98); one that cannot be
            // refuses the row.
            std::optional<double> factor;
            if (!value && perUnit) {
                const qsizetype unitEnd = wordStart + after.size();
                const AmountInUnit other = amountInOtherUnit(in, i, unitEnd, *perUnitOf);
                if (other.unit) {
                    factor = EngineCatalogue::unitsConvert(*other.unit, *perUnitOf);
                    if (!factor) {
                        // Quoted from the price's number, or its sign before it ($12/lb).
                        qsizetype priceStart = leftEnd;
                        qsizetype markStart = 0;
                        if (!EngineCurrency::currencyBefore(in, priceStart, &markStart).isEmpty())
                            priceStart = skipWhiteSpaceBack(in, markStart);
                        while (priceStart > 0 && isNumberish(codePointBefore(in, priceStart)))
                            --priceStart;
                        if (priceStart > 0 && isCurrencySign(codePointBefore(in, priceStart)))
                            --priceStart;
                        pipeline.refuse(RefusalCode::unitAgainstPrice, in, std::min(other.start, priceStart),
                                        std::max(other.end, unitEnd));
                        return false;
                    }
                }
            }
            if (!value
                && (perUnit
                    || ((isWordChar(left) || isCurrencySign(left))
                        && (isWordChar(right) || (isWordChar(left) && isWhiteSpace(right)))))) {
                out += in.mid(copied, i - copied);
                if (factor) {
                    out += QLatin1String(" * ");
                    appendPlainNumber(out, *factor);
                }
                out += QLatin1Char(' ');
                copied = i + 1;
            }
            i += 1;
            continue;
        }
        // A cent is a hundredth of its currency (85 Cent, 75¢), never a
        // whole one.
        auto readCents = [&](qsizetype wordEnd, QStringView code) {
            const qsizetype numberStart = plainNumberBefore(in, i);
            if (numberStart < copied)
                return false;
            const qsizetype numberEnd = numberRunEnd(in, numberStart);
            const std::optional<double> value = readDouble(in.mid(numberStart, numberEnd - numberStart));
            if (!value)
                return false;
            out += in.mid(copied, numberStart - copied);
            appendCanonicalNumber(out, *value / 100);
            if (!code.isEmpty()) {
                out += QLatin1Char(' ');
                out += code;
            }
            copied = wordEnd;
            return true;
        };
        if (EngineCatalogue::isCentSign(c)) {
            readCents(i + length, {});
            i += length;
            continue;
        }
        if (!isWordChar(c) || EngineWords::insideWord(in, i)) {
            i += length;
            continue;
        }
        // A cent, a magnitude or a price word is named by its letters (5
        // Cent-Stück, 3 Mio.-Betrag); an operation only by the whole word
        // (Plus-Punkte, mal-Rabatt).
        const QStringView word = EngineWords::lettersAt(in, i);
        const qsizetype end = i + word.size();
        // Digits glued on make another word (A4).
        const bool gluedDigitsAfter = end < in.size() && isNumberChar(codePointAt(in, end));
        if (!gluedDigitsAfter) {
            if (const EngineCatalogue::Cent* cent = EngineCatalogue::centOf(word); cent && readCents(end, cent->code)) {
                i = end;
                continue;
            }
        }
        // Per cent is a percentage; a per mille has no sign (pro mille).
        if (isLowerAsciiWord(word, QLatin1String("per")) || isLowerAsciiWord(word, QLatin1String("pro"))) {
            qsizetype nextStart = 0;
            const QStringView next = nextWord(end, &nextStart);
            if (isLowerAsciiWord(next, QLatin1String("mille"))) {
                pipeline.refuse(RefusalCode::unknownOperation, in, i, nextStart + next.size());
                return false;
            }
            if (isLowerAsciiWord(next, QLatin1String("cent")) && amountEndsBefore(in, i)) {
                out += in.mid(copied, i - copied);
                out += QLatin1String(" % ");
                copied = nextStart + next.size();
                i = copied;
                continue;
            }
        }
        // v.H. and v. H. (vom Hundert) are a percentage, as vH is.
        const qsizetype hundred = end + 1 < in.size() && in[end + 1] == QLatin1Char(' ') ? end + 2 : end + 1;
        if (isLowerAsciiWord(word, QLatin1String("v")) && hundred < in.size() && in[end] == QLatin1Char('.')
            && (in[hundred] == QLatin1Char('H') || in[hundred] == QLatin1Char('h'))
            && (hundred + 1 == in.size() || !isWordChar(codePointAt(in, hundred + 1))) && amountEndsBefore(in, i)) {
            out += in.mid(copied, i - copied);
            out += QLatin1String(" % ");
            copied = hundred + 1 < in.size() && in[hundred + 1] == QLatin1Char('.') ? hundred + 2 : hundred + 1;
            i = copied;
            continue;
        }
        // A price per a unit in words (24,90 € pro kg, $12 per lb) is taken
        // into an amount's other unit as after a slash.
        if (EngineCatalogue::isPriceWord(word) && moneyEndsBefore(in, i)) {
            const qsizetype unitStart = skipWhiteSpace(in, end);
            const qsizetype unitEnd = EngineCatalogue::unitWordEnd(in, unitStart);
            const EngineCatalogue::Unit* unit
                = unitEnd > unitStart ? EngineCatalogue::unitOf(in.mid(unitStart, unitEnd - unitStart)) : nullptr;
            const AmountInUnit other = unit && (unitEnd == in.size() || !isNumberChar(codePointAt(in, unitEnd)))
                ? amountInOtherUnit(in, i, unitEnd, *unit)
                : AmountInUnit();
            // A price per something that is no unit, times an amount in a
            // unit (8 oz x $12 per pound, 2 kg x 3 € pro Beutel): what the
            // amount counts cannot be told.
            static constexpr EngineCatalogue::Unit noUnit{u"", EngineCatalogue::UnitKind::pieces, u"", 0};
            const qsizetype wordAfterEnd = EngineCatalogue::unitWordEnd(in, unitStart);
            if (!unit && wordAfterEnd > unitStart) {
                const AmountInUnit counted = amountInOtherUnit(in, i, wordAfterEnd, noUnit);
                if (counted.unit) {
                    pipeline.refuse(RefusalCode::unitAgainstPrice, in, std::min(counted.start, numberBefore(in, i)),
                                    std::max(counted.end, wordAfterEnd));
                    return false;
                }
            }
            if (other.unit) {
                const std::optional<double> factor = EngineCatalogue::unitsConvert(*other.unit, *unit);
                if (!factor) {
                    pipeline.refuse(RefusalCode::unitAgainstPrice, in, std::min(other.start, numberBefore(in, i)),
                                    std::max(other.end, unitEnd));
                    return false;
                }
                out += in.mid(copied, i - copied);
                out += QLatin1String(" * ");
                appendPlainNumber(out, *factor);
                out += QLatin1Char(' ');
                copied = i;
            }
        }
        // "geteilt durch" and "divided by" are one sign.
        const bool divided = isLowerAsciiWord(word, QLatin1String("divided"));
        if (divided || isLowerAsciiWord(word, QLatin1String("geteilt"))) {
            qsizetype nextStart = 0;
            const QStringView next = nextWord(end, &nextStart);
            if (isLowerAsciiWord(next, divided ? QLatin1String("by") : QLatin1String("durch"))) {
                out += in.mid(copied, i - copied);
                out += QLatin1String(" / ");
                copied = nextStart + next.size();
                i = copied;
                continue;
            }
        }
        const ArithmeticWord* entry = EngineCatalogue::arithmeticWordOf(word);
        if (entry && EngineWords::wordAt(in, i).end != end)
            entry = nullptr;
        // A number as a word next to an operator would be dropped as a
        // label's, and the operator read as a sign (fünf + 3 as 3).
        if (!entry && !gluedDigitsAfter && EngineCatalogue::isNumberWord(word) && !EngineWords::joinsAt(in, end)
            && !(i > 0 && EngineWords::joinsAt(in, i - 1)) && operatorFollowsNumberWord(in, end)) {
            pipeline.refuse(RefusalCode::numberWord, in, i, end);
            return false;
        }
        if (!entry && !gluedDigitsAfter) {
            // A magnitude or quantity word is never dropped: nothing here
            // applies it, so a row it stands next to is refused rather than
            // show the bare number (3 Tausend, 3 dozen, 45k, half of 84).
            // A tax label of the user's is read as the tax (a rate named "Halb").
            const EngineCatalogue::Magnitude* magnitude = EngineCatalogue::magnitudeOf(word);
            // Glued to a currency it counts it (450 TEUR, 85 T€, 5 T$).
            qsizetype gluedSign = 0;
            // Its words are up to three letters long: a longer word can only
            // hold the currency's letters (TEUR), and a sign after it names none.
            if (!magnitude && EngineCatalogue::mayCountCurrency(word)) {
                if (word.size() <= 3)
                    magnitude = EngineCatalogue::magnitudeOfCurrencyWord(word, !EngineCatalogue::currencySignAt(in, end, &gluedSign).isEmpty());
                else if ((magnitude = EngineCatalogue::magnitudeOfCurrencyWord(word, false))
                         && !EngineCatalogue::currencySignAt(in, end, &gluedSign).isEmpty())
                    magnitude = nullptr;
            }
            if (magnitude && taxLabelAt(in, i, pipeline.settings.enabledTaxRates))
                magnitude = nullptr;
            if (magnitude) {
                const char32_t left = previousNonBlank(i);
                // After an amount's currency or unit it is the amount's (2 € Mio, 2 kg Tausend).
                const bool afterAmount = isNumberChar(left) || left == ')' || amountEndsBefore(in, i);
                // Quoted from the amount's number (2 € Mio).
                qsizetype quoteFrom = numberBefore(in, i);
                if (quoteFrom == i && afterAmount) {
                    qsizetype markStart = skipWhiteSpaceBack(in, i);
                    if (EngineCurrency::currencyBefore(in, markStart, &markStart).isEmpty()) {
                        // The unit's power first (2 m² Mio), then its letters.
                        while (markStart > 0 && EngineCatalogue::isUnitPower(codePointBefore(in, markStart)))
                            --markStart;
                        markStart -= EngineWords::lettersEndingAt(in, markStart).size();
                    }
                    if (const qsizetype number = numberBefore(in, markStart); number < markStart)
                        quoteFrom = number;
                }
                if (magnitude->kind == EngineCatalogue::MagnitudeKind::multiplier) {
                    // Before the number it names, a multiplier is a label
                    // (half 1/2 x 3, double recipe 2 x 250 g). Right before
                    // another number (or a bracket) it is its factor (twice
                    // 30, Hälfte 84 €); anywhere else the row cannot say what
                    // it multiplies (Half off 24.99). After a number it
                    // names nothing (3 viermal x 4).
                    if (!isNumberChar(left) && left != ')' && namesFactorAfter(in, end, magnitude->factor)) {
                        i = end;
                        continue;
                    }
                    qsizetype at = skipWhiteSpace(in, end);
                    if (at < in.size() && EngineCatalogue::isMinusSign(in[at].unicode()))
                        at = skipWhiteSpace(in, at + 1);
                    qsizetype signLength = 0;
                    if (!EngineCatalogue::currencySignAt(in, at, &signLength).isEmpty())
                        at = skipWhiteSpace(in, at + signLength);
                    const bool operand = at < in.size()
                        && (isDecimalDigit(codePointAt(in, at)) || in[at] == QLatin1Char('(')
                            || ((in[at] == QLatin1Char('.') || in[at] == QLatin1Char(',')) && at + 1 < in.size()
                                && isDecimalDigit(codePointAt(in, at + 1))));
                    qsizetype operandEnd = at < in.size() && in[at] != QLatin1Char('(') ? numberRunEnd(in, at) : at;
                    operandEnd = skipWhiteSpace(in, operandEnd);
                    const bool bound = left == '/' || left == '^' || afterAmount
                        || (operandEnd < in.size() && in[operandEnd] == QLatin1Char('^'));
                    if (!operand || bound) {
                        // Quoted with the number before it or the words
                        // and number after it (10 / half 4, Half off 24.99).
                        pipeline.refuse(RefusalCode::magnitudeWord, in, quoteFrom,
                                        bound ? wordAfter(in, end) : wordAfter(in, wordAfter(in, end)));
                        return false;
                    }
                    // After a label word it is part of the label (Zimmer
                    // doppelt 89, second half 450): only where an operand
                    // starts is it a factor.
                    if (labelWordEndsBefore(in, i)) {
                        i = end;
                        continue;
                    }
                    out += in.mid(copied, i - copied);
                    appendPlainNumber(out, magnitude->factor);
                    out += QLatin1String(" * ");
                    copied = end;
                    i = end;
                    continue;
                }
                // A quantity word (dozen) before its number names the row
                // (dozen 12 x 0.75) unless "of" ties it to the number.
                const bool quantity = magnitude->kind == EngineCatalogue::MagnitudeKind::quantity;
                qsizetype nextStart = 0;
                const QStringView following = nextWord(end + gluedSign, &nextStart);
                const bool numberAfter = following.isEmpty() && nextStart < in.size()
                    && (isDecimalDigit(codePointAt(in, nextStart)) || in[nextStart] == QLatin1Char('.')
                        || in[nextStart] == QLatin1Char(','))
                    && word.size() + gluedSign > 1;
                const bool tiedByOf = quantity
                    && (isLowerAsciiWord(following, QLatin1String("of")) || isLowerAsciiWord(following, QLatin1String("von"))
                        || isLowerAsciiWord(following, QLatin1String("der")));
                if (afterAmount || (numberAfter && !quantity) || tiedByOf) {
                    const bool afterIt = (numberAfter && !quantity) || tiedByOf;
                    pipeline.refuse(RefusalCode::magnitudeWord, in, quoteFrom, afterIt ? wordAfter(in, end + gluedSign) : end + gluedSign);
                    return false;
                }
            }
        }
        if (!entry || gluedDigitsAfter) {
            i = end;
            continue;
        }
        const char32_t before = previousNonBlank(i);
        const bool afterNumber = isNumberChar(before) || before == ')';
        QLatin1String sign;
        switch (entry->meaning) {
        case WordMeaning::sign:
            sign = entry->sign;
            break;
        case WordMeaning::percent:
            if (afterNumber)
                sign = entry->sign;
            break;
        case WordMeaning::unknownOperation:
            pipeline.refuse(RefusalCode::unknownOperation, in, i, end);
            return false;
        }
        if (sign.isEmpty()) {
            i = end;
            continue;
        }
        out += in.mid(copied, i - copied);
        out += QLatin1Char(' ');
        out += sign;
        out += QLatin1Char(' ');
        copied = end;
        i = end;
    }
    if (copied == 0)
        return false;
    out += in.mid(copied);
    text = std::move(out);
    return true;
}

void CalculatorEngine::normalizeOperatorSymbols(QString& text, const QList<CalcSettings::TaxRate>& rates, QStringView label,
                                                const Triggers& held)
{
    // Read through the constant data: indexing the string itself checks
    // for a detach at every character.
    const QChar* in = text.constData();
    const qsizetype size = text.size();
    bool symbols = false;
    bool wordBeyondAscii = false;
    for (qsizetype i = 0; held.beyondAscii && i < size; ++i) {
        if (const char16_t u = in[i].unicode(); u >= 0x80) {
            symbols = symbols || EngineCatalogue::operatorSignOf(u);
            wordBeyondAscii = wordBeyondAscii || QChar::isSurrogate(u) || isWordChar(u);
        }
    }
    const bool letterX = held.hasLetter('x');
    const bool colon = held.has(':');
    // A dash is the label's only with a word after it.
    const bool words = wordBeyondAscii || held.hasAnyLetter();
    // A hyphen may be a label's dash only with a blank beside it.
    bool hyphens = false;
    for (qsizetype i = 0; words && held.has('-') && !hyphens && i < size; ++i)
        hyphens = in[i] == QLatin1Char('-')
            && ((i > 0 && in[i - 1] == QLatin1Char(' ')) || (i + 1 < size && in[i + 1] == QLatin1Char(' ')));
    if ((symbols || hyphens) && words) {
        // A dash of any kind between two words is the label's (Berlin -
        // München 600), as an en dash there is; the rules for dashes below
        // then read it.
        for (qsizetype i = 0; i < text.size(); ++i) {
            const char16_t u = std::as_const(text)[i].unicode();
            if ((u == '-' || u == 0x2212) && EngineWords::isLabelDash(text, i, label)) {
                text[i] = QChar(0x2013);
                symbols = true;
            }
        }
    }
    if (symbols) {
        for (const EngineCatalogue::OperatorSign& sign : EngineCatalogue::operatorSigns()) {
            if (sign.character >= 0x80 && sign.place == EngineCatalogue::SignPlace::always)
                text.replace(QChar(char16_t(sign.character)), QLatin1Char(sign.reads));
        }
        // A dash between operands is a minus (100 – 20), and so is one after
        // an amount's currency or unit (100 € – 20, 2 kg – 1), a tax label
        // or a constant (MwSt – 5, pi – 1): wherever a hyphen would
        // subtract.
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (!EngineCatalogue::isDash(text[i].unicode()))
                continue;
            // Between letters it joins a word, as a hyphen does (Wi–Fi,
            // as autocorrect writes Wi-Fi).
            if (EngineWords::joinsAt(text, i)) {
                text[i] = QLatin1Char('-');
                continue;
            }
            qsizetype before = i;
            while (before > 0 && isWhiteSpace(text[before - 1].unicode()))
                --before;
            qsizetype after = i + 1;
            while (after < text.size() && isWhiteSpace(text[after].unicode()))
                ++after;
            if (after == text.size())
                continue;
            const QChar right = text[after];
            qsizetype currencyStart = 0;
            const bool currencyBefore = before > 0 && !EngineCurrency::currencyBefore(text, before, &currencyStart).isEmpty();
            const qsizetype beforeCurrency = currencyBefore ? skipWhiteSpaceBack(text, currencyStart) : before;
            // Nothing but blanks and a currency before it, an operator, the
            // row's start or an amount (label words aside): the dash is the
            // sign of what follows or subtracts it (€ – 1, 2 * – 4, – 5,
            // Rabatt – 5, 100 Rabatt – 5), as a hyphen would.
            bool afterLabel = false;
            const bool leading = (currencyBefore && beforeCurrency == 0) || signAfterOperator(text, before, &afterLabel, label)
                || (afterLabel && signedOperandAt(text, after, rates));
            const bool operandBefore = amountEndsBefore(text, before) || valueNameEndsBefore(text, before, rates);
            const EngineCatalogue::OperatorSign* signAfter = EngineCatalogue::operatorSignOf(right.unicode());
            const bool minusAfter = EngineCatalogue::isMinusSign(right.unicode());
            const bool operandAfter = right != QLatin1Char(')')
                && !(signAfter && signAfter->place != EngineCatalogue::SignPlace::noLetterTouching
                     && signAfter->place != EngineCatalogue::SignPlace::notAfterWord);
            // Before a minus it is a hyphen too, the minus (a dash read on
            // its next turn) being the sign of what follows, blanks or not.
            if ((operandBefore || leading) && (operandAfter || minusAfter))
                text[i] = QLatin1Char('-');
        }
    }
    if (letterX) {
        // An "x" between two digits, white space around it dropped; left to
        // right, a digit taken by one match is not used by the next (2x3x4
        // gives 2*3x4).
        const QString source = text;
        QChar* data = text.data(); // a buffer of its own; `source` is read
        qsizetype out = 0;
        qsizetype free = 0; // the first character no match has taken
        for (qsizetype i = 0; i < source.size(); ++i) {
            const QChar c = source[i];
            if (c == QLatin1Char('x') || c == QLatin1Char('X')) {
                qsizetype d1 = i;
                while (d1 > free && isWhiteSpace(source[d1 - 1].unicode()))
                    --d1;
                qsizetype d2 = i + 1;
                while (d2 < source.size() && isWhiteSpace(source[d2].unicode()))
                    ++d2;
                qsizetype before = 1;
                if (d1 > free && isDecimalDigit(codePointBefore(source, d1, &before)) && d1 - before >= free
                    && d2 < source.size() && isDecimalDigit(codePointAt(source, d2))) {
                    out -= i - d1; // the white space before the "x"
                    data[out++] = QLatin1Char('*');
                    qsizetype length = 1;
                    codePointAt(source, d2, &length);
                    for (qsizetype k = 0; k < length; ++k)
                        data[out++] = source[d2 + k];
                    i = d2 + length - 1;
                    free = d2 + length;
                    continue;
                }
            }
            data[out++] = c;
        }
        text.truncate(out);
        text.replace(QLatin1String(" x "), QLatin1String(" * "));
        text.replace(QLatin1String(" X "), QLatin1String(" * "));
    }
    if (colon)
        text.replace(QLatin1String(" : "), QLatin1String(" / "));
}

namespace {

// A number with the currency next to it: the one right after it, else the
// one right before. `start` and `end` take the currency in.
struct Amount {
    qsizetype start = 0;
    qsizetype end = 0;
    qsizetype currencyStart = -1;
    qsizetype currencyEnd = -1;
    QStringView code;
};

QVarLengthArray<Amount, 16> amountsIn(QStringView text)
{
    QVarLengthArray<Amount, 16> amounts;
    for (qsizetype i = 0; i < text.size();) {
        qsizetype length = 1;
        if (!isNumberChar(codePointAt(text, i, &length))) {
            i += length;
            continue;
        }
        Amount amount;
        amount.start = i;
        while (i < text.size() && isNumberish(codePointAt(text, i, &length)))
            i += length;
        amount.end = i;
        qsizetype after = i;
        while (after < text.size() && isWhiteSpace(text[after].unicode()))
            ++after;
        qsizetype before = amount.start;
        while (before > 0 && isWhiteSpace(text[before - 1].unicode()))
            --before;
        qsizetype currencyLength = 0;
        qsizetype currencyStart = 0;
        if (QStringView code = EngineCurrency::currencyAt(text, after, &currencyLength); !code.isEmpty()) {
            amount.code = code;
            amount.currencyStart = after;
            amount.currencyEnd = after + currencyLength;
            amount.end = amount.currencyEnd;
        } else if (code = EngineCurrency::currencyBefore(text, before, &currencyStart); !code.isEmpty()) {
            amount.code = code;
            amount.currencyStart = currencyStart;
            amount.currencyEnd = before;
            amount.start = currencyStart;
        }
        amounts.append(amount);
    }
    return amounts;
}

// An operator + or - stands in text[from, to): not a hyphen inside a word.
bool addsOrSubtracts(QStringView text, qsizetype from, qsizetype to)
{
    for (qsizetype k = from; k < to; ++k) {
        const QChar c = text[k];
        if (c == QLatin1Char('+'))
            return true;
        if (c == QLatin1Char('-') && !EngineWords::joinsAt(text, k))
            return true;
    }
    return false;
}

// The unit word right after an amount (5 kg, 5kg, 78 m²), if any.
const EngineCatalogue::Unit* unitAfter(QStringView text, qsizetype end)
{
    const qsizetype start = skipWhiteSpace(text, end);
    const qsizetype wordEnd = EngineCatalogue::unitWordEnd(text, start);
    if (wordEnd == start || (wordEnd < text.size() && (isNumberChar(codePointAt(text, wordEnd)) || isWordChar(codePointAt(text, wordEnd)))))
        return nullptr;
    return EngineCatalogue::unitOf(text.mid(start, wordEnd - start));
}

// Amounts in two different currencies with a + or - between them, whatever
// else stands there (words, percentages, brackets): no rate converts them
// here, so their sum would mean nothing (20 USD + 10 EUR). The first such pair.
std::optional<std::pair<qsizetype, qsizetype>> joinsDifferentCurrencies(QStringView text,
                                                                       const QVarLengthArray<Amount, 16>& amounts)
{
    const Amount* previous = nullptr;
    for (const Amount& amount : amounts) {
        if (amount.code.isEmpty())
            continue;
        if (previous && previous->code != amount.code && previous->end <= amount.start
            && addsOrSubtracts(text, previous->end, amount.start))
            return std::pair(previous->start, amount.end);
        previous = &amount;
    }
    return std::nullopt;
}

// What the terms that are added or taken away measure: money when one of
// their amounts carries a currency (3,99 €/kg x 2 kg), else the unit of
// their first amount that has one. Terms in different units (1 kg - 350 g,
// 1 hour + 30 minutes), or money and a unit (5 € + 3 kg), cannot be added.
// The first such pair.
std::optional<std::pair<qsizetype, qsizetype>> joinsDifferentUnits(QStringView text,
                                                                  const QVarLengthArray<Amount, 16>& amounts)
{
    struct Measure {
        bool money = false;
        QStringView unit;
        qsizetype start = -1;
        qsizetype end = -1;
        bool known() const { return money || !unit.isEmpty(); }
    };
    // Most rows hold no unit: nothing to compare.
    QVarLengthArray<const EngineCatalogue::Unit*, 16> unitOfAmount;
    bool anyUnit = false;
    for (const Amount& amount : amounts) {
        const EngineCatalogue::Unit* unit = amount.code.isEmpty() ? unitAfter(text, amount.end) : nullptr;
        unitOfAmount.append(unit);
        anyUnit = anyUnit || unit;
    }
    if (!anyUnit)
        return std::nullopt;
    Measure previous;
    Measure term;
    qsizetype termEnd = 0; // where the last amount of the term ends
    qsizetype index = 0;
    auto closeTerm = [&]() -> bool {
        if (!term.known())
            return false;
        const bool differ = previous.known() && (previous.money != term.money || previous.unit != term.unit);
        if (!differ)
            previous = term;
        return differ;
    };
    for (const Amount& amount : amounts) {
        const EngineCatalogue::Unit* unit = unitOfAmount[index++];
        if (amount.start >= termEnd && addsOrSubtracts(text, termEnd, amount.start)) {
            if (closeTerm())
                return std::pair(previous.start, term.end);
            term = Measure();
        }
        termEnd = amount.end;
        if (!amount.code.isEmpty()) {
            if (!term.money)
                term = Measure{true, {}, amount.start, amount.end};
            continue;
        }
        if (term.known())
            continue;
        if (unit)
            term = Measure{false, unit->symbol, amount.start,
                           EngineCatalogue::unitWordEnd(text, skipWhiteSpace(text, amount.end))};
    }
    if (closeTerm())
        return std::pair(previous.start, term.end);
    return std::nullopt;
}

} // namespace

namespace {

// A currency with no amount of its own after an amount in another currency
// (100 € als USD, €80 for USD): a conversion no keyword asks for, that
// dropping the mark would leave undone. From that amount to the mark. After
// a price word it names what the price is per (12 $ a pound).
std::optional<std::pair<qsizetype, qsizetype>> currencyWithoutAmount(QStringView text, const QVarLengthArray<Amount, 16>& amounts)
{
    // The ASCII characters a currency may start with: letters, and the
    // signs' symbols taken once from the catalogue.
    static const std::array<quint64, 2> starts = [] {
        std::array<quint64, 2> bits{0, (quint64(0x3FFFFFF) << 1) | (quint64(0x3FFFFFF) << 33)};
        for (const char* c = EngineCatalogue::asciiSignSymbols(); *c; ++c)
            bits[uchar(*c) >> 6] |= quint64(1) << (uchar(*c) & 63);
        return bits;
    }();
    const Amount* last = nullptr;
    for (qsizetype k = 0; k < amounts.size(); ++k) {
        if (!amounts[k].code.isEmpty())
            last = &amounts[k];
        if (!last)
            continue;
        const qsizetype to = k + 1 < amounts.size() ? amounts[k + 1].start : text.size();
        for (qsizetype i = amounts[k].end; i < to;) {
            if (const char16_t u = text.data()[i].unicode();
                u < 0x80 && !((starts[u >> 6] >> (u & 63)) & 1)) {
                ++i;
                continue;
            }
            const char32_t c = codePointAt(text, i);
            const bool wordStart = isWordChar(c) && !(i > 0 && isWordChar(codePointBefore(text, i)));
            qsizetype length = 0;
            const QStringView code
                = wordStart || EngineCatalogue::isSignSymbol(c) ? EngineCurrency::currencyAt(text, i, &length) : QStringView();
            if (!code.isEmpty() && code != last->code && i + length <= to
                && (!wordStart || EngineWords::wordAt(text, i).end == i + length)) {
                const QStringView before = EngineWords::wordEndingAt(text, skipWhiteSpaceBack(text, i)).in(text);
                if (!EngineCatalogue::isPriceWord(before) && !EngineCatalogue::isConversionKeyword(before))
                    return std::pair(last->start, i + length);
            }
            i = wordStart ? std::max(EngineWords::wordAt(text, i).end, i + 1) : i + std::max<qsizetype>(length, 1);
        }
    }
    return std::nullopt;
}

} // namespace

void CalculatorEngine::removeCurrencyMarks(QString& text, Pipeline& pipeline)
{
    const QVarLengthArray<Amount, 16> amounts = amountsIn(text);
    if (const auto pair = joinsDifferentCurrencies(text, amounts)) {
        pipeline.refuse(RefusalCode::mixedCurrencies, text, pair->first, pair->second);
        return;
    }
    if (const auto pair = joinsDifferentUnits(text, amounts)) {
        pipeline.refuse(RefusalCode::mixedUnits, text, pair->first, pair->second);
        return;
    }
    if (const auto pair = currencyWithoutAmount(text, amounts)) {
        pipeline.refuse(RefusalCode::currencyWithoutAmount, text, pair->first, pair->second);
        return;
    }
    // Nothing to take out: no amount carries a currency and no sign stands anywhere.
    static const Triggers symbols(QString::fromLatin1(EngineCatalogue::asciiSignSymbols()));
    const bool anyCode = std::any_of(amounts.cbegin(), amounts.cend(), [](const Amount& a) { return !a.code.isEmpty(); });
    if (!anyCode && std::none_of(text.cbegin(), text.cend(), [](QChar c) {
            return c.unicode() >= 0x80 || symbols.has(char(c.unicode()));
        }))
        return;
    // Signs go wherever they stand; codes, names and lettered marks only
    // where they are an amount's currency. The text is built anew.
    // The ASCII characters a sign may start with, taken once from the catalogue.
    static const Triggers signStarts = [] {
        QString starts;
        for (char16_t c = 1; c < 0x80; ++c) {
            if (EngineCatalogue::isCurrencySignCharacter(c))
                starts += QChar(c);
        }
        return Triggers(starts);
    }();
    const QStringView in(text);
    TextBuilder out;
    qsizetype copied = 0;
    qsizetype next = 0; // the next amount that may own a currency word
    for (qsizetype i = 0; i < in.size(); ++i) {
        const char16_t u = in[i].unicode();
        qsizetype from = i;
        qsizetype to = i;
        if (u >= 0x80 || signStarts.has(char(u))) {
            qsizetype length = 0;
            const bool wordBefore = i > 0 && isWordChar(codePointBefore(in, i));
            if (!(wordBefore && isAsciiLetter(u)) && !EngineCatalogue::currencySignAt(in, i, &length).isEmpty())
                to = i + length;
        }
        if (to == from) {
            while (next < amounts.size() && amounts[next].currencyEnd <= i
                   && amounts[next].end <= i)
                ++next;
            bool owned = false;
            for (qsizetype k = next; k < amounts.size() && amounts[k].start <= i + 1; ++k) {
                if (amounts[k].currencyStart == i && amounts[k].currencyEnd > i) {
                    owned = true;
                    to = amounts[k].currencyEnd;
                    break;
                }
            }
            if (!owned)
                continue;
        }
        out.append(in.mid(copied, from - copied));
        // Between two numbers the mark leaves a blank: 5 EUR 3 is not 53.
        if (!out.isEmpty() && to < in.size() && isNumberish(out.back().unicode()) && isNumberish(in[to].unicode()))
            out.append(QLatin1Char(' '));
        copied = to;
        i = to - 1;
    }
    if (copied == 0)
        return;
    out.append(in.mid(copied));
    out.handBack(text);
}

void CalculatorEngine::removeThousandsSeparators(QString& text)
{
    static const QRegularExpression thousandsSepRegex = EngineRegex::compile(QStringLiteral(R"((\d),(\d{3})(?!\d))"));
    // Every match needs a digit on both sides of a ",".
    bool candidate = false;
    const QStringView view(text);
    for (qsizetype i = view.indexOf(QLatin1Char(',')); i >= 0 && !candidate; i = view.indexOf(QLatin1Char(','), i + 1))
        candidate = i > 0 && i + 1 < view.size() && isDecimalDigit(codePointBefore(view, i))
            && isDecimalDigit(codePointAt(view, i + 1));
    if (!candidate)
        return;
    for (;;) {
        const QString before = text;
        text.replace(thousandsSepRegex, QStringLiteral("\\1\\2"));
        if (text == before)
            return;
    }
}

namespace {

bool isOperator(QChar c)
{
    switch (c.unicode()) {
    case '+':
    case '-':
    case '*':
    case '/':
    case '^':
        return true;
    default:
        return false;
    }
}

} // namespace

namespace {

// Signs that carry arithmetic the parser does not know: dropping one would
// change what the row computes.
bool isArithmeticSign(char32_t c)
{
    switch (c) {
    case '!':
    case '[':
    case ']':
    case '|':
    case 0x00B1: // ±
    case 0x2213: // ∓
    case 0x2030: // ‰
    case 0x2211: // ∑
    case 0x220F: // ∏
    case 0x221A: // √
    case 0x221B:
    case 0x221C:
        return true;
    default:
        return false;
    }
}

// A letter run that names one of the engine's functions: left in the text,
// the call was not worked out (sqrt 16, pow(2.3)).
bool isFunctionWordAt(QStringView text, qsizetype i)
{
    static const EngineCatalogue::CharacterSet& starts = EngineCatalogue::functionStarts();
    if (!starts.has(text[i].unicode()))
        return false;
    qsizetype end = i;
    while (end < text.size() && isAsciiLetter(text[end].unicode()))
        ++end;
    if (end < text.size() && isWordChar(codePointAt(text, end)))
        return false;
    return EngineCatalogue::isFunctionName(text.mid(i, end - i));
}

} // namespace

namespace {

// Where the number after `i` ends, blanks and a sign before it skipped
// (10: -3); `i` when no number follows.
qsizetype signedNumberEnd(QStringView text, qsizetype i)
{
    qsizetype k = skipWhiteSpace(text, i);
    if (k < text.size() && (text[k] == QLatin1Char('-') || text[k] == QLatin1Char('+')))
        k = skipWhiteSpace(text, k + 1);
    qsizetype end = k;
    for (qsizetype n = 1; end < text.size() && isNumberish(codePointAt(text, end, &n));)
        end += n;
    return end > k ? end : i;
}

} // namespace

void CalculatorEngine::extractMathComponents(QString& text, std::optional<CalculationError>& failure,
                                             bool percentPossible, RefusalPlace* place)
{
    // Components are written as they are found: none is longer than what
    // it came from. Words, blanks and marks are dropped,
    // but never so that the row computes something else than what was
    // typed: two numbers with only dropped text between them, an operator
    // with no number before it, two operators in a row, or an operator
    // followed only by words, fail the row.
    if (text.isEmpty())
        return;
    // They go to a buffer of their own, so that a refusal keeps the text as
    // it was read, to be mapped back to the row.
    QVarLengthArray<QChar, 256> built(text.size());
    QChar* const target = built.data();
    const QStringView read(text);
    auto refuse = [&failure, &read, place](RefusalCode reason, qsizetype at, qsizetype end) {
        EngineRefusal::refuse(failure, reason, read, at, end, nullptr, place);
    };
    const QChar* data = read.constData();
    qsizetype out = 0;
    auto put = [target, &out](QChar c) { target[out++] = c; };
    const qsizetype size = text.size();
    bool written = false;          // a component has been written
    bool afterOperator = true;     // the last component is an operator, or none yet
    bool afterOpen = false;        // the last component is "("
    bool droppedSinceOperator = false;
    bool signAfterWords = false;   // a sign followed words after an operator: the operand is still to come
    bool lastIsNumber = false;     // the last component is a number or a placeholder
    qsizetype lastNumberStart = -1;
    qsizetype lastOperatorAt = -1;
    bool percentDropped = false;
    bool numberWithoutPercent = false;
    qsizetype lastPercentAt = -1;
    qsizetype nonBlankAt = -1;
    char32_t previous = 0;         // the character before the current one, as typed
    bool previousIsTimes = false;  // it was an "x" read as "×"
    bool inWord = false;           // letters, and digits glued to them, since the last blank or sign
    bool wordGluedToNumber = false; // that word follows a digit directly (5kg)

    auto writeOperator = [&](QChar c, qsizetype at) {
        const bool sign = c == QLatin1Char('-') || c == QLatin1Char('+');
        if (!written || afterOpen) {
            // With no number before it, only a sign can stand: "-" is
            // kept, "+" vanishes; "× ÷ / ^" have nothing to work on.
            if (!sign) {
                refuse(RefusalCode::operatorWithoutNumber, at, at + 1);
            } else if (c == QLatin1Char('-')) {
                put(c);
                written = true;
            }
        } else if (afterOperator) {
            // A minus after an operator is the number's sign (2 * -3), also
            // with a label between them (2 * Rabatt -4).
            if (c != QLatin1Char('-'))
                refuse(droppedSinceOperator ? RefusalCode::operatorBeforeWords : RefusalCode::twoOperators,
                       lastOperatorAt, at + 1);
            else
                put(c);
            signAfterWords = signAfterWords || droppedSinceOperator;
        } else {
            put(c);
        }
        afterOperator = true;
        afterOpen = false;
        droppedSinceOperator = false;
        lastIsNumber = false;
        if (!signAfterWords)
            lastOperatorAt = at;
    };
    // A "#" is the picker being opened: it stands for nothing yet.
    auto drop = [&](char32_t c) {
        if (!isWhiteSpace(c) && c != '#')
            droppedSinceOperator = true;
    };
    // After a number, a placeholder or a bracket.
    auto wroteOperand = [&](bool number) {
        signAfterWords = false;
        written = true;
        afterOperator = false;
        afterOpen = false;
        droppedSinceOperator = false;
        lastIsNumber = number;
    };

    qsizetype runStart = -1;
    qsizetype runEnd = -1;
    int runMarks = 0;
    qsizetype placeholderStart = -1;
    auto flushRun = [&] {
        if (runStart < 0)
            return;
        if (runMarks > 1)
            refuse(RefusalCode::twoDecimalMarks, runStart, runEnd);
        for (qsizetype k = runStart; k < runEnd; ++k)
            put(data[k] == QLatin1Char(',') ? QLatin1Char('.') : data[k]);
        if (percentPossible && !numberWithoutPercent) {
            qsizetype next = runEnd;
            while (next < size && (isWhiteSpace(data[next].unicode()) || data[next] == QLatin1Char(')')))
                ++next;
            numberWithoutPercent = next == size || data[next] != QLatin1Char('%');
        }
        wroteOperand(true);
        lastNumberStart = runStart;
        runStart = -1;
        runMarks = 0;
    };

    for (qsizetype i = 0; i < size;) {
        qsizetype length = 1;
        const char16_t unit = data[i].unicode();
        const char32_t c = QChar::isSurrogate(unit) ? codePointAt(QStringView(data + i, size - i), 0, &length) : unit;
        const qsizetype at = i;
        i += length;
        // Where the last character that was no blank stood, before this one.
        const qsizetype lastNonBlankAt = nonBlankAt;
        if (!isWhiteSpace(c))
            nonBlankAt = at;
        const char32_t before = previous;
        const bool beforeIsTimes = previousIsTimes;
        previous = c;
        previousIsTimes = false;
        if (placeholderStart >= 0) {
            if (c == '}') {
                if (lastIsNumber)
                    refuse(RefusalCode::linkTouchingNumber, lastNumberStart, i);
                for (qsizetype k = placeholderStart; k < i; ++k)
                    put(data[k]);
                lastNumberStart = placeholderStart;
                placeholderStart = -1;
                wroteOperand(true);
            } else if (c == '{') {
                placeholderStart = at; // an unfinished placeholder before this one is dropped
            }
            continue;
        }
        if (c == '{') {
            flushRun();
            inWord = false;
            placeholderStart = at;
            continue;
        }
        if (isNumberChar(c)) {
            // Digits glued to letters before them are part of the word
            // (iPhone15, A4, E10); a word glued between digits (1o0) is a
            // mistyped number.
            if (runStart < 0 && (inWord || (isWordChar(before) && !beforeIsTimes))) {
                // The power of a unit is part of its word (5m²).
                if (wordGluedToNumber && !(EngineCatalogue::isUnitPower(c) && isWordChar(before)))
                    refuse(RefusalCode::lettersInNumber, lastNumberStart, i);
                inWord = true;
                drop(c);
                continue;
            }
            if (runStart < 0) {
                if (lastIsNumber) {
                    qsizetype end = i;
                    while (end < size && isNumberish(data[end].unicode()))
                        ++end;
                    refuse(RefusalCode::wordsBetweenNumbers, lastNumberStart, end);
                }
                runStart = at;
            }
            runEnd = i;
            continue;
        }
        if ((c == '.' || c == ',') && runStart >= 0) {
            runEnd = i;
            ++runMarks;
            continue;
        }
        // So do marks between them (E10.5).
        if ((c == '.' || c == ',') && inWord && i < size && isNumberChar(data[i].unicode()))
            continue;
        flushRun();
        const bool wordBefore = inWord;
        inWord = isWordChar(c);
        if (inWord && !wordBefore)
            wordGluedToNumber = isNumberChar(before);
        else if (!inWord)
            wordGluedToNumber = false;
        auto after = [&] { return i < size ? codePointAt(QStringView(data + i, size - i), 0) : char32_t(0); };
        switch (c) {
        case '+':
        case '*':
        case '/':
        case '^':
            writeOperator(QChar(char16_t(c)), at);
            break;
        case '-':
            // A hyphen between letters is part of a word (E-Bike), and so
            // is one ending a word before another (Heiz- und Nebenkosten).
            // Joining needs a letter beside it.
            if (((isWordChar(before) || wordBefore) && isWordChar(after()))
                || ((isWordChar(before) || isWordChar(after())) && EngineWords::joinsAt(read, at))) {
                inWord = true;
                drop(c);
            } else {
                writeOperator(QLatin1Char('-'), at);
            }
            break;
        case 'x':
        case 'X': {
            // "×" only where no letter touches it (4 x 95, not Netflix, X-Box).
            const char32_t next = after();
            const bool hyphenWord = next == '-' && i + 1 < size && isWordChar(data[i + 1].unicode());
            if (isWordChar(before) || wordBefore || isWordChar(next) || hyphenWord) {
                inWord = true;
                drop(c);
            } else {
                writeOperator(QLatin1Char('*'), at);
                previousIsTimes = true;
                inWord = false;
            }
            break;
        }
        case ':': {
            const char32_t next = after();
            if (isNumberChar(before)) {
                // Glued to a number: a clock time (14:30) or a number
                // set off like a label (2024: 850) cannot be read.
                qsizetype digits = 0;
                qsizetype k = i;
                while (k < size && isDecimalDigit(data[k].unicode())) {
                    ++digits;
                    ++k;
                }
                if (digits == 2 && (k == size || !isNumberish(data[k].unicode())))
                    refuse(RefusalCode::clockTime, lastNumberStart, k);
                else if (isWhiteSpace(next))
                    refuse(RefusalCode::colonNumber, lastNumberStart, signedNumberEnd(read, i + 1));
                writeOperator(QLatin1Char('/'), at);
            } else if ((before && !isWhiteSpace(before) && isWhiteSpace(next)) || isWordChar(before)) {
                // Right after a word it ends a label (Summe: 100, Miete:850).
                drop(c);
            } else {
                writeOperator(QLatin1Char('/'), at);
            }
            break;
        }
        case '(':
            // Letters right before a bracket name a function the engine
            // does not have (max(3, 5), Sqrt(16)).
            if ((isWordChar(before) || wordBefore) && !beforeIsTimes) {
                refuse(RefusalCode::lettersBeforeBracket, at - EngineWords::lettersEndingAt(read, at).size(), at + 1);
            }
            // A number, words, then a bracket (8 Ticket cos(180)): no
            // operator says what the bracket does with the number.
            if (lastIsNumber && !afterOperator && droppedSinceOperator) {
                qsizetype close = i;
                for (qsizetype depth = 1; close < size && depth > 0; ++close)
                    depth += data[close] == QLatin1Char('(') ? 1 : data[close] == QLatin1Char(')') ? -1 : 0;
                refuse(RefusalCode::wordsBetweenNumbers, lastNumberStart, close);
            }
            put(QLatin1Char('('));
            wroteOperand(false);
            afterOpen = true;
            inWord = false;
            break;
        case ')':
            if (written && afterOperator && droppedSinceOperator)
                refuse(RefusalCode::operatorBeforeWords, lastOperatorAt, i);
            put(QLatin1Char(')'));
            wroteOperand(false);
            inWord = false;
            break;
        case '%':
            if (lastPercentAt >= 0 && lastNonBlankAt == lastPercentAt)
                refuse(RefusalCode::twoPercentSigns, lastPercentAt, i);
            lastPercentAt = at;
            percentDropped = true;
            drop(c);
            break;
        default:
            // After a word "!" is its exclamation mark (Achtung! 12 + 8).
            if (isArithmeticSign(c) && !(c == '!' && (isWordChar(before) || wordBefore)))
                refuse(RefusalCode::unknownSign, at, i);
            else if (isAsciiLetter(c) && !isWordChar(before) && !wordBefore
                     && isFunctionWordAt(QStringView(data, size), at))
                refuse(RefusalCode::functionWithoutValue, at, wordAfter(read, at));
            else if (EngineCatalogue::isDash(c)) {
                // A dash the operator step kept as a label's: before a
                // number it would be a sign nobody can tell from a dash
                // (Tom & Jerry –2).
                const qsizetype next = skipWhiteSpace(read, i);
                if (next < size && (isNumberChar(codePointAt(read, next)) || data[next] == QLatin1Char('(')))
                    refuse(RefusalCode::unknownSign, at, signedNumberEnd(read, i));
            }
            drop(c);
            break;
        }
    }
    flushRun();

    // A trailing operator vanishes while the row is being typed (100 +),
    // but not when words follow it (100 + Versand).
    if (written && afterOperator) {
        if (droppedSinceOperator || signAfterWords)
            refuse(RefusalCode::operatorBeforeWords, lastOperatorAt, size);
        while (out > 0 && isOperator(target[out - 1]))
            --out;
    }
    // A "%" no rule took: fine where every number is a percentage (10% +
    // 10%), else it would silently be dropped (19% * 200).
    if (percentDropped && numberWithoutPercent)
        refuse(RefusalCode::percentWithoutRule, lastPercentAt, lastPercentAt + 1);
    text.resize(out);
    std::copy(target, target + out, text.data());
}
