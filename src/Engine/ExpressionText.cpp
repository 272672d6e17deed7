#include "Engine/ExpressionText.h"

#include <QList>

#include <charconv>
#include <cmath>
#include <string>

namespace ExpressionText {

char32_t codePointBefore(QStringView text, qsizetype i, qsizetype* length)
{
    const QChar c = text[i - 1];
    if (c.isLowSurrogate() && i >= 2 && text[i - 2].isHighSurrogate()) {
        if (length)
            *length = 2;
        return QChar::surrogateToUcs4(text[i - 2], c);
    }
    if (length)
        *length = 1;
    return c.unicode();
}

qsizetype codePointCount(QStringView text)
{
    qsizetype count = 0;
    for (qsizetype i = 0; i < text.size(); ++count) {
        qsizetype length = 1;
        codePointAt(text, i, &length);
        i += length;
    }
    return count;
}

bool isNumberCharSlow(char32_t c)
{
    return QChar::isNumber(c);
}

bool isDecimalDigitSlow(char32_t c)
{
    return QChar::isDigit(c);
}

bool isBlank(char32_t c)
{
    if (c == '\t' || c == ' ')
        return true;
    if (c < 0x80)
        return false;
    return QChar::category(c) == QChar::Separator_Space;
}

bool isWhiteSpaceSlow(char32_t c)
{
    return c == 0x180E || QChar::isSpace(c);

}

bool isAsciiLetter(char32_t c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

QString trimmedBlanks(QStringView text)
{
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end) {
        qsizetype length = 1;
        if (!isBlank(codePointAt(text, start, &length)))
            break;
        start += length;
    }
    while (end > start) {
        qsizetype length = 1;
        if (!isBlank(codePointBefore(text, end, &length)))
            break;
        end -= length;
    }
    return text.mid(start, end - start).toString();
}

QString trimmedBlanks(const QString& text)
{
    if (text.isEmpty() || (!isBlank(text.front().unicode()) && !isBlank(codePointBefore(text, text.size()))))
        return text; // shares the text, no copy
    return trimmedBlanks(QStringView(text));
}

namespace {

// Out-of-range text: a long double usually still holds it; past that, the
// sign of the exponent and the integer digits tell overflow from underflow.
double outOfRangeValue(const std::string& ascii, bool negative)
{
    long double wide = 0;
    const auto [ptr, ec] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), wide);
    double magnitude;
    if (ec == std::errc() && ptr == ascii.data() + ascii.size()) {
        magnitude = double(std::fabs(wide));
    } else {
        const auto exponentAt = ascii.find_first_of("eE");
        const std::string mantissa = ascii.substr(0, exponentAt);
        const bool negativeExponent = exponentAt != std::string::npos && exponentAt + 1 < ascii.size()
            && ascii[exponentAt + 1] == '-';
        const std::string integerPart = mantissa.substr(0, mantissa.find('.'));
        const bool bigMantissa = integerPart.find_first_of("123456789") != std::string::npos;
        magnitude = (!negativeExponent && (bigMantissa || exponentAt != std::string::npos))
            ? HUGE_VAL
            : 0.0;
    }
    return negative ? -magnitude : magnitude;
}

} // namespace

std::optional<double> readDouble(std::string_view ascii)
{
    if (ascii.empty())
        return std::nullopt;
    size_t start = 0;
    bool negative = false;
    if (ascii[0] == '+' || ascii[0] == '-') {
        negative = ascii[0] == '-';
        start = 1;
        if (ascii.size() == 1 || ascii[1] == '+' || ascii[1] == '-')
            return std::nullopt;
    }
    const char* first = ascii.data() + start;
    const char* last = ascii.data() + ascii.size();
    double value = 0;
    const auto [ptr, ec] = std::from_chars(first, last, value);
    if (ptr != last)
        return std::nullopt;
    if (ec == std::errc::result_out_of_range)
        return outOfRangeValue(std::string(first, last), negative);
    if (ec != std::errc())
        return std::nullopt;
    return negative ? -value : value;
}

std::optional<double> readDouble(QStringView text)
{
    char buffer[64];
    std::string heap;
    char* out = buffer;
    if (text.size() > qsizetype(sizeof buffer)) {
        heap.resize(size_t(text.size()));
        out = heap.data();
    }
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c >= 0x80)
            return std::nullopt;
        out[i] = char(c);
    }
    return readDouble(std::string_view(out, size_t(text.size())));
}

namespace {

// Large enough for any double in fixed notation with ten decimals.
constexpr int numberBufferSize = 400;

QString fixedText(double value, int precision)
{
    char buffer[numberBufferSize];
    const auto result = std::to_chars(buffer, buffer + numberBufferSize, value, std::chars_format::fixed, precision);
    return QString::fromLatin1(buffer, result.ptr - buffer);
}

void stripTrailingZeros(QString& text)
{
    if (!text.contains(QLatin1Char('.')))
        return;
    qsizetype end = text.size();
    while (end > 0 && text[end - 1] == QLatin1Char('0'))
        --end;
    if (end > 0 && text[end - 1] == QLatin1Char('.'))
        --end;
    text.truncate(end);
}

} // namespace

QString plainNumber(double value)
{
    if (!std::isfinite(value))
        return QStringLiteral("0");
    char buffer[numberBufferSize];
    const auto result = std::to_chars(buffer, buffer + numberBufferSize, value, std::chars_format::fixed);
    return QString::fromLatin1(buffer, result.ptr - buffer);
}

QString decimalNumber(double value)
{
    QString text = plainNumber(value);
    if (!text.contains(QLatin1Char('.')))
        text += QLatin1String(".0");
    return text;
}

QString canonicalNumber(double value)
{
    if (!std::isfinite(value))
        return QStringLiteral("0");
    if (value == std::round(value) && std::fabs(value) < 1e15)
        return fixedText(value, 0);
    QString text = fixedText(value, 10);
    stripTrailingZeros(text);
    return text;
}

QString formatResult(double value)
{
    if (!std::isfinite(value))
        return QStringLiteral("\u2014");
    // Past about 1e306 the scaled value overflows; such values have no
    // fraction left to round anyway.
    const double scaled = value * 100;
    const double rounded = std::isfinite(scaled) ? std::round(scaled) / 100 : value;
    if (rounded == std::round(rounded) && std::fabs(rounded) < 1e15)
        return fixedText(rounded, 0);
    QString text = fixedText(rounded, 2);
    stripTrailingZeros(text);
    return text;
}

bool hasBalancedParentheses(QStringView text)
{
    qsizetype depth = 0;
    for (QChar c : text) {
        if (c == QLatin1Char('(')) {
            ++depth;
        } else if (c == QLatin1Char(')')) {
            if (--depth < 0)
                return false;
        }
    }
    return depth == 0;
}

std::optional<qsizetype> findMatchingOpenParen(QStringView text)
{
    qsizetype depth = 0;
    for (qsizetype i = text.size() - 1; i >= 0; --i) {
        const QChar c = text[i];
        if (c == QLatin1Char(')')) {
            ++depth;
        } else if (c == QLatin1Char('(')) {
            if (depth == 0)
                return i;
            --depth;
        }
    }
    return std::nullopt;
}

namespace {

// Every piece after the first has exactly three characters, all numeric.
bool restAreThousandsGroups(const QList<QStringView>& pieces)
{
    for (qsizetype p = 1; p < pieces.size(); ++p) {
        if (codePointCount(pieces[p]) != 3)
            return false;
        for (qsizetype i = 0; i < pieces[p].size();) {
            qsizetype length = 1;
            if (!isNumberChar(codePointAt(pieces[p], i, &length)))
                return false;
            i += length;
        }
    }
    return true;
}

} // namespace

QString normalizeNumberFormat(QStringView run)
{
    if (!run.contains(QLatin1Char('.')) && !run.contains(QLatin1Char(',')))
        return run.toString();
    const qsizetype lastDot = run.lastIndexOf(QLatin1Char('.'));
    const qsizetype lastComma = run.lastIndexOf(QLatin1Char(','));
    QString text = run.toString();
    if (lastDot >= 0 && lastComma >= 0) {
        if (lastDot > lastComma) {
            text.remove(QLatin1Char(','));
        } else {
            text.remove(QLatin1Char('.'));
            text.replace(QLatin1Char(','), QLatin1Char('.'));
        }
    } else if (lastDot >= 0) {
        const QList<QStringView> pieces = run.split(QLatin1Char('.'));
        if (pieces.size() >= 3 && restAreThousandsGroups(pieces))
            text.remove(QLatin1Char('.'));
    } else if (lastComma >= 0) {
        const QList<QStringView> pieces = run.split(QLatin1Char(','));
        if (pieces.size() == 2 && restAreThousandsGroups(pieces))
            text.remove(QLatin1Char(','));
        else
            text.replace(QLatin1Char(','), QLatin1Char('.'));
    }
    return text;
}

QString trimmedSpacesAndTabs(QStringView text)
{
    auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    while (!text.isEmpty() && blank(text.front()))
        text = text.mid(1);
    while (!text.isEmpty() && blank(text.back()))
        text.chop(1);
    return text.toString();
}

} // namespace ExpressionText
