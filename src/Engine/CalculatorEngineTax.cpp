#include "Engine/CalculatorEnginePrivate.h"
#include "Engine/EngineCatalogue.h"
#include "Engine/EngineWords.h"
#include "Engine/ExpressionParser.h"
#include "Engine/ExpressionText.h"

#include <QVarLengthArray>

#include <algorithm>
#include <cmath>

using namespace ExpressionText;

namespace {

// Tax labels and percentages are found by scanning the text by hand: the
// rules are fixed, and a scan costs far less than a pattern per rule.

// The text before a position ends in a number or a percentage, directly or
// after white space: a label there names what the amount is (100 MwSt,
// 19% MwSt), it adds nothing.
bool endsInAmount(QStringView text, qsizetype end)
{
    while (end > 0) {
        qsizetype length = 1;
        const char32_t c = codePointBefore(text, end, &length);
        if (isWhiteSpace(c)) {
            end -= length;
            continue;
        }
        return isDecimalDigit(c) || c == '%';
    }
    return false;
}

// A hyphen between two letters joins them into one word (Wi-Fi, E-Bike,
// MwSt-frei), and one ending a word before another is the word's (Heiz-
// und): no operator, whatever follows the word.
bool hyphenInWord(QStringView text, qsizetype i)
{
    return text[i] == QLatin1Char('-') && EngineWords::joinsAt(text, i);
}

// A mark that ends the word before it (Achtung!, Nr., Summe:).
bool endsWord(char32_t c)
{
    return c == '!' || c == '.' || c == ':';
}

// An apostrophe touching a letter is part of a word (Tom's, Lukas', 'Tom').
bool apostropheInWord(QStringView text, qsizetype i)
{
    const char32_t c = codePointAt(text, i);
    return (c == '\'' || c == 0x2019) && (isWordChar(codePointBefore(text, i)) || isWordChar(codePointAt(text, i + 1)));
}

// A unit or currency word between a number and its percentage or tax
// belongs to the number (200 Euro - 10%, 2 kg + 10%), and so does any
// label word (100 Wi-Fi - 14%, 100 Achtung! - 10%): where the number ends
// when words stand between it and `end`, else `end`.
qsizetype skipUnitWordsBack(QStringView text, qsizetype end, qsizetype from)
{
    qsizetype i = end;
    bool word = false;
    qsizetype wordEnd = -1; // the end of the word being walked
    auto isValueWord = [&](qsizetype start) {
        // A constant or a times "x" is no unit: the percentage applies to it.
        const QStringView w = text.mid(start, wordEnd - start);
        return EngineCatalogue::isConstantName(w) || w == u"x" || w == u"X";
    };
    while (i > from) {
        qsizetype length = 1;
        const char32_t c = codePointBefore(text, i, &length);
        auto letterBefore = [&] { return i - length > from && isWordChar(codePointBefore(text, i - length)); };
        if (isWordChar(c) || (c == '.' && word) || EngineCatalogue::isUnitPower(c)
            || (c == '-' && (wordEnd >= 0 || EngineWords::isHangingHyphen(text, i - length)) && EngineWords::joinsAt(text, i - length))
            || apostropheInWord(text, i - length)) {
            if (wordEnd < 0)
                wordEnd = i;
            word = true;
        } else if (endsWord(c) && wordEnd < 0 && letterBefore()) {
            // The word's own mark: the word itself starts before it.
        } else if (!isWhiteSpace(c)) {
            break;
        } else if (wordEnd >= 0) {
            if (isValueWord(i))
                return end;
            wordEnd = -1;
        }
        i -= length;
    }
    if (wordEnd >= 0 && isValueWord(i))
        return end;
    if (!word || i <= from || !isDecimalDigit(codePointBefore(text, i)))
        return end;
    return i;
}

bool isMark(char32_t c, bool commaToo)
{
    return c == '.' || (commaToo && c == ',');
}

// Where the number that ends at `end` starts: digits, at most one decimal
// mark (not first), digits; the leftmost such start at or after `from`.
// None when no digit stands right before the number's end or its mark.
qsizetype numberStartBefore(QStringView text, qsizetype from, qsizetype end, bool commaToo)
{
    qsizetype start = -1;
    bool marked = false;
    for (qsizetype i = end; i > from;) {
        qsizetype length = 1;
        const char32_t c = codePointBefore(text, i, &length);
        if (isDecimalDigit(c)) {
            i -= length;
            start = i;
        } else if (isMark(c, commaToo) && !marked) {
            marked = true;
            i -= length;
        } else {
            break;
        }
    }
    return start;
}

// The end of the number that starts at `i` (digits, an optional mark,
// digits); -1 when no digit stands at `i`.
qsizetype numberEndAfter(QStringView text, qsizetype i)
{
    const qsizetype afterDigits = digitRunEnd(text, i);
    if (afterDigits == i)
        return -1;
    if (afterDigits < text.size() && isMark(text[afterDigits].unicode(), true))
        return digitRunEnd(text, afterDigits + 1);
    return afterDigits;
}

// A number as typed, with "," read as the decimal point.
std::optional<double> readNumber(QStringView text)
{
    char buffer[64];
    if (text.size() > qsizetype(sizeof buffer))
        return readDouble(text.toString().replace(QLatin1Char(','), QLatin1Char('.')));
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c >= 0x80)
            return std::nullopt;
        buffer[i] = c == ',' ? '.' : char(c);
    }
    return readDouble(std::string_view(buffer, size_t(text.size())));
}

// The percentage after an operator: optional white space, an optional "-"
// (a negative percentage, as a linked value or a tax rate gives), the
// number, optional white space and "%". Its value and the index after "%".
struct Percent {
    double value = 0;
    qsizetype end = -1;
    bool readable = false; // else it stays as written
};

std::optional<Percent> percentAfter(QStringView text, qsizetype i)
{
    i = skipWhiteSpace(text, i);
    // Words between the operator and the percentage name it (100 +
    // Trinkgeld 10%, E-Bike 10%). A constant or a call there is the
    // operand itself (100 - pi - 10%).
    while (i < text.size()) {
        // An apostrophe opening a quoted word ('Tom').
        const qsizetype start = i + (apostropheInWord(text, i) ? 1 : 0);
        if (start >= text.size() || !isWordChar(codePointAt(text, start)))
            break;
        qsizetype j = EngineWords::wordAt(text, start).end;
        // The word's closing marks (Achtung!, Nr., Summe:, 'Tom').
        while (j < text.size() && (endsWord(text[j].unicode()) || EngineWords::isApostrophe(text[j].unicode())))
            ++j;
        const QStringView word = text.mid(i, j - i);
        if (EngineCatalogue::isConstantName(word) || EngineCatalogue::isFunctionName(word))
            return std::nullopt;
        i = skipWhiteSpace(text, j);
    }
    bool negative = false;
    // A linked negative value stands in brackets: (-10)%.
    const bool bracketed = i + 1 < text.size() && text[i] == QLatin1Char('(') && text[i + 1] == QLatin1Char('-');
    if (bracketed)
        ++i;
    if (i < text.size() && text[i] == QLatin1Char('-')) {
        negative = true;
        i = skipWhiteSpace(text, i + 1);
    }
    const qsizetype numberEnd = numberEndAfter(text, i);
    if (numberEnd < 0)
        return std::nullopt;
    qsizetype afterNumber = numberEnd;
    if (bracketed) {
        if (afterNumber >= text.size() || text[afterNumber] != QLatin1Char(')'))
            return std::nullopt;
        ++afterNumber;
    }
    const qsizetype percentAt = skipWhiteSpace(text, afterNumber);
    if (percentAt >= text.size() || text[percentAt] != QLatin1Char('%'))
        return std::nullopt;
    Percent percent;
    percent.end = percentAt + 1;
    const std::optional<double> value = readNumber(text.mid(i, numberEnd - i));
    if (value && std::isfinite(*value)) {
        percent.value = negative ? -*value : *value;
        percent.readable = true;
    }
    return percent;
}

enum class PercentOperation { add, subtract, multiply, divide };

constexpr std::pair<PercentOperation, char16_t> percentRules[] = {
    {PercentOperation::add, '+'},
    {PercentOperation::subtract, '-'},
    {PercentOperation::multiply, '*'},
    {PercentOperation::divide, '/'},
};

std::optional<double> applyPercent(PercentOperation operation, double amount, double percent)
{
    switch (operation) {
    case PercentOperation::add: return amount * (percent / 100 + 1);
    case PercentOperation::subtract: return amount * (percent / -100 + 1);
    case PercentOperation::multiply: return amount * (percent / 100);
    case PercentOperation::divide:
        if (percent == 0)
            return std::nullopt;
        return amount / (percent / 100);
    }
    return std::nullopt;
}


// Collects the replacements of one rule and applies them in one copy.
struct Rewrite {
    explicit Rewrite(QStringView text) : source(text) {}

    QStringView source;
    QString result;
    qsizetype copied = 0;

    void replace(qsizetype start, qsizetype end)
    {
        if (result.isNull())
            result.reserve(source.size() + 16);
        result += source.mid(copied, start - copied);
        copied = end;
    }
    // Writes the rest back into `text`, when anything was replaced.
    void finish(QString& text)
    {
        if (result.isNull())
            return;
        result += source.mid(copied);
        text = std::move(result);
    }
};

} // namespace

// ---------------------------------------------------------------------------
// Tax labels

const CalculatorEngine::FoldedLabel& CalculatorEngine::foldedLabel(const QString& label)
{
    const auto found = m_labelCache.constFind(label);
    if (found != m_labelCache.constEnd())
        return *found;
    // Should labels pile up without the rates changing, start afresh.
    if (m_labelCache.size() >= 4096)
        m_labelCache.clear();
    FoldedLabel folded;
    for (qsizetype i = 0; i < label.size();) {
        qsizetype length = 1;
        folded.codePoints.append(QChar::toCaseFolded(codePointAt(label, i, &length)));
        i += length;
    }
    folded.startsWithSpace = !folded.codePoints.isEmpty() && isWhiteSpace(folded.codePoints.front());
    return *m_labelCache.insert(label, folded);
}

namespace {

// The end of the label when it stands at `i` (case-insensitive), else -1.
// A word of it may end in an abbreviation point (MwSt. reduziert).
qsizetype labelEndAt(QStringView text, qsizetype i, const QList<char32_t>& label)
{
    const qsizetype start = i;
    for (char32_t expected : label) {
        if (i >= text.size())
            return -1;
        qsizetype length = 1;
        const char32_t c = codePointAt(text, i, &length);
        const bool same = c == expected
            || (c < 0x80 ? isAsciiLetter(c) && char32_t(c | 0x20) == expected : QChar::toCaseFolded(c) == expected);
        if (!same) {
            if (expected == ' ' && i > start && c == '.' && isWordChar(codePointBefore(text, i))) {
                ++i;
                if (i < text.size() && isWhiteSpace(text[i].unicode()))
                    ++i;
                continue;
            }
            return -1;
        }
        i += length;
    }
    return i;
}

// Some character of the text may start the label.
bool mayStartLabel(QStringView text, char32_t first)
{
    const bool asciiLetter = first < 0x80 && isAsciiLetter(first);
    for (QChar c : text) {
        const char16_t u = c.unicode();
        // Beyond ASCII only the Kelvin sign and the long s fold to ASCII letters.
        if (u == first || (asciiLetter && char32_t(u | 0x20) == first)
            || (u >= 0x80 && (!asciiLetter || u == 0x212A || u == 0x017F)))
            return true;
    }
    return false;
}

// A word that makes a rate another one, right before or after the label
// (reduzierte MwSt, MwSt red.): the stretch from the one to the other.
std::optional<std::pair<qsizetype, qsizetype>> rateWordBeside(QStringView text, qsizetype start, qsizetype end)
{
    // Rate words by their letters (MwSt red.).
    const qsizetype after = skipWhiteSpace(text, end);
    if (const qsizetype afterEnd = after + EngineWords::lettersAt(text, after).size(); afterEnd > after && EngineCatalogue::isRateWord(text.mid(after, afterEnd - after)))
        return std::pair(start, afterEnd < text.size() && text[afterEnd] == QLatin1Char('.') ? afterEnd + 1 : afterEnd);
    const qsizetype beforeEnd = skipWhiteSpaceBack(text, start);
    const qsizetype before = beforeEnd - EngineWords::lettersEndingAt(text, beforeEnd).size();
    if (before < beforeEnd && EngineCatalogue::isRateWord(text.mid(before, beforeEnd - before)))
        return std::pair(before, end);
    return std::nullopt;
}

// The label on its own becomes its rate as a percentage, except right
// after a number or a percentage ("100 MwSt" keeps it). A word beside it
// that makes it another rate (MwSt ermäßigt) leaves the text as it is and
// gives its stretch.
std::optional<std::pair<qsizetype, qsizetype>> applyTaxAlone(QString& text, const QList<char32_t>& label, double rate)
{
    const QStringView view(text);
    Rewrite rewrite(view);
    const char32_t first = label.front();
    // An ASCII character that cannot start the label is passed over before
    // the full comparison; a lower-case ASCII letter starts it in either case.
    const char16_t eitherCase = first >= 'a' && first <= 'z' ? 0x20 : 0;
    const QChar* data = view.data();
    qsizetype lastEnd = -1;
    for (qsizetype i = 0; i < view.size();) {
        if (const char16_t u = data[i].unicode(); u < 0x80 && char32_t(u | eitherCase) != first) {
            ++i;
            continue;
        }
        qsizetype end = labelEndAt(view, i, label);
        if (end < 0) {
            qsizetype length = 1;
            codePointAt(view, i, &length);
            i += length;
            continue;
        }
        // Joined by a hyphen to a word it is part of that word, a label
        // (MwSt-frei 50, MwSt-Anteil 119 / 1,19 x 0,19).
        const bool compound = (end + 1 < view.size() && view[end] == QLatin1Char('-') && isWordChar(codePointAt(view, end + 1)))
            || (i >= 2 && view[i - 1] == QLatin1Char('-') && isWordChar(codePointBefore(view, i - 1)));
        if (compound) {
            i = end;
            continue;
        }
        if (end < view.size() && view[end] == QLatin1Char('.'))
            ++end;
        // A label right after one just read names its rate (+MwStMwSt).
        const bool repeated = lastEnd >= 0 && skipWhiteSpaceBack(view, i) == lastEnd;
        if (!endsInAmount(view, i) && !repeated) {
            if (const auto beside = rateWordBeside(view, i, end))
                return beside;
            lastEnd = end;
            rewrite.replace(i, end);
            // Whole rates as their digits (19), others as their shortest text (5.5).
            appendPlainNumber(rewrite.result, rate == 0 ? 0.0 : rate);
            rewrite.result += QLatin1Char('%');
        }
        i = end;
    }
    rewrite.finish(text);
    return std::nullopt;
}

} // namespace

void CalculatorEngine::processTaxLabels(QString& text, Pipeline& pipeline)
{
    const QList<CalcSettings::TaxRate>& rates = pipeline.settings.enabledTaxRates;
    if (rates.isEmpty() || text.isEmpty())
        return;
    // Longest label first, so "MwSt reduziert" is not eaten by "MwSt".
    QVarLengthArray<std::pair<qsizetype, qsizetype>, 8> order; // length, index
    for (qsizetype i = 0; i < rates.size(); ++i) {
        if (!rates[i].label.isEmpty())
            order.append({codePointCount(rates[i].label), i});
    }
    std::stable_sort(order.begin(), order.end(),
                     [](const std::pair<qsizetype, qsizetype>& a, const std::pair<qsizetype, qsizetype>& b) {
                         return a.first > b.first;
                     });

    for (const std::pair<qsizetype, qsizetype>& entry : std::as_const(order)) {
        const CalcSettings::TaxRate& rate = rates[entry.second];
        const FoldedLabel& folded = foldedLabel(rate.label);
        if (!mayStartLabel(text, folded.codePoints.front()))
            continue;
        // A tax by name is its percentage, wherever it stands: the
        // percentage step then reads "1 / 5 + MwSt" as "1 / 5 + 19%".
        if (const auto beside = applyTaxAlone(text, folded.codePoints, rate.rate)) {
            pipeline.refuse(RefusalCode::taxRateWord, text, beside->first, beside->second);
            return;
        }
    }
}

// ---------------------------------------------------------------------------
// Percentages

// One pass from left to right. A percentage after an operator applies to
// the number or bracket group right before the operator, and what it writes
// is that operand for the next one: 100 + 10% + 10% is 121.
void CalculatorEngine::processPercentages(QString& text, Pipeline& pipeline, PercentPass pass)
{
    if (!text.contains(QLatin1Char('%')))
        return;
    // Two percent signs are never one percentage (100 + 19%%).
    for (qsizetype i = text.indexOf(QLatin1Char('%')); i >= 0; i = text.indexOf(QLatin1Char('%'), i + 1)) {
        const qsizetype next = skipWhiteSpace(text, i + 1);
        if (next < text.size() && text[next] == QLatin1Char('%')) {
            pipeline.refuse(RefusalCode::twoPercentSigns, text, i, next + 1);
            return;
        }
        // Digits glued after the sign would run into the value the
        // percentage leaves (100 + 19%5 is no 1195).
        qsizetype digits = i + 1;
        if (digits + 1 < text.size() && (text[digits] == QLatin1Char('.') || text[digits] == QLatin1Char(','))
            && text[digits + 1].isDigit())
            ++digits;
        if (digits < text.size() && text[digits].isDigit()) {
            qsizetype end = digits;
            while (end < text.size() && text[end].isDigit())
                ++end;
            pipeline.refuse(RefusalCode::unreadable, text, i, end);
            return;
        }
    }
    const QStringView in(text);
    QString out;
    out.reserve(in.size());
    // Every bracket still open in `out`: where its "(" stands, and what the
    // group holds so far. A group holding a group that could not be worked
    // out cannot be either, and one holding a call or a constant waits for
    // their values: neither is read again, so nesting stays one pass.
    struct Group {
        qsizetype open = -1;
        bool waits = false;
        bool unreadable = false;
    };
    QVarLengthArray<Group, 16> opens;
    Group closed; // the group of the last ")" written
    qsizetype lastClose = -1;
    auto markTop = [&opens](bool waits, bool unreadable) {
        if (!opens.isEmpty()) {
            opens.back().waits = opens.back().waits || waits;
            opens.back().unreadable = opens.back().unreadable || unreadable;
        }
    };
    bool changed = false;
    for (qsizetype i = 0; i < in.size();) {
        const QChar c = in[i];
        if (c == QLatin1Char('(')) {
            if (isFunctionName(asciiLetterRunBefore(out, out.size())))
                markTop(true, false);
            opens.append({out.size(), false, false});
            out += c;
            ++i;
            continue;
        }
        if (c == QLatin1Char(')')) {
            lastClose = opens.isEmpty() ? -1 : out.size();
            if (!opens.isEmpty()) {
                closed = opens.back();
                opens.removeLast();
                markTop(closed.waits, closed.unreadable);
            }
            out += c;
            ++i;
            continue;
        }
        if (startsConstant(in, i))
            markTop(true, false);
        const auto rule = std::find_if(std::begin(percentRules), std::end(percentRules),
                                       [c](const auto& r) { return c == QChar(r.second); });
        std::optional<Percent> percent;
        if (rule != std::end(percentRules) && !hyphenInWord(in, i))
            percent = percentAfter(in, i + 1);
        if (!percent) {
            out += c;
            ++i;
            continue;
        }
        const QStringView written(out);
        const qsizetype operandEnd = skipWhiteSpaceBack(written, written.size(), 0);
        qsizetype operandStart = -1;
        std::optional<double> operand;
        if (operandEnd > 0 && written[operandEnd - 1] == QLatin1Char(')')) {
            // A bracket group. The brackets of a call hold its argument: the
            // percentage waits for the call's value, if any. A group
            // holding a call or a constant is worked out once their values
            // stand in the text.
            if (lastClose == operandEnd - 1 && !letterBeforeBracket(written, closed.open)) {
                const QStringView group = written.mid(closed.open, operandEnd - closed.open);
                if (pass == PercentPass::beforeCalls && closed.waits) {
                    pipeline.groupWaitsForCalls = true;
                } else if (percent->readable && !closed.unreadable) {
                    operand = tryEvaluateSimple(group);
                    if (!operand)
                        markTop(false, true);
                }
                operandStart = closed.open;
            }
        } else {
            const qsizetype numberEnd = skipUnitWordsBack(written, operandEnd, 0);
            operandStart = numberStartBefore(written, 0, numberEnd, true);
            if (operandStart >= 0 && percent->readable)
                operand = readNumber(written.mid(operandStart, numberEnd - operandStart));
        }
        // A number past the double range stays as written: the parser
        // refuses it.
        if (!operand || !std::isfinite(*operand)) {
            out += c;
            ++i;
            continue;
        }
        if (rule->first == PercentOperation::divide && percent->value == 0) {
            if (!pipeline.failure)
                pipeline.failure = CalculationError::divisionByZero();
            return;
        }
        const double value = *applyPercent(rule->first, *operand, percent->value);
        if (!std::isfinite(value)) {
            // Overflowed: the row fails rather than the percentage dropping out.
            EngineRefusal::notFinite(pipeline.failure);
            out += c;
            ++i;
            continue;
        }
        out.truncate(operandStart);
        // A negative value after a number or a word keeps its brackets, as
        // a call's does: its sign is no minus (8 Ticket tan(-12) + 19%).
        const qsizetype before = skipWhiteSpaceBack(out, out.size());
        const bool bracket = value < 0 && before > 0 && !QStringView(u"+-*/^(").contains(out[before - 1]);
        if (bracket)
            out += QLatin1Char('(');
        appendCanonicalNumber(out, value);
        if (bracket)
            out += QLatin1Char(')');
        lastClose = -1;
        i = percent->end;
        changed = true;
    }
    if (changed)
        text = std::move(out);
}

std::optional<double> CalculatorEngine::tryEvaluateSimple(QStringView group)
{
    // The group as the last step reads it, then computed with all it holds.
    QString text = group.toString();
    std::optional<CalculationError> failure;
    extractMathComponents(text, failure, text.contains(QLatin1Char('%')));
    if (failure || text.isEmpty() || !hasBalancedParentheses(text))
        return std::nullopt;
    const ExpressionParser::Result result = ExpressionParser::evaluate(text);
    if (!result.ok)
        return std::nullopt;
    return result.value;
}
