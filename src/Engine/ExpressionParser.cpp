#include "Engine/ExpressionParser.h"

#include "Engine/ExpressionText.h"

#include <cmath>
#include <string_view>

using namespace ExpressionText;

ExpressionParser::Result ExpressionParser::evaluate(QStringView text)
{
    ExpressionParser parser;
    Result result;
    if (parser.tokenize(text)) {
        const double value = parser.parseExpression();
        // Tokens left after a complete expression would be ignored: 2(3+4)
        // must not read as 2.
        if (!parser.m_failed && parser.currentKind() != TokenKind::end)
            parser.fail(ErrorKind::unexpectedToken, QStringLiteral("Expected end of expression"));
        if (!parser.m_failed) {
            result.value = value;
            result.ok = true;
            return result;
        }
    }
    result.error = parser.m_error;
    return result;
}

void ExpressionParser::fail(ErrorKind kind, const QString& text)
{
    if (m_failed)
        return;
    m_failed = true;
    m_error = {kind, text};
}

bool ExpressionParser::tokenize(QStringView text)
{
    m_tokens.clear();
    m_tokens.reserve(text.size() / 2 + 2);
    qsizetype i = 0;
    while (i < text.size()) {
        qsizetype length = 1;
        const char32_t c = codePointAt(text, i, &length);
        switch (c) {
        case '+': m_tokens.push_back({TokenKind::plus}); break;
        case '-': m_tokens.push_back({TokenKind::minus}); break;
        case '*':
        case U'\u00D7': m_tokens.push_back({TokenKind::multiply}); break;
        case '/':
        case U'\u00F7': m_tokens.push_back({TokenKind::divide}); break;
        case '^': m_tokens.push_back({TokenKind::power}); break;
        case '(': m_tokens.push_back({TokenKind::leftParen}); break;
        case ')': m_tokens.push_back({TokenKind::rightParen}); break;
        default:
            if (isWhiteSpace(c))
                break;
            if (isNumberChar(c) || c == '.') {
                double value = 0;
                if (!parseNumber(text, i, value))
                    return false;
                m_tokens.push_back({TokenKind::number, value});
                continue; // i already stands after the number
            }
            fail(ErrorKind::unexpectedToken, text.mid(i, length).toString());
            return false;
        }
        i += length;
    }
    m_tokens.push_back({TokenKind::end});
    m_position = 0;
    return true;
}

bool ExpressionParser::parseNumber(QStringView text, qsizetype& index, double& value)
{
    const qsizetype start = index;
    // Only ASCII digits convert (a comma is read as the decimal point); the
    // vulgar fraction one half, superscripts and other scripts do not.
    QVarLengthArray<char, 64> ascii;
    bool convertible = true;
    auto takeNumberChars = [&] {
        while (index < text.size()) {
            const char16_t unit = text[index].unicode();
            if (unit >= '0' && unit <= '9') {
                ascii.append(char(unit));
                ++index;
                continue;
            }
            if (unit < 0x80)
                break;
            qsizetype length = 1;
            if (!isNumberChar(codePointAt(text, index, &length)))
                break;
            convertible = false;
            index += length;
        }
    };
    takeNumberChars();
    const bool hasPoint =
        index < text.size() && (text[index] == QLatin1Char('.') || text[index] == QLatin1Char(','));
    if (hasPoint) {
        ascii.append('.');
        ++index;
        takeNumberChars();
    }
    // Up to 15 digits are exact as an integer, and so is a power of ten up
    // to 1e22: their quotient is the correctly rounded value, with no
    // conversion needed (most typed numbers are such).
    if (convertible && ascii.size() <= 16 && !(hasPoint && ascii.size() == 1)) {
        static constexpr double powersOfTen[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8,
                                                 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16};
        qint64 whole = 0;
        int fractionDigits = -1;
        int digits = 0;
        for (char c : ascii) {
            if (c == '.') {
                fractionDigits = 0;
                continue;
            }
            whole = whole * 10 + (c - '0');
            ++digits;
            if (fractionDigits >= 0)
                ++fractionDigits;
        }
        if (digits <= 15) {
            value = fractionDigits > 0 ? double(whole) / powersOfTen[fractionDigits] : double(whole);
            return true;
        }
    }
    // A run too large for a double is refused rather than read as infinity.
    const std::string_view digits(ascii.constData(), size_t(ascii.size()));
    const std::optional<double> read = convertible && digits != "." ? readDouble(digits) : std::nullopt;
    if (!read || !std::isfinite(*read)) {
        QString number = text.mid(start, index - start).toString();
        if (hasPoint)
            number.replace(QLatin1Char(','), QLatin1Char('.'));
        fail(ErrorKind::invalidNumber, number);
        return false;
    }
    value = *read;
    return true;
}

ExpressionParser::TokenKind ExpressionParser::currentKind() const
{
    return m_position < m_tokens.size() ? m_tokens[m_position].kind : TokenKind::end;
}

double ExpressionParser::parseExpression()
{
    double value = parseTerm();
    while (!m_failed) {
        const TokenKind kind = currentKind();
        if (kind == TokenKind::plus) {
            advance();
            value += parseTerm();
        } else if (kind == TokenKind::minus) {
            advance();
            value -= parseTerm();
        } else {
            break;
        }
    }
    return value;
}

double ExpressionParser::parseTerm()
{
    double value = parseUnary();
    while (!m_failed) {
        const TokenKind kind = currentKind();
        if (kind == TokenKind::multiply) {
            advance();
            value *= parseUnary();
        } else if (kind == TokenKind::divide) {
            advance();
            const double divisor = parseUnary();
            if (m_failed)
                break;
            if (divisor == 0) {
                fail(ErrorKind::divisionByZero);
                break;
            }
            value /= divisor;
        } else {
            break;
        }
    }
    return value;
}

double ExpressionParser::parseUnary()
{
    // Every nesting (brackets, minus chains, exponents) passes through here.
    if (++m_depth > maximumDepth) {
        fail(ErrorKind::nestingTooDeep);
        --m_depth;
        return 0;
    }
    double value;
    if (currentKind() == TokenKind::minus) {
        advance();
        value = -parseUnary();
    } else {
        value = parsePower();
    }
    --m_depth;
    return value;
}

double ExpressionParser::parsePower()
{
    const double base = parsePrimary();
    if (m_failed || currentKind() != TokenKind::power)
        return base;
    advance();
    const double exponent = parseUnary();
    return m_failed ? 0 : std::pow(base, exponent);
}

double ExpressionParser::parsePrimary()
{
    switch (currentKind()) {
    case TokenKind::number: {
        const double value = m_tokens[m_position].value;
        advance();
        return value;
    }
    case TokenKind::leftParen: {
        advance();
        const double value = parseExpression();
        if (m_failed)
            return 0;
        if (currentKind() == TokenKind::rightParen) {
            advance();
            return value;
        }
        fail(ErrorKind::unexpectedToken, QStringLiteral("Expected ')'"));
        return 0;
    }
    case TokenKind::end:
        fail(ErrorKind::unexpectedEndOfInput);
        return 0;
    default:
        fail(ErrorKind::unexpectedToken, QStringLiteral("Expected number or '('"));
        return 0;
    }
}
