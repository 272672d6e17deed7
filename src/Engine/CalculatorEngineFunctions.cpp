#include "Engine/CalculatorEnginePrivate.h"
#include "Engine/ExpressionParser.h"
#include "Engine/ExpressionText.h"

#include <array>
#include <cmath>

using namespace ExpressionText;

namespace {

constexpr double pi = 3.141592653589793;
const QString& piText()
{
    static const QString text = QStringLiteral("3.141592653589793");
    return text;
}
const QString& eText()
{
    static const QString text = QStringLiteral("2.718281828459045");
    return text;
}

using Operation = double (*)(double);
using TwoArgOperation = double (*)(double, double);

struct Function {
    QString name;
    Operation operation;
    QRegularExpression regex;
};

struct TwoArgFunction {
    QString name;
    TwoArgOperation operation;
    QRegularExpression regex;
};

// A name counts only where no ASCII letter stands before it ("asin" is not
// "a" + "sin"); the argument holds no bracket, so innermost calls match first.
QRegularExpression functionRegex(const QString& name, bool twoArguments)
{
    const QString arguments = twoArguments ? QStringLiteral(R"(\(([^,()]+),([^()]+)\))") : QStringLiteral(R"(\(([^()]+)\))");
    return EngineRegex::compile(QStringLiteral("(?<![A-Za-z])") + name + arguments);
}

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

const std::vector<Function>& functions()
{
    static const std::vector<Function> table = [] {
        const std::pair<const char*, Operation> entries[] = {
            {"sqrt", sqrtOf},  {"asin", asinDegrees}, {"acos", acosDegrees}, {"atan", atanDegrees},
            {"sin", sinDegrees}, {"cos", cosDegrees}, {"tan", tanDegrees},   {"ln", lnOf},
            {"log", logOf},    {"abs", absOf},        {"floor", floorOf},    {"ceil", ceilOf},
            {"round", roundHalfAway},
        };
        std::vector<Function> list;
        for (const auto& [name, operation] : entries) {
            for (const QString& spelling : {QString::fromLatin1(name), QString::fromLatin1(name).toUpper()})
                list.push_back({spelling, operation, functionRegex(spelling, false)});
        }
        return list;
    }();
    return table;
}

const std::vector<TwoArgFunction>& twoArgFunctions()
{
    static const std::vector<TwoArgFunction> table = {
        {QStringLiteral("pow"), powOf, functionRegex(QStringLiteral("pow"), true)},
        {QStringLiteral("POW"), powOf, functionRegex(QStringLiteral("POW"), true)},
    };
    return table;
}

// A value the text cannot hold ends the row with an error.
void noteFailure(std::optional<CalculationError>& failure, double value)
{
    if (failure)
        return;
    failure = std::isnan(value) ? CalculationError::invalidResult() : CalculationError::divisionByZero();
}

// The value of a call as it is written back. A negative value before "^"
// keeps its sign inside brackets: -0.5^2 would read as -(0.5^2).
QString resultText(double value, QStringView text, qsizetype end)
{
    QString written = decimalNumber(value);
    if (value < 0) {
        qsizetype i = end;
        while (i < text.size() && isWhiteSpace(text[i].unicode()))
            ++i;
        if (i < text.size() && text[i] == QLatin1Char('^'))
            written = QLatin1Char('(') + written + QLatin1Char(')');
    }
    return written;
}

QString replaceWordBoundary(const QString& text, const QString& word, const QString& value)
{
    static const QRegularExpression wordBoundaryERegex = EngineRegex::compile(QStringLiteral("(?<![a-zA-Z])e(?![a-zA-Z])"));
    static const QRegularExpression wordBoundaryEUpperRegex = EngineRegex::compile(QStringLiteral("(?<![a-zA-Z])E(?![a-zA-Z])"));
    QString result = text;
    if (word == QLatin1String("e") || word == QLatin1String("E")) {
        if (result.contains(word))
            result.replace(word == QLatin1String("e") ? wordBoundaryERegex : wordBoundaryEUpperRegex, value);
        return result;
    }
    return result.replace(word, value);
}

QString processFunction(QString text, const Function& function, std::optional<CalculationError>& failure)
{
    for (;;) {
        const QRegularExpressionMatch match = function.regex.match(text);
        if (!match.hasMatch())
            return text;
        const QStringView argument = match.capturedView(1);
        double x;
        if (const std::optional<double> number = readDouble(argument)) {
            x = *number;
        } else {
            const ExpressionParser::Result parsed = ExpressionParser::evaluate(argument);
            if (!parsed.ok)
                return text;
            x = parsed.value;
        }
        const double y = function.operation(x);
        if (!std::isfinite(y)) {
            noteFailure(failure, y);
            return text;
        }
        text.replace(match.capturedStart(), match.capturedLength(), resultText(y, text, match.capturedEnd()));
    }
}

QString processTwoArgFunction(QString text, const TwoArgFunction& function, std::optional<CalculationError>& failure)
{
    for (;;) {
        const QRegularExpressionMatch match = function.regex.match(text);
        if (!match.hasMatch())
            return text;
        const std::optional<double> a = readDouble(match.capturedView(1).trimmed());
        const std::optional<double> b = readDouble(match.capturedView(2).trimmed());
        if (!a || !b)
            return text;
        const double y = function.operation(*a, *b);
        if (!std::isfinite(y)) {
            noteFailure(failure, y);
            return text;
        }
        text.replace(match.capturedStart(), match.capturedLength(), resultText(y, text, match.capturedEnd()));
    }
}

// The words standing right before a "(": a call of a name can only match
// where the whole run of letters before its bracket is that name.
QStringList calledNames(QStringView text)
{
    QStringList names;
    for (qsizetype i = text.indexOf(QLatin1Char('(')); i >= 0; i = text.indexOf(QLatin1Char('('), i + 1)) {
        qsizetype start = i;
        while (start > 0 && isAsciiLetter(text[start - 1].unicode()))
            --start;
        if (start < i)
            names.append(text.mid(start, i - start).toString());
    }
    return names;
}

} // namespace

QString CalculatorEngine::processMathFunctions(QString text, Pipeline& pipeline)
{
    text.replace(QChar(0x03C0), piText());
    text = replaceWordBoundary(text, QStringLiteral("pi"), piText());
    text = replaceWordBoundary(text, QStringLiteral("PI"), piText());
    text = replaceWordBoundary(text, QStringLiteral("e"), eText());
    text = replaceWordBoundary(text, QStringLiteral("E"), eText());
    if (!text.contains(QLatin1Char('(')))
        return text;

    QString previous;
    for (int pass = 0; pass < 10 && text != previous; ++pass) {
        previous = text;
        QStringList names = calledNames(text);
        if (names.isEmpty())
            break;
        for (const Function& function : functions()) {
            if (!names.contains(function.name))
                continue;
            text = processFunction(std::move(text), function, pipeline.failure);
        }
        for (const TwoArgFunction& function : twoArgFunctions()) {
            if (names.contains(function.name))
                text = processTwoArgFunction(std::move(text), function, pipeline.failure);
        }
    }
    return text;
}
