#include "Engine/ExpressionText.h"

#include "Engine/EngineCatalogue.h"
#include "Engine/EngineWords.h"

#include <QList>

#include <charconv>
#include <cmath>
#include <string>
#include <string_view>

namespace ExpressionText {

char32_t codePointBeforeSlow(QStringView text, qsizetype i, qsizetype* length)
{
    if (i <= 0 || i > text.size()) [[unlikely]] {
        if (length)
            *length = 1;
        return 0;
    }
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

bool isWordCharSlow(char32_t c)
{
    switch (QChar::category(c)) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
        return true;
    default:
        return QChar::isLetter(c);
    }
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

qsizetype numberRunEndSlow(QStringView text, qsizetype i)
{
    qsizetype end = i;
    while (i < text.size()) {
        qsizetype length = 1;
        const char16_t unit = text[i].unicode();
        const char32_t c = unit < 0x80 ? unit : codePointAt(text, i, &length);
        if (c == '.' || c == ',') {
            i += 1;
        } else if (isDecimalDigit(c)) {
            i += length;
            end = i;
        } else {
            break;
        }
    }
    return end;
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

// Shortest round-trip text in fixed notation; its length.
int writePlain(char* buffer, double value)
{
    if (!std::isfinite(value)) {
        buffer[0] = '0';
        return 1;
    }
    const auto result = std::to_chars(buffer, buffer + numberBufferSize, value, std::chars_format::fixed);
    return int(result.ptr - buffer);
}

bool hasPoint(const char* buffer, int length)
{
    for (int i = 0; i < length; ++i) {
        if (buffer[i] == '.')
            return true;
    }
    return false;
}

} // namespace

QString plainNumber(double value)
{
    char buffer[numberBufferSize];
    return QString::fromLatin1(buffer, writePlain(buffer, value));
}

void appendPlainNumber(QString& out, double value)
{
    char buffer[numberBufferSize];
    out.append(QLatin1String(buffer, writePlain(buffer, value)));
}

QString decimalNumber(double value)
{
    QString text;
    appendDecimalNumber(text, value);
    return text;
}

void appendDecimalNumber(QString& out, double value)
{
    char buffer[numberBufferSize + 2];
    int length = writePlain(buffer, value);
    if (!hasPoint(buffer, length)) {
        buffer[length++] = '.';
        buffer[length++] = '0';
    }
    out.append(QLatin1String(buffer, length));
}

namespace {

// 15 significant digits in positional form: a double's noise (the 17th
// digit of 200 * 1.1) goes, any magnitude stays.
int writeCanonical(char* buffer, double value)
{
    if (!std::isfinite(value) || value == std::round(value))
        return writePlain(buffer, value);
    char scientific[32];
    const auto written =
        std::to_chars(scientific, scientific + sizeof scientific, value, std::chars_format::scientific, 14);
    const std::string_view text(scientific, size_t(written.ptr - scientific));
    const size_t exponentAt = text.find('e');
    int exponent = 0;
    std::from_chars(text.data() + exponentAt + 1 + (text[exponentAt + 1] == '+'), text.data() + text.size(), exponent);
    char digits[16];
    int digitCount = 0;
    for (size_t i = 0; i < exponentAt; ++i) {
        if (text[i] >= '0' && text[i] <= '9')
            digits[digitCount++] = text[i];
    }
    int length = 0;
    if (value < 0)
        buffer[length++] = '-';
    if (exponent < 0) {
        buffer[length++] = '0';
        buffer[length++] = '.';
        for (int i = 0; i < -exponent - 1; ++i)
            buffer[length++] = '0';
        for (int i = 0; i < digitCount; ++i)
            buffer[length++] = digits[i];
    } else {
        for (int i = 0; i <= exponent; ++i)
            buffer[length++] = i < digitCount ? digits[i] : '0';
        if (exponent + 1 < digitCount) {
            buffer[length++] = '.';
            for (int i = exponent + 1; i < digitCount; ++i)
                buffer[length++] = digits[i];
        }
    }
    if (hasPoint(buffer, length)) {
        while (buffer[length - 1] == '0')
            --length;
        if (buffer[length - 1] == '.')
            --length;
    }
    return length;
}

} // namespace

QString canonicalNumber(double value)
{
    char buffer[numberBufferSize];
    return QString::fromLatin1(buffer, writeCanonical(buffer, value));
}

void appendCanonicalNumber(QString& out, double value)
{
    char buffer[numberBufferSize];
    out.append(QLatin1String(buffer, writeCanonical(buffer, value)));
}

QString formatResult(double value)
{
    if (!std::isfinite(value))
        return QStringLiteral("\u2014");
    // Past about 1e306 the scaled value overflows; such values have no
    // fraction left to round anyway.
    const double scaled = value * 100;
    const double rounded = std::isfinite(scaled) ? std::round(scaled) / 100 : value;
    char buffer[numberBufferSize];
    const bool whole = rounded == std::round(rounded) && std::fabs(rounded) < 1e15;
    const auto written =
        std::to_chars(buffer, buffer + numberBufferSize, rounded, std::chars_format::fixed, whole ? 0 : 2);
    int length = int(written.ptr - buffer);
    if (!whole && hasPoint(buffer, length)) {
        while (length > 0 && buffer[length - 1] == '0')
            --length;
        if (length > 0 && buffer[length - 1] == '.')
            --length;
    }
    return QString::fromLatin1(buffer, length);
}

bool endsInCount(QStringView label)
{
    // The label's last word, as the steps read it, is a lone x glued to a
    // count (Tickets x2).
    const QStringView word = EngineWords::wordEndingAt(label, skipWhiteSpaceBack(label, label.size())).in(label);
    if (word.size() < 2 || word.front() != QLatin1Char('x'))
        return false;
    for (qsizetype i = 1; i < word.size(); ++i) {
        if (!isDecimalDigit(word[i].unicode()))
            return false;
    }
    return true;
}

qsizetype leadingNumberStart(QStringView text)
{
    qsizetype at = skipWhiteSpace(text, 0);
    qsizetype signLength = 0;
    if (!EngineCatalogue::currencySignAt(text, at, &signLength).isEmpty())
        at = skipWhiteSpace(text, at + signLength);
    return at < text.size() && isDecimalDigit(codePointAt(text, at)) ? at : -1;
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
