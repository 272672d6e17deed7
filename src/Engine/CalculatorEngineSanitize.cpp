#include "Engine/CalculatorEnginePrivate.h"
#include "Engine/ExpressionText.h"

#include <algorithm>
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
    bool unchanged = true;
    for (qsizetype i = 0; i < text.size() && unchanged; ++i) {
        const char16_t c = text[i].unicode();
        unchanged = c < 0xA0 ? !(c == ' ' && i > 0 && text[i - 1] == QLatin1Char(' '))
                             : !(c == 0x00A0 || (c >= 0x2007 && c <= 0x200A) || c == 0x202F
                                 || c == 0x205F || c == 0x3000);
    }
    if (unchanged)
        return text;
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
    // Only the marks inside runs change.
    if (!text.contains(QLatin1Char('.')) && !text.contains(QLatin1Char(',')))
        return text;
    QString result(text.size(), Qt::Uninitialized);
    QChar* out = result.data();
    const QStringView view(text);
    qsizetype i = 0;
    while (i < view.size()) {
        qsizetype length = 1;
        if (!isDecimalDigit(codePointAt(view, i, &length))) {
            for (qsizetype k = 0; k < length; ++k)
                *out++ = view[i + k];
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
                *out++ = c == QLatin1Char(',') ? QLatin1Char('.') : c;
            } else if (c != QLatin1Char(',')) {
                *out++ = c;
            }
        }
        i = end;
    }
    result.truncate(out - result.constData());
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
    if (text.contains(QLatin1String(" : ")))
        text.replace(QLatin1String(" : "), QLatin1String(" / "));
    return text;
}

namespace {

// Removed in this order, case-sensitively, wherever they stand.
const QStringList& currencyMarks()
{
    static const QStringList marks = [] {
        QStringList list;
        for (const char16_t* mark : {u"$", u"€", u"£", u"¥", u"₹", u"₽", u"₩", u"฿", u"₪", u"₫", u"₴", u"₦", u"₱", u"₲",
        u"₡", u"₵", u"₸", u"₺", u"₼", u"₾", u"₿", u"CHF", u"kr", u"zł", u"Kč", u"Ft", u"R$", u"R"})
            list.append(QString::fromUtf16(mark));
        return list;
    }();
    return marks;
}

// Could start a mark: "$", the letters of the lettered marks, and the
// currency signs.
bool mayStartMark(char16_t c)
{
    switch (c) {
    case '$':
    case 'C':
    case 'k':
    case 'z':
    case 'K':
    case 'F':
    case 'R':
    case 0x00A3:
    case 0x00A5:
    case 0x0E3F:
        return true;
    default:
        return c >= 0x20A0 && c <= 0x20CF;
    }
}

QString removeMarks(QStringView segment)
{
    // Removing only deletes characters, so a mark whose first character is
    // not in the segment now cannot appear later either.
    const QStringList& marks = currencyMarks();
    quint32 candidates = 0;
    for (QChar c : segment) {
        if (!mayStartMark(c.unicode()))
            continue;
        for (qsizetype m = 0; m < marks.size(); ++m) {
            if (marks[m].front() == c)
                candidates |= 1u << m;
        }
    }
    QString text = segment.toString();
    for (qsizetype m = 0; candidates && m < marks.size(); ++m) {
        if (candidates & (1u << m))
            text.remove(marks[m]);
    }
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
    if (std::none_of(view.begin(), view.end(), [](QChar c) { return mayStartMark(c.unicode()); }))
        return text;
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

// Replaces every `first`, optional white space, `second` by `replacement`,
// left to right without overlaps (the patterns \+\s*\+, -\s*-, \+\s*-, -\s*\+).
bool replaceSignPair(QString& text, QChar first, QChar second, QChar replacement)
{
    qsizetype i = text.indexOf(first);
    if (i < 0)
        return false;
    QString result;
    bool changed = false;
    qsizetype copied = 0;
    for (; i >= 0 && i < text.size(); i = text.indexOf(first, i)) {
        qsizetype j = i + 1;
        while (j < text.size()) {
            qsizetype length = 1;
            if (!isWhiteSpace(codePointAt(text, j, &length)))
                break;
            j += length;
        }
        if (j < text.size() && text[j] == second) {
            result += QStringView(text).mid(copied, i - copied);
            result += replacement;
            copied = j + 1;
            changed = true;
            i = j + 1;
        } else {
            ++i;
        }
    }
    if (changed) {
        result += QStringView(text).mid(copied);
        text = result;
    }
    return changed;
}

} // namespace

QString CalculatorEngine::normalizeDuplicateOperators(QString text)
{
    if (text.isEmpty())
        return text;
    const QChar plus = QLatin1Char('+');
    const QChar minus = QLatin1Char('-');
    for (;;) {
        bool changed = replaceSignPair(text, plus, plus, plus);
        changed |= replaceSignPair(text, minus, minus, plus);
        changed |= replaceSignPair(text, plus, minus, minus);
        changed |= replaceSignPair(text, minus, plus, minus);
        if (!changed)
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
    // Components are joined as they are found: an operator other than "-"
    // right after an operator (or at the start) is left out.
    QString result;
    result.reserve(text.size());
    bool afterOperator = true;
    auto append = [&](QStringView component, bool isOperator) {
        if (!(isOperator && afterOperator && component != QLatin1String("-")))
            result += component;
        afterOperator = isOperator;
    };

    // The number run is always one stretch of the text.
    const QStringView view(text);
    qsizetype runStart = -1;
    qsizetype runEnd = -1;
    bool runHasMarks = false;
    qsizetype placeholderStart = -1;
    auto flushRun = [&] {
        if (runStart >= 0) {
            const QStringView run = view.mid(runStart, runEnd - runStart);
            if (runHasMarks)
                append(normalizeNumberFormat(run), false);
            else
                append(run, false);
            runStart = -1;
            runHasMarks = false;
        }
    };

    for (qsizetype i = 0; i < view.size();) {
        qsizetype length = 1;
        const char32_t c = codePointAt(view, i, &length);
        const QStringView character = view.mid(i, length);
        const qsizetype at = i;
        i += length;
        if (c == '{') {
            // An unfinished placeholder before this one is dropped.
            flushRun();
            placeholderStart = at;
        } else if (placeholderStart >= 0) {
            if (c == '}') {
                append(view.mid(placeholderStart, i - placeholderStart), false);
                placeholderStart = -1;
            }
        } else if (isNumberChar(c)) {
            if (runStart < 0)
                runStart = at;
            runEnd = i;
        } else if ((c == '.' || c == ',') && runStart >= 0) {
            runEnd = i;
            runHasMarks = true;
        } else {
            flushRun();
            switch (c) {
            case '+':
            case '-':
            case '*':
            case '/':
            case '^':
                append(character, true);
                break;
            case '(':
            case ')':
                append(character, false);
                break;
            case 'x':
            case 'X':
                append(u"*", true);
                break;
            case ':':
                append(u"/", true);
                break;
            default:
                break; // words, blanks, "%", stray marks
            }
        }
    }
    flushRun();

    while (!result.isEmpty() && isOperatorComponent(QStringView(result).right(1)))
        result.chop(1);
    return result;
}
