#include "Engine/CalculatorEnginePrivate.h"
#include "Engine/ExpressionText.h"

#include <array>

using namespace ExpressionText;

QString CalculatorEngine::sanitize(const QString& expression)
{
    const EngineSettings settings = m_settingsProvider();
    Pipeline pipeline{settings, std::nullopt};
    return sanitize(expression, pipeline);
}

QString CalculatorEngine::sanitize(const QString& expression, Pipeline& pipeline)
{
    QString text = normalizeWhitespace(expression);
    text = normalizeLocaleNumbers(text, pipeline.settings.decimalStyle);
    text = removeQuotedText(text);
    text = processCurrencyConversions(text, pipeline);
    text = normalizeOperatorSymbols(std::move(text));
    text = removeCurrencyMarks(text);
    text = removeThousandsSeparators(std::move(text));
    text = normalizeDuplicateOperators(std::move(text));
    text = processTaxLabels(text, pipeline);
    text = processPercentages(text);
    const QString withFunctions = processMathFunctions(text, pipeline);
    // A percentage right after a function call applies to the call's value,
    // which exists only now.
    if (withFunctions != text)
        text = processPercentages(withFunctions);
    return extractMathComponents(text);
}

QString CalculatorEngine::normalizeWhitespace(QString text)
{
    // Wide and narrow spaces become plain blanks; runs of blanks collapse.
    // Tabs and line breaks stay.
    QString result;
    result.reserve(text.size());
    for (QChar c : std::as_const(text)) {
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
        if (c == QLatin1Char(' ') && !result.isEmpty() && result.back() == QLatin1Char(' '))
            continue;
        result += c;
    }
    return result;
}

QString CalculatorEngine::normalizeLocaleNumbers(const QString& text, DecimalStyle style)
{
    // Number runs: a digit, then digits, "." and ",", ending in a digit.
    QString result;
    result.reserve(text.size());
    const QStringView view(text);
    qsizetype i = 0;
    while (i < view.size()) {
        qsizetype length = 1;
        if (!isDecimalDigit(codePointAt(view, i, &length))) {
            result += view.mid(i, length);
            i += length;
            continue;
        }
        const qsizetype start = i;
        qsizetype end = i + length; // just after the last digit of the run
        qsizetype j = end;
        while (j < view.size()) {
            const char32_t c = codePointAt(view, j, &length);
            if (c == '.' || c == ',') {
                j += length;
            } else if (isDecimalDigit(c)) {
                j += length;
                end = j;
            } else {
                break;
            }
        }
        for (qsizetype k = start; k < end; ++k) {
            const QChar c = view[k];
            if (style == DecimalStyle::germanComma) {
                if (c == QLatin1Char('.'))
                    continue;
                result += c == QLatin1Char(',') ? QLatin1Char('.') : c;
            } else if (c != QLatin1Char(',')) {
                result += c;
            }
        }
        i = end;
    }
    return result;
}

QString CalculatorEngine::removeQuotedText(const QString& text)
{
    // A quote, anything without a quote, and the closing quote vanish; a
    // quote without a partner stays.
    if (!text.contains(QLatin1Char('"')))
        return text;
    QString result;
    result.reserve(text.size());
    qsizetype i = 0;
    while (i < text.size()) {
        const qsizetype open = text.indexOf(QLatin1Char('"'), i);
        const qsizetype close = open < 0 ? -1 : text.indexOf(QLatin1Char('"'), open + 1);
        if (close < 0) {
            result += QStringView(text).mid(i);
            break;
        }
        result += QStringView(text).mid(i, open - i);
        i = close + 1;
    }
    return result;
}

QString CalculatorEngine::normalizeOperatorSymbols(QString text)
{
    static const QRegularExpression multiplicationXRegex = EngineRegex::compile(QStringLiteral(R"((\d)\s*[xX]\s*(\d))"));
    text.replace(QChar(0x00D7), QLatin1Char('*'));
    text.replace(QChar(0x00F7), QLatin1Char('/'));
    text.replace(QChar(0x2212), QLatin1Char('-'));
    if (text.contains(QLatin1Char('x'), Qt::CaseInsensitive)) {
        text.replace(multiplicationXRegex, QStringLiteral("\\1*\\2"));
        text.replace(QLatin1String(" x "), QLatin1String(" * "));
        text.replace(QLatin1String(" X "), QLatin1String(" * "));
    }
    text.replace(QLatin1String(" : "), QLatin1String(" / "));
    return text;
}

namespace {

// Removed in this order, case-sensitively, wherever they stand.
const std::array<QStringView, 28>& currencyMarks()
{
    static const std::array<QStringView, 28> marks = {
        u"$", u"€", u"£", u"¥", u"₹", u"₽", u"₩", u"฿", u"₪", u"₫", u"₴", u"₦", u"₱", u"₲",
        u"₡", u"₵", u"₸", u"₺", u"₼", u"₾", u"₿", u"CHF", u"kr", u"zł", u"Kč", u"Ft", u"R$", u"R",
    };
    return marks;
}

QString removeMarks(QStringView segment)
{
    QString text = segment.toString();
    for (QStringView mark : currencyMarks())
        text.remove(mark.toString());
    return text;
}

// Upper-case function names that hold the mark "R": a call of one of them
// keeps its name through the mark removal.
bool protectedCallAt(QStringView text, qsizetype i, qsizetype* length)
{
    static const std::array<QStringView, 3> names = {u"SQRT", u"FLOOR", u"ROUND"};
    if (i > 0 && isAsciiLetter(text[i - 1].unicode()))
        return false;
    for (QStringView name : names) {
        if (text.mid(i).startsWith(name) && i + name.size() < text.size()
            && text[i + name.size()] == QLatin1Char('(')) {
            *length = name.size();
            return true;
        }
    }
    return false;
}

} // namespace

QString CalculatorEngine::removeCurrencyMarks(const QString& text)
{
    const QStringView view(text);
    QString result;
    result.reserve(text.size());
    qsizetype segmentStart = 0;
    for (qsizetype i = 0; i < view.size(); ++i) {
        const QChar c = view[i];
        if (c != QLatin1Char('S') && c != QLatin1Char('F') && c != QLatin1Char('R'))
            continue;
        qsizetype length = 0;
        if (!protectedCallAt(view, i, &length))
            continue;
        result += removeMarks(view.mid(segmentStart, i - segmentStart));
        result += view.mid(i, length);
        i += length - 1;
        segmentStart = i + 1;
    }
    result += removeMarks(view.mid(segmentStart));
    return result;
}

QString CalculatorEngine::removeThousandsSeparators(QString text)
{
    static const QRegularExpression thousandsSepRegex = EngineRegex::compile(QStringLiteral(R"((\d),(\d{3})(?!\d))"));
    if (!text.contains(QLatin1Char(',')))
        return text;
    for (;;) {
        const QString before = text;
        text.replace(thousandsSepRegex, QStringLiteral("\\1\\2"));
        if (text == before)
            return text;
    }
}

namespace {

// A "+" or "-" followed, after optional white space, by another.
bool hasDoubledSign(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != QLatin1Char('+') && text[i] != QLatin1Char('-'))
            continue;
        qsizetype j = i + 1;
        while (j < text.size()) {
            qsizetype length = 1;
            if (!isWhiteSpace(codePointAt(text, j, &length)))
                break;
            j += length;
        }
        if (j < text.size() && (text[j] == QLatin1Char('+') || text[j] == QLatin1Char('-')))
            return true;
    }
    return false;
}

} // namespace

QString CalculatorEngine::normalizeDuplicateOperators(QString text)
{
    static const QRegularExpression doublePlusRegex = EngineRegex::compile(QStringLiteral(R"(\+\s*\+)"));
    static const QRegularExpression doubleMinusRegex = EngineRegex::compile(QStringLiteral(R"(-\s*-)"));
    static const QRegularExpression plusMinusRegex = EngineRegex::compile(QStringLiteral(R"(\+\s*-)"));
    static const QRegularExpression minusPlusRegex = EngineRegex::compile(QStringLiteral(R"(-\s*\+)"));
    if (text.isEmpty() || !hasDoubledSign(text))
        return text;
    for (;;) {
        const QString before = text;
        text.replace(doublePlusRegex, QStringLiteral("+"));
        text.replace(doubleMinusRegex, QStringLiteral("+"));
        text.replace(plusMinusRegex, QStringLiteral("-"));
        text.replace(minusPlusRegex, QStringLiteral("-"));
        if (text == before)
            return text;
    }
}

namespace {

bool isOperatorComponent(QStringView component)
{
    if (component.size() != 1)
        return false;
    switch (component[0].unicode()) {
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

QString CalculatorEngine::extractMathComponents(const QString& text)
{
    QStringList components;
    QString run;
    QString placeholder;
    bool inPlaceholder = false;
    auto flushRun = [&] {
        if (!run.isEmpty()) {
            components.append(normalizeNumberFormat(run));
            run.clear();
        }
    };

    const QStringView view(text);
    for (qsizetype i = 0; i < view.size();) {
        qsizetype length = 1;
        const char32_t c = codePointAt(view, i, &length);
        const QStringView character = view.mid(i, length);
        i += length;
        if (c == '{') {
            flushRun();
            placeholder = QStringLiteral("{");
            inPlaceholder = true;
        } else if (inPlaceholder) {
            placeholder += character;
            if (c == '}') {
                components.append(placeholder);
                placeholder.clear();
                inPlaceholder = false;
            }
        } else if (isNumberChar(c)) {
            run += character;
        } else if ((c == '.' || c == ',') && !run.isEmpty()) {
            run += character;
        } else {
            flushRun();
            switch (c) {
            case '+':
            case '-':
            case '*':
            case '/':
            case '^':
            case '(':
            case ')':
                components.append(character.toString());
                break;
            case 'x':
            case 'X':
                components.append(QStringLiteral("*"));
                break;
            case ':':
                components.append(QStringLiteral("/"));
                break;
            default:
                break; // words, blanks, "%", stray marks
            }
        }
    }
    flushRun();

    QString result;
    result.reserve(text.size());
    bool afterOperator = true;
    for (const QString& component : std::as_const(components)) {
        const bool isOperator = isOperatorComponent(component);
        if (!(isOperator && afterOperator && component != QLatin1String("-")))
            result += component;
        afterOperator = isOperator;
    }
    while (!result.isEmpty() && isOperatorComponent(QStringView(result).right(1)))
        result.chop(1);
    return result;
}
