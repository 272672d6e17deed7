#pragma once

#include <QChar>
#include <QString>
#include <QStringView>
#include <optional>
#include <string_view>

// Text helpers shared by the parser and the rewrite steps. Positions are
// UTF-16 indexes into the text; scans step over whole code points so that a
// digit outside the BMP is one character.
namespace ExpressionText {

// The code point starting at index i, and the number of UTF-16 units it takes.
// Outside the text there is none (0, one unit long): a look past either end
// reads no character.
inline char32_t codePointAt(QStringView text, qsizetype i, qsizetype* length = nullptr)
{
    if (i < 0 || i >= text.size()) [[unlikely]] {
        if (length)
            *length = 1;
        return 0;
    }
    const QChar c = text[i];
    if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
        if (length)
            *length = 2;
        return QChar::surrogateToUcs4(c, text[i + 1]);
    }
    if (length)
        *length = 1;
    return c.unicode();
}
// The code point ending just before index i, and its length; none (0) at or
// before the text's start and past its end.
char32_t codePointBeforeSlow(QStringView text, qsizetype i, qsizetype* length);
inline char32_t codePointBefore(QStringView text, qsizetype i, qsizetype* length = nullptr)
{
    if (i > 0 && i <= text.size()) [[likely]] {
        const char16_t u = text[i - 1].unicode();
        if (!QChar::isLowSurrogate(u)) {
            if (length)
                *length = 1;
            return u;
        }
    }
    return codePointBeforeSlow(text, i, length);
}
qsizetype codePointCount(QStringView text);

// Any character with a numeric value: decimal digits of every script,
// superscripts, vulgar fractions, Roman numerals.
bool isNumberCharSlow(char32_t c);
inline bool isNumberChar(char32_t c)
{
    return c < 0x80 ? (c >= '0' && c <= '9') : isNumberCharSlow(c);
}
// Decimal digits of every script (what a pattern's \d matches).
bool isDecimalDigitSlow(char32_t c);
inline bool isDecimalDigit(char32_t c)
{
    return c < 0x80 ? (c >= '0' && c <= '9') : isDecimalDigitSlow(c);
}
// Space separators and the tab.
bool isBlank(char32_t c);
// Any Unicode white space, line breaks included (a pattern's \s).
bool isWhiteSpaceSlow(char32_t c);
inline bool isWhiteSpace(char32_t c)
{
    return c < 0x80 ? (c == ' ' || (c >= '\t' && c <= '\r')) : isWhiteSpaceSlow(c);
}
inline bool isAsciiLetter(char32_t c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
// Where the run of decimal digits starting at `i` ends; `count` gets how
// many digits it holds (code points, not UTF-16 units).
inline qsizetype digitRunEnd(QStringView text, qsizetype i, qsizetype* count = nullptr)
{
    qsizetype digits = 0;
    while (i < text.size()) {
        qsizetype length = 1;
        const char16_t unit = text[i].unicode();
        if (unit < 0x80 ? unit < '0' || unit > '9' : !isDecimalDigit(codePointAt(text, i, &length)))
            break;
        i += length;
        ++digits;
    }
    if (count)
        *count = digits;
    return i;
}
// Past the white space at `i`; back over the white space before `i`, not
// past `from`.
inline qsizetype skipWhiteSpace(QStringView text, qsizetype i)
{
    while (i < text.size()) {
        qsizetype length = 1;
        if (!isWhiteSpace(codePointAt(text, i, &length)))
            break;
        i += length;
    }
    return i;
}
inline qsizetype skipWhiteSpaceBack(QStringView text, qsizetype i, qsizetype from = 0)
{
    while (i > from) {
        qsizetype length = 1;
        if (!isWhiteSpace(codePointBefore(text, i, &length)))
            break;
        i -= length;
    }
    return i;
}
// `lower` (ASCII, lower case) stands at `i`, but for case.
inline bool startsWithLowerAscii(QStringView text, qsizetype i, QLatin1String lower)
{
    if (text.size() - i < lower.size())
        return false;
    for (qsizetype k = 0; k < lower.size(); ++k) {
        const char16_t c = text[i + k].unicode();
        if (c >= 0x80 || char(c | 0x20) != lower[k])
            return false;
    }
    return true;
}
// The whole text is `lower` but for case.
inline bool isLowerAsciiWord(QStringView text, QLatin1String lower)
{
    return text.size() == lower.size() && startsWithLowerAscii(text, 0, lower);
}
// The run of ASCII letters that ends at `end` (a function's name before "(").
inline QStringView asciiLetterRunBefore(QStringView text, qsizetype end)
{
    qsizetype start = end;
    while (start > 0 && isAsciiLetter(text[start - 1].unicode()))
        --start;
    return text.mid(start, end - start);
}
// Letters of every script, and the marks that combine with them: what a
// word is made of.
bool isWordCharSlow(char32_t c);
inline bool isWordChar(char32_t c)
{
    return c < 0x80 ? isAsciiLetter(c) : isWordCharSlow(c);
}
// Letters stand right before the "(" at `open`: the bracket is a call's,
// not a group. An "x" touching no letter there is a "×" (2x(3+4)).
inline bool letterBeforeBracket(QStringView text, qsizetype open)
{
    if (open <= 0 || !isWordChar(text[open - 1].unicode()))
        return false;
    const QChar c = text[open - 1];
    return !((c == QLatin1Char('x') || c == QLatin1Char('X')) && (open < 2 || !isWordChar(text[open - 2].unicode())));
}
// A label ending in a lone x glued to a count (Tickets x2): before an amount
// the count may multiply it or name the row.
bool endsInCount(QStringView label);
// Where the number a text starts with begins, blanks and a currency sign
// before it aside ("  € 24"); -1 when it starts with no number.
qsizetype leadingNumberStart(QStringView text);
// A number character or a decimal or grouping mark: what a number run is
// made of.
inline bool isNumberish(char32_t c)
{
    return c == '.' || c == ',' || isNumberChar(c);
}

// The one reader of a number as typed. A run starts at a digit (or at the
// decimal mark before one) and takes digits with single "." and "," between
// them; it ends at its last digit.
qsizetype numberRunEndSlow(QStringView text, qsizetype i);
inline qsizetype numberRunEnd(QStringView text, qsizetype i)
{
    // ASCII digits and marks inline; anything else by the full reader.
    qsizetype end = i;
    while (i < text.size()) {
        const char16_t unit = text[i].unicode();
        if (unit >= '0' && unit <= '9')
            end = ++i;
        else if (unit == '.' || unit == ',')
            ++i;
        else if (unit >= 0x80) {
            const qsizetype slow = numberRunEndSlow(text, i);
            return slow > i ? slow : end;
        }
        else
            break;
    }
    return end;
}
// Appends the run with "." as its decimal point and no grouping. A
// grouping mark groups only after one to three leading digits that do not
// start with 0 and before exactly three digits; anywhere else it is the
// decimal mark. False when the run holds two decimal marks (1,2,3 or
// 12.03.2024) or reads one mark both ways (1.000.5).
// `out` is a QString or anything with append(QChar) and append(QStringView).
template <typename Out>
bool appendNumberRun(Out& out, QStringView run, QChar groupMark)
{
    if (run.isEmpty())
        return true;
    const bool startsWithZero = run.front() == QLatin1Char('0');
    qsizetype leading = 0;
    qsizetype i = digitRunEnd(run, 0, &leading);
    out.append(run.left(i));
    bool mayGroup = leading >= 1 && leading <= 3 && !startsWithZero;
    bool grouped = false;
    bool decimal = false;
    while (i < run.size()) {
        const QChar mark = run[i++];
        const qsizetype groupStart = i;
        qsizetype digits = 0;
        i = digitRunEnd(run, i, &digits);
        if (mark == groupMark && mayGroup && digits == 3) {
            grouped = true;
        } else {
            if (decimal || (grouped && mark == groupMark))
                return false;
            decimal = true;
            mayGroup = false;
            out.append(QLatin1Char('.'));
        }
        out.append(run.mid(groupStart, i - groupStart));
    }
    return true;
}
QString trimmedBlanks(QStringView text);
QString trimmedBlanks(const QString& text);
// Only spaces and tabs: the rule for labels and link names typed in the editor.
QString trimmedSpacesAndTabs(QStringView text);

// The whole text read as one number ("16", "-5", "2.5", ".5", "5.", "1e3",
// "inf"); none when anything is left over. Never reads a locale's comma.
std::optional<double> readDouble(QStringView text);
std::optional<double> readDouble(std::string_view ascii);

// Shortest text that reads back as the same double, always positional:
// 0.00001, never 1e-05; 1e20 as 100000000000000000000; -0 as "-0".
QString plainNumber(double value);
// plainNumber with ".0" added when it has no decimal point (4.0, 1024.0).
QString decimalNumber(double value);
// Text of a computed percentage or conversion, always positional: whole
// values with all their digits, others to 15 significant digits (so that
// 200 * 1.1 reads 220 and 1.1e-11 keeps its value); "0" for NaN and
// infinities.
QString canonicalNumber(double value);
// The same texts, appended to `out` without a text of their own.
void appendPlainNumber(QString& out, double value);
void appendDecimalNumber(QString& out, double value);
void appendCanonicalNumber(QString& out, double value);
// Short display form of a result with "." and at most two decimals; "—" for
// NaN and infinities.
QString formatResult(double value);

bool hasBalancedParentheses(QStringView text);

} // namespace ExpressionText
