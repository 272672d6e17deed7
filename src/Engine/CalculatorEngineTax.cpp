#include "Engine/CalculatorEnginePrivate.h"
#include "Engine/ExpressionParser.h"
#include "Engine/ExpressionText.h"

#include <QVarLengthArray>

#include <algorithm>
#include <cmath>

using namespace ExpressionText;

namespace {

// Whole rates as their digits (19), others as their shortest text (5.5).
QString rateText(double rate)
{
    return plainNumber(rate == 0 ? 0.0 : rate);
}

// The text before a position ends in a digit, directly or after white space.
bool endsInDigit(QStringView text, qsizetype end)
{
    while (end > 0) {
        qsizetype length = 1;
        const char32_t c = codePointBefore(text, end, &length);
        if (isWhiteSpace(c)) {
            end -= length;
            continue;
        }
        return isDecimalDigit(c);
    }
    return false;
}

// Every rule needs the label; an ASCII first letter rules most texts out
// before the slower case-insensitive search.
bool mayContainLabel(const QString& text, const QString& label)
{
    const char16_t first = label.front().unicode();
    if (first < 0x80 && QChar::isLetter(first)) {
        if (!text.contains(QChar(first | 0x20)) && !text.contains(QChar(first & ~0x20))
            && !((first | 0x20) == 'k' && text.contains(QChar(0x212A)))  // Kelvin sign
            && !((first | 0x20) == 's' && text.contains(QChar(0x017F)))) // long s
            return false;
    }
    return text.contains(label, Qt::CaseInsensitive);
}

// Some `sign` stands, white space aside, between a character accepted by
// `before` and one accepted by `after`: what every rule here needs before
// its pattern can match. Saves running patterns that cannot match.
template <typename Before, typename After>
bool signBetween(QStringView text, QChar sign, Before&& before, After&& after)
{
    for (qsizetype i = text.indexOf(sign); i >= 0; i = text.indexOf(sign, i + 1)) {
        qsizetype b = i;
        while (b > 0 && isWhiteSpace(text[b - 1].unicode()))
            --b;
        if (b == 0 || !before(codePointBefore(text, b)))
            continue;
        qsizetype a = i + 1;
        while (a < text.size() && isWhiteSpace(text[a].unicode()))
            ++a;
        if (a < text.size() && after(codePointAt(text, a)))
            return true;
    }
    return false;
}

bool isDigitOrMark(char32_t c)
{
    return isDecimalDigit(c) || c == '.' || c == ',';
}

} // namespace

QString CalculatorEngine::processTaxLabels(const QString& text, Pipeline& pipeline)
{
    const QList<CalcSettings::TaxRate>& rates = pipeline.settings.enabledTaxRates;
    if (rates.isEmpty())
        return text;
    // Longest label first, so "MwSt reduziert" is not eaten by "MwSt".
    QVarLengthArray<qsizetype, 8> order;
    for (qsizetype i = 0; i < rates.size(); ++i)
        order.append(i);
    std::stable_sort(order.begin(), order.end(), [&rates](qsizetype a, qsizetype b) {
        return codePointCount(rates[a].label) > codePointCount(rates[b].label);
    });

    QString result = text;
    for (qsizetype index : order) {
        const CalcSettings::TaxRate& rate = rates[index];
        if (rate.label.isEmpty() || !mayContainLabel(result, rate.label))
            continue;
        const double r = rate.rate;

        // Adding needs a number, "+" and the label; taking off the same with "-".
        const char16_t first = rate.label.front().unicode();
        const bool asciiLetter = first < 0x80 && QChar::isLetter(first);
        auto startsLabel = [first, asciiLetter](char32_t c) {
            return !asciiLetter || c >= 0x80 || QChar::toCaseFolded(c) == QChar::toCaseFolded(char32_t(first));
        };
        if (signBetween(result, QLatin1Char('+'), isDigitOrMark, startsLabel)) {
            if (const auto add = getCachedRegex(DynamicPattern::taxAdded, rate.label)) {
            const QString multiplier = decimalNumber(r / 100 + 1);
            result = EngineRegex::replaceEachMatch(result, *add, [&](const QRegularExpressionMatch& m) -> std::optional<QString> {
                return m.captured(1) + QLatin1Char('*') + multiplier;
            });
        }
        }
        if (signBetween(result, QLatin1Char('-'), isDigitOrMark, startsLabel)) {
            if (const auto subtract = getCachedRegex(DynamicPattern::taxTakenOff, rate.label)) {
            const QString multiplier = decimalNumber(r / -100 + 1);
            result = EngineRegex::replaceEachMatch(result, *subtract, [&](const QRegularExpressionMatch& m) -> std::optional<QString> {
                return m.captured(1) + QLatin1Char('*') + multiplier;
            });
        }
        }
        if (const auto alone = getCachedRegex(DynamicPattern::taxAlone, rate.label)) {
            // Right after a number ("100 MwSt") the label stays; a pattern
            // cannot look back over any amount of white space, so test here.
            const QString percent = rateText(r) + QLatin1Char('%');
            const QString& current = result;
            result = EngineRegex::replaceEachMatch(current, *alone, [&](const QRegularExpressionMatch& m) -> std::optional<QString> {
                if (endsInDigit(current, m.capturedStart()))
                    return std::nullopt;
                return percent;
            });
        }
    }
    return result;
}

namespace {

std::optional<double> percentOperand(QStringView text)
{
    QString number = text.toString();
    number.replace(QLatin1Char(','), QLatin1Char('.'));
    return readDouble(number);
}

enum class PercentOperation { add, subtract, multiply, divide };

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

} // namespace

QString CalculatorEngine::processPercentages(const QString& input)
{
    static const QRegularExpression percentAddRegex =
        EngineRegex::compile(QStringLiteral(R"((\d+[.,]?\d*)\s*\+\s*(\d+[.,]?\d*)\s*%)"));
    static const QRegularExpression percentSubRegex =
        EngineRegex::compile(QStringLiteral(R"((\d+[.,]?\d*)\s*-\s*(\d+[.,]?\d*)\s*%)"));
    static const QRegularExpression percentMulRegex =
        EngineRegex::compile(QStringLiteral(R"((\d+[.,]?\d*)\s*\*\s*(\d+[.,]?\d*)\s*%)"));
    static const QRegularExpression percentDivRegex =
        EngineRegex::compile(QStringLiteral(R"((\d+[.,]?\d*)\s*/\s*(\d+[.,]?\d*)\s*%)"));

    if (!input.contains(QLatin1Char('%')))
        return input;
    QString text = processParenthesizedPercentage(input);

    const std::tuple<const QRegularExpression*, PercentOperation, QChar> rules[] = {
        {&percentAddRegex, PercentOperation::add, QLatin1Char('+')},
        {&percentSubRegex, PercentOperation::subtract, QLatin1Char('-')},
        {&percentMulRegex, PercentOperation::multiply, QLatin1Char('*')},
        {&percentDivRegex, PercentOperation::divide, QLatin1Char('/')},
    };
    for (const auto& [regex, operation, sign] : rules) {
        if (!signBetween(text, sign, isDigitOrMark, isDecimalDigit))
            continue;
        text = EngineRegex::replaceEachMatch(text, *regex, [operation = operation](const QRegularExpressionMatch& m) -> std::optional<QString> {
            const std::optional<double> a = percentOperand(m.capturedView(1));
            const std::optional<double> b = percentOperand(m.capturedView(2));
            if (!a || !b)
                return std::nullopt;
            const std::optional<double> value = applyPercent(operation, *a, *b);
            // An overflowing value keeps the text; written as "0" it would
            // be a wrong result instead of an error.
            if (!value || !std::isfinite(*value))
                return std::nullopt;
            return canonicalNumber(*value);
        });
    }
    return text;
}

QString CalculatorEngine::processParenthesizedPercentage(QString text)
{
    static const QRegularExpression parenPercentAddRegex =
        EngineRegex::compile(QStringLiteral(R"(\)\s*\+\s*(\d+[.,]?\d*)\s*%)"));
    static const QRegularExpression parenPercentSubRegex =
        EngineRegex::compile(QStringLiteral(R"(\)\s*-\s*(\d+[.,]?\d*)\s*%)"));
    static const QRegularExpression parenPercentMulRegex =
        EngineRegex::compile(QStringLiteral(R"(\)\s*\*\s*(\d+[.,]?\d*)\s*%)"));

    const std::tuple<const QRegularExpression*, PercentOperation, QChar> rules[] = {
        {&parenPercentAddRegex, PercentOperation::add, QLatin1Char('+')},
        {&parenPercentSubRegex, PercentOperation::subtract, QLatin1Char('-')},
        {&parenPercentMulRegex, PercentOperation::multiply, QLatin1Char('*')},
    };
    if (!text.contains(QLatin1Char(')')))
        return text;
    for (const auto& [regex, operation, sign] : rules) {
        if (!signBetween(text, sign, [](char32_t c) { return c == ')'; }, isDecimalDigit))
            continue;
        const QRegularExpressionMatch match = regex->match(text);
        if (!match.hasMatch())
            continue;
        const std::optional<double> percent = percentOperand(match.capturedView(1));
        if (!percent)
            continue;
        const qsizetype matchStart = match.capturedStart();
        const std::optional<qsizetype> open = findMatchingOpenParen(QStringView(text).left(matchStart));
        if (!open)
            continue;
        // The bracket of a function call is the call's argument, not a
        // group: its percentage waits for the call's value. A lone "x"
        // before a bracket is a multiplication sign, not a name.
        if (*open > 0) {
            const QStringView before = QStringView(text).left(*open);
            const char32_t previous = codePointBefore(before, before.size());
            const bool loneX = (previous == 'x' || previous == 'X')
                && (before.size() < 2 || !isAsciiLetter(before[before.size() - 2].unicode()));
            if (QChar::isLetter(previous) && !loneX)
                continue;
        }
        const QString group = QStringView(text).mid(*open, matchStart - *open).toString() + QLatin1Char(')');
        const std::optional<double> groupValue = tryEvaluateSimple(group);
        if (!groupValue)
            continue;
        const double value = operation == PercentOperation::multiply ? (*percent / 100) * *groupValue
                                                                      : *applyPercent(operation, *groupValue, *percent);
        if (!std::isfinite(value))
            continue;
        text.replace(*open, match.capturedEnd() - *open, canonicalNumber(value));
    }
    return text;
}

std::optional<double> CalculatorEngine::tryEvaluateSimple(QStringView group)
{
    QString kept;
    kept.reserve(group.size());
    for (qsizetype i = 0; i < group.size();) {
        qsizetype length = 1;
        const char32_t c = codePointAt(group, i, &length);
        if (isNumberChar(c) || QStringView(u"+-*/(). ").contains(QChar(char16_t(c < 0x10000 ? c : 0))))
            kept += group.mid(i, length);
        i += length;
    }
    while (kept.contains(QLatin1String("  ")))
        kept.replace(QLatin1String("  "), QLatin1String(" "));
    kept = kept.trimmed();
    if (kept.isEmpty() || !hasBalancedParentheses(kept))
        return std::nullopt;
    const ExpressionParser::Result result = ExpressionParser::evaluate(kept);
    if (!result.ok)
        return std::nullopt;
    return result.value;
}
