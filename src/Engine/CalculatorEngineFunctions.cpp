#include "Engine/CalculatorEnginePrivate.h"
#include "Engine/ExpressionParser.h"
#include "Engine/ExpressionText.h"

#include <array>
#include <charconv>
#include <cmath>

using namespace ExpressionText;

namespace {

constexpr double pi = 3.141592653589793;
constexpr QStringView piText = u"3.141592653589793";
constexpr QStringView eText = u"2.718281828459045";

using Operation = double (*)(double);
using TwoArgOperation = double (*)(double, double);

double roundHalfAway(double x) { return std::round(x); }
double sqrtOf(double x) { return std::sqrt(x); }
double asinDegrees(double x) { return std::asin(x) * 180 / pi; }
double acosDegrees(double x) { return std::acos(x) * 180 / pi; }
double atanDegrees(double x) { return std::atan(x) * 180 / pi; }
double sinDegrees(double x) { return std::sin(x * pi / 180); }
double cosDegrees(double x) { return std::cos(x * pi / 180); }
double tanDegrees(double x) { return std::tan(x * pi / 180); }
double lnOf(double x) { return std::log(x); }
double logOf(double x) { return std::log10(x); }
double absOf(double x) { return std::fabs(x); }
double floorOf(double x) { return std::floor(x); }
double ceilOf(double x) { return std::ceil(x); }
double powOf(double a, double b) { return std::pow(a, b); }

struct Function {
    QStringView name;
    Operation operation;        // one argument
    TwoArgOperation twoArgument; // two arguments, when set
};

// In the order the calls are worked out; names are case-sensitive.
constexpr std::array<Function, 28> functions = {{
    {u"sqrt", sqrtOf, nullptr},   {u"SQRT", sqrtOf, nullptr},   {u"asin", asinDegrees, nullptr},
    {u"ASIN", asinDegrees, nullptr}, {u"acos", acosDegrees, nullptr}, {u"ACOS", acosDegrees, nullptr},
    {u"atan", atanDegrees, nullptr}, {u"ATAN", atanDegrees, nullptr}, {u"sin", sinDegrees, nullptr},
    {u"SIN", sinDegrees, nullptr},   {u"cos", cosDegrees, nullptr},   {u"COS", cosDegrees, nullptr},
    {u"tan", tanDegrees, nullptr},   {u"TAN", tanDegrees, nullptr},   {u"ln", lnOf, nullptr},
    {u"LN", lnOf, nullptr},          {u"log", logOf, nullptr},        {u"LOG", logOf, nullptr},
    {u"abs", absOf, nullptr},        {u"ABS", absOf, nullptr},        {u"floor", floorOf, nullptr},
    {u"FLOOR", floorOf, nullptr},    {u"ceil", ceilOf, nullptr},      {u"CEIL", ceilOf, nullptr},
    {u"round", roundHalfAway, nullptr}, {u"ROUND", roundHalfAway, nullptr}, {u"pow", nullptr, powOf},
    {u"POW", nullptr, powOf},
}};

int functionIndex(QStringView name)
{
    if (name.size() < 2 || name.size() > 5)
        return -1;
    for (int i = 0; i < int(functions.size()); ++i) {
        if (functions[size_t(i)].name == name)
            return i;
    }
    return -1;
}

// The run of ASCII letters that ends at `end`.
QStringView letterRunBefore(QStringView text, qsizetype end)
{
    qsizetype start = end;
    while (start > 0 && isAsciiLetter(text[start - 1].unicode()))
        --start;
    return text.mid(start, end - start);
}

// A value the text cannot hold ends the row with an error.
void noteFailure(std::optional<CalculationError>& failure, double value)
{
    if (failure)
        return;
    failure = std::isnan(value) ? CalculationError::invalidResult() : CalculationError::divisionByZero();
}

// Replaces text[start, end) by the value of a call. A negative value before
// "^" keeps its sign inside brackets: -0.5^2 would read as -(0.5^2).
void writeResult(QString& text, qsizetype start, qsizetype end, double value)
{
    bool bracket = false;
    if (value < 0) {
        qsizetype i = end;
        while (i < text.size() && isWhiteSpace(text[i].unicode()))
            ++i;
        bracket = i < text.size() && text[i] == QLatin1Char('^');
    }
    // Fixed notation of any double, brackets and ".0" fit in here.
    char ascii[420];
    int length = 0;
    if (bracket)
        ascii[length++] = '(';
    const int numberStart = length;
    length = int(std::to_chars(ascii + length, ascii + 400, value, std::chars_format::fixed).ptr - ascii);
    bool point = false;
    for (int i = numberStart; i < length; ++i)
        point = point || ascii[i] == '.';
    if (!point) {
        ascii[length++] = '.';
        ascii[length++] = '0';
    }
    if (bracket)
        ascii[length++] = ')';
    char16_t wide[420];
    for (int i = 0; i < length; ++i)
        wide[i] = char16_t(ascii[i]);
    text.replace(start, end - start, reinterpret_cast<const QChar*>(wide), length);
}

// A call of the function at the "(" at `open`: the name stands right before
// it with no ASCII letter before the name.
bool callsAt(QStringView text, qsizetype open, QStringView name)
{
    const qsizetype start = open - name.size();
    return start >= 0 && text.mid(start, name.size()) == name
        && (start == 0 || !isAsciiLetter(text[start - 1].unicode()));
}

// Innermost calls only: the argument holds no bracket. Each found call is
// worked out in turn, left to right, until one cannot be.
bool processFunction(QString& text, const Function& function, std::optional<CalculationError>& failure)
{
    bool changed = false;
    for (;;) {
        // From the start again each time: an outer call may be innermost now.
        qsizetype open = text.indexOf(QLatin1Char('('));
        qsizetype close = -1;
        qsizetype comma = -1;
        for (; open >= 0; open = text.indexOf(QLatin1Char('('), open + 1)) {
            if (!callsAt(text, open, function.name))
                continue;
            qsizetype i = open + 1;
            comma = -1;
            while (i < text.size()) {
                const QChar c = text[i];
                if (c == QLatin1Char('(') || c == QLatin1Char(')'))
                    break;
                if (c == QLatin1Char(',') && comma < 0)
                    comma = i;
                ++i;
            }
            if (i == text.size() || text[i] != QLatin1Char(')') || i == open + 1)
                continue;
            if (function.twoArgument && (comma < 0 || comma == open + 1 || comma + 1 == i))
                continue;
            close = i;
            break;
        }
        if (open < 0)
            return changed;
        const qsizetype start = open - function.name.size();
        const QStringView view(text);
        double y;
        if (function.twoArgument) {
            const std::optional<double> a = readDouble(view.mid(open + 1, comma - open - 1).trimmed());
            const std::optional<double> b = readDouble(view.mid(comma + 1, close - comma - 1).trimmed());
            if (!a || !b)
                return changed;
            y = function.twoArgument(*a, *b);
        } else {
            const QStringView argument = view.mid(open + 1, close - open - 1);
            double x;
            if (const std::optional<double> number = readDouble(argument)) {
                x = *number;
            } else {
                const ExpressionParser::Result parsed = ExpressionParser::evaluate(argument);
                if (!parsed.ok)
                    return changed;
                x = parsed.value;
            }
            y = function.operation(x);
        }
        if (!std::isfinite(y)) {
            noteFailure(failure, y);
            return changed;
        }
        writeResult(text, start, close + 1, y);
        changed = true;
    }
}

bool startsPi(QStringView text, qsizetype i)
{
    if (i >= text.size())
        return false;
    const QChar c = text[i];
    if (c == QChar(0x03C0))
        return true;
    if (i + 1 >= text.size())
        return false;
    return (c == QLatin1Char('p') && text[i + 1] == QLatin1Char('i'))
        || (c == QLatin1Char('P') && text[i + 1] == QLatin1Char('I'));
}

// "π", then "pi" and "PI" wherever they stand, then "e" and "E" where no
// ASCII letter stands right before or after them, all in one scan.
bool replaceConstants(QString& text)
{
    bool any = false;
    for (QChar c : std::as_const(text)) {
        const char16_t u = c.unicode();
        if (u == 'p' || u == 'P' || u == 'e' || u == 'E' || u == 0x03C0) {
            any = true;
            break;
        }
    }
    if (!any)
        return false;
    const QStringView view(text);
    QString result;
    qsizetype copied = 0;
    bool changed = false;
    auto replaceAt = [&](qsizetype at, qsizetype length, QStringView value) {
        if (!changed) {
            result.reserve(text.size() + 32);
            changed = true;
        }
        result += view.mid(copied, at - copied);
        result += value;
        copied = at + length;
    };
    for (qsizetype i = 0; i < view.size();) {
        const QChar c = view[i];
        if (c == QChar(0x03C0)) {
            replaceAt(i, 1, piText);
            i += 1;
        } else if (startsPi(view, i)) {
            replaceAt(i, 2, piText);
            i += 2;
        } else if (c == QLatin1Char('e') || c == QLatin1Char('E')) {
            // The neighbours as they stand once "pi" is replaced: right after
            // a replacement, or before "pi", stands a digit.
            const bool letterBefore = i > 0 && copied != i && isAsciiLetter(view[i - 1].unicode());
            const bool letterAfter =
                i + 1 < view.size() && !startsPi(view, i + 1) && isAsciiLetter(view[i + 1].unicode());
            if (!letterBefore && !letterAfter)
                replaceAt(i, 1, eText);
            i += 1;
        } else {
            i += 1;
        }
    }
    if (!changed)
        return false;
    result += view.mid(copied);
    text = std::move(result);
    return true;
}

} // namespace

bool CalculatorEngine::isFunctionName(QStringView name)
{
    return functionIndex(name) >= 0;
}

bool CalculatorEngine::holdsCallOrConstant(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c == 0x03C0 || startsPi(text, i))
            return true;
        if ((c == 'e' || c == 'E') && (i == 0 || !isAsciiLetter(text[i - 1].unicode()))
            && (i + 1 == text.size() || !isAsciiLetter(text[i + 1].unicode())))
            return true;
        if (c == '(' && isFunctionName(letterRunBefore(text, i)))
            return true;
    }
    return false;
}

bool CalculatorEngine::processMathFunctions(QString& text, Pipeline& pipeline)
{
    bool replaced = replaceConstants(text);
    if (!text.contains(QLatin1Char('(')))
        return replaced;

    for (int pass = 0; pass < 10; ++pass) {
        // The functions called in the text; a pass only ever removes calls.
        quint32 called = 0;
        for (qsizetype i = text.indexOf(QLatin1Char('(')); i >= 0; i = text.indexOf(QLatin1Char('('), i + 1)) {
            const int index = functionIndex(letterRunBefore(text, i));
            if (index >= 0)
                called |= 1u << index;
        }
        bool changed = false;
        for (size_t index = 0; index < functions.size(); ++index) {
            if (called & (1u << index))
                changed |= processFunction(text, functions[index], pipeline.failure);
        }
        if (!changed)
            return replaced;
        replaced = true;
    }
    return replaced;
}
