#include "Engine/CalculatorEnginePrivate.h"
#include "Engine/EngineCatalogue.h"
#include "Engine/ExpressionParser.h"
#include "Engine/ExpressionText.h"

#include <array>
#include <charconv>
#include <cmath>

using namespace ExpressionText;

namespace {

constexpr double pi = 3.141592653589793;

using Operation = double (*)(double);
using TwoArgOperation = double (*)(double, double);

double roundHalfAway(double x) { return std::round(x); }
double sqrtOf(double x) { return std::sqrt(x); }
double asinDegrees(double x) { return std::asin(x) * 180 / pi; }
double acosDegrees(double x) { return std::acos(x) * 180 / pi; }
double atanDegrees(double x) { return std::atan(x) * 180 / pi; }
double sinDegrees(double x) { return std::sin(x * pi / 180); }
double cosDegrees(double x) { return std::cos(x * pi / 180); }
// At an odd multiple of 90 degrees the tangent has no value; the computed
// one would be a huge number made of rounding.
double tanDegrees(double x)
{
    return std::fabs(std::fmod(x, 180)) == 90 ? std::nan("") : std::tan(x * pi / 180);
}
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

// Names are case-sensitive.
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
    if (!EngineCatalogue::isFunctionName(name))
        return -1;
    const QChar first = name.front();
    for (int i = 0; i < int(functions.size()); ++i) {
        const QStringView candidate = functions[size_t(i)].name;
        if (candidate.size() == name.size() && candidate.front() == first && candidate == name)
            return i;
    }
    return -1;
}


// Appends the value of a call. A negative value keeps its sign inside
// brackets before "^" (-0.5^2 would read as -(0.5^2)) and wherever its
// sign could be read as a minus: after a number or a word (8 Ticket
// cos(180) is no subtraction).
void appendResult(QString& out, double value, bool beforePower)
{
    bool bracket = value < 0 && beforePower;
    if (value < 0 && !bracket) {
        const qsizetype before = skipWhiteSpaceBack(out, out.size());
        bracket = before > 0 && !QStringView(u"+-*/^(").contains(out[before - 1]);
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
    out.append(QLatin1String(ascii, length));
}

bool followedByPower(QStringView text, qsizetype i)
{
    while (i < text.size() && isWhiteSpace(text[i].unicode()))
        ++i;
    return i < text.size() && text[i] == QLatin1Char('^');
}

// One argument: a plain number, else what the parser makes of it.
std::optional<double> argumentValue(QStringView argument)
{
    const QStringView trimmed = argument.trimmed();
    bool letters = false;
    for (QChar c : trimmed)
        letters = letters || isAsciiLetter(c.unicode());
    if (!letters) {
        if (const std::optional<double> number = readDouble(trimmed))
            return number;
    }
    const ExpressionParser::Result parsed = ExpressionParser::evaluate(argument);
    if (!parsed.ok)
        return std::nullopt;
    return parsed.value;
}

// The value of a call whose argument text is `argument`; none when the
// arguments cannot be read or are not as many as the function takes.
std::optional<double> callValue(const Function& function, QStringView argument)
{
    qsizetype comma = -1;
    qsizetype depth = 0;
    for (qsizetype i = 0; i < argument.size(); ++i) {
        const QChar c = argument[i];
        if (c == QLatin1Char('('))
            ++depth;
        else if (c == QLatin1Char(')'))
            --depth;
        else if (c == QLatin1Char(',') && depth == 0) {
            if (comma >= 0 || !function.twoArgument)
                return std::nullopt;
            comma = i;
        }
    }
    if (!function.twoArgument) {
        const std::optional<double> x = argumentValue(argument);
        return x ? std::optional(function.operation(*x)) : std::nullopt;
    }
    if (comma < 0)
        return std::nullopt;
    const std::optional<double> a = argumentValue(argument.left(comma));
    const std::optional<double> b = argumentValue(argument.mid(comma + 1));
    return a && b ? std::optional(function.twoArgument(*a, *b)) : std::nullopt;
}

qsizetype nameStart(qsizetype open, const Function& function)
{
    return open - function.name.size();
}

enum class Constant { none, constant, touchesDigit };

// A call ("sqrt(") or a constant word starts at `i`: a hyphen before it is
// a minus (pi-sqrt(4)), not a word's hyphen.
bool startsValue(QStringView text, qsizetype i)
{
    qsizetype end = i;
    while (end < text.size() && isAsciiLetter(text[end].unicode()))
        ++end;
    const QStringView word = text.mid(i, end - i);
    if (end < text.size() && text[end] == QLatin1Char('(') && functionIndex(word) >= 0)
        return true;
    const bool wordEnds = end == text.size() || !isWordChar(codePointAt(text, end));
    return wordEnds && EngineCatalogue::isConstantName(word);
}

// "π", "pi", "PI", "e" or "E" at `i`, standing as a word of its own: no
// letter and no in-word hyphen touches it ("Papier", "E-Bike" keep their
// letters). Touching a digit it cannot be read (2pi, 1e3).
Constant constantAt(QStringView text, qsizetype i, qsizetype* length)
{
    static const EngineCatalogue::CharacterSet& starts = EngineCatalogue::constantStarts();
    *length = starts.has(text[i].unicode()) ? EngineCatalogue::constantNameAt(text, i) : 0;
    if (*length == 0)
        return Constant::none;
    const qsizetype end = i + *length;
    const char32_t before = i > 0 ? codePointBefore(text, i) : 0;
    const char32_t after = end < text.size() ? codePointAt(text, end) : 0;
    if ((before && isWordChar(before)) || (after && isWordChar(after)))
        return Constant::none;
    if (before == '-' && i >= 2 && isWordChar(codePointBefore(text, i - 1)))
        return Constant::none;
    if (after == '-' && end + 1 < text.size() && isWordChar(codePointAt(text, end + 1)) && !startsValue(text, end + 1))
        return Constant::none;
    // Digits after a letter belong to its word (E10); a digit before it
    // would fuse with its value (2pi, 1e3).
    if (before && isNumberChar(before))
        return Constant::touchesDigit;
    if (after && isNumberChar(after))
        return Constant::none;
    return Constant::constant;
}

// Replaces the constants standing as words by their values.
bool replaceConstants(QString& text, CalculatorEngine::Pipeline& pipeline)
{
    bool any = false;
    const EngineCatalogue::CharacterSet& starts = EngineCatalogue::constantStarts();
    for (QChar c : std::as_const(text)) {
        if (starts.has(c.unicode())) {
            any = true;
            break;
        }
    }
    if (!any)
        return false;
    const QStringView view(text);
    QString result;
    qsizetype copied = 0;
    for (qsizetype i = 0; i < view.size();) {
        // Most characters start no constant: no call for them.
        if (!starts.has(view[i].unicode())) {
            ++i;
            continue;
        }
        qsizetype length = 1;
        switch (constantAt(view, i, &length)) {
        case Constant::none:
            i += 1;
            continue;
        case Constant::touchesDigit:
        {
            // The number it touches, and the constant.
            qsizetype from = i;
            for (qsizetype n = 1; from > 0 && isNumberish(codePointBefore(view, from, &n));)
                from -= n;
            pipeline.refuse(RefusalCode::constantTouchingNumber, view, from, i + length);
        }
            return false;
        case Constant::constant:
            break;
        }
        if (result.isNull())
            result.reserve(text.size() + 32);
        result += view.mid(copied, i - copied);
        appendPlainNumber(result, EngineCatalogue::constantValue(view.mid(i, length)));
        i += length;
        copied = i;
    }
    if (result.isNull())
        return false;
    result += view.mid(copied);
    text = std::move(result);
    return true;
}

} // namespace

bool CalculatorEngine::isFunctionName(QStringView name)
{
    return EngineCatalogue::isFunctionName(name);
}

bool CalculatorEngine::startsConstant(QStringView text, qsizetype i)
{
    qsizetype length = 1;
    return constantAt(text, i, &length) != Constant::none;
}

// One pass from left to right: a call is worked out at its ")", once the
// calls inside it have left their values, so nesting of any depth costs one
// pass. A call that cannot be worked out fails the row: its argument alone
// would be a number nobody asked for.
bool CalculatorEngine::processMathFunctions(QString& text, Pipeline& pipeline)
{
    const bool replaced = replaceConstants(text, pipeline);
    if (pipeline.failure || !text.contains(QLatin1Char('(')))
        return replaced;

    const QStringView in(text);
    QString out;
    out.reserve(in.size());
    struct Open {
        qsizetype at;  // the "(" in `out`
        int function;  // the function called, else -1
    };
    QVarLengthArray<Open, 16> opens;
    bool changed = false;
    qsizetype copied = 0; // `in` up to here stands in `out`
    for (qsizetype i = 0; i < in.size(); ++i) {
        const QChar c = in[i];
        if (c != QLatin1Char('(') && c != QLatin1Char(')'))
            continue;
        out += in.mid(copied, i - copied);
        copied = i + 1;
        if (c == QLatin1Char('(')) {
            opens.append({out.size(), functionIndex(asciiLetterRunBefore(out, out.size()))});
            out += c;
            continue;
        }
        if (opens.isEmpty()) {
            out += c;
            continue;
        }
        const Open open = opens.back();
        opens.removeLast();
        if (open.function < 0) {
            out += c;
            continue;
        }
        const Function& function = functions[size_t(open.function)];
        const std::optional<double> y = callValue(function, QStringView(out).mid(open.at + 1));
        if (!y) {
            // Quoted with its closing bracket, which is not yet written.
            const QString read = out + in.mid(i).toString();
            pipeline.refuse(RefusalCode::callNotComputable, read, nameStart(open.at, function), out.size() + 1);
            return replaced || changed;
        }
        if (!std::isfinite(*y)) {
            EngineRefusal::notFinite(pipeline.failure);
            return replaced || changed;
        }
        // A value touching a digit would be read as one number with it (2sqrt(9)).
        const qsizetype callStart = nameStart(open.at, function);
        if ((callStart > 0 && isNumberish(codePointBefore(out, callStart)))
            || (i + 1 < in.size() && isNumberish(codePointAt(in, i + 1)))) {
            // The call and the number it touches.
            const QString read = out + in.mid(i).toString();
            qsizetype from = callStart;
            for (qsizetype n = 1; from > 0 && isNumberish(codePointBefore(read, from, &n));)
                from -= n;
            qsizetype to = out.size() + 1;
            for (qsizetype n = 1; to < read.size() && isNumberish(codePointAt(read, to, &n));)
                to += n;
            pipeline.refuse(RefusalCode::callTouchingNumber, read, from, to);
            return replaced || changed;
        }
        out.truncate(callStart);
        appendResult(out, *y, followedByPower(in, i + 1));
        changed = true;
    }
    if (changed) {
        out += in.mid(copied);
        text = std::move(out);
    }
    return replaced || changed;
}
