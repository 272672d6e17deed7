#include "Engine/CalculatorEngine.h"
#include "Engine/ExpressionParser.h"
#include "Engine/ExpressionText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace ExpressionText;

namespace {
constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();
}

TEST(ExpressionText, NumberTexts)
{
    const struct {
        double value;
        const char* plain;
        const char* canonical;
        const char* formatted;
    } cases[] = {
        {119.0, "119", "119", "119"},
        {1.19, "1.19", "1.19", "1.19"},
        {1.0 / 3, "0.3333333333333333", "0.333333333333333", "0.33"},
        {1e-11, "0.00000000001", "0.00000000001", "0"},
        {200 * 1.1, "220.00000000000003", "220", "220"},
        {0.00001, "0.00001", "0.00001", "0"},
        {2e15, "2000000000000000", "2000000000000000", "2000000000000000"},
        {1e20, "100000000000000000000", "100000000000000000000", "100000000000000000000"},
        {9223372036854775808.0, "9223372036854775808", "9223372036854775808", "9223372036854775808"},
        {2.5, "2.5", "2.5", "2.5"},
        {1234.567, "1234.567", "1234.567", "1234.57"},
        {0.125, "0.125", "0.125", "0.13"},
        {-0.005, "-0.005", "-0.005", "-0.01"},
        {2.005, "2.005", "2.005", "2.01"},
        {1e15, "1000000000000000", "1000000000000000", "1000000000000000"},
        {-0.001, "-0.001", "-0.001", "-0"},
        {-3, "-3", "-3", "-3"},
        {1.7976931348623157e308, nullptr, nullptr, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        if (!c.plain) {
            // No exponent, whatever the size, and the text reads back.
            for (const QString& text : {plainNumber(c.value), canonicalNumber(c.value), formatResult(c.value)}) {
                EXPECT_FALSE(text.contains(QLatin1Char('e')));
                EXPECT_EQ(readDouble(text), c.value);
            }
            continue;
        }
        EXPECT_EQ(plainNumber(c.value), QString::fromLatin1(c.plain));
        EXPECT_EQ(canonicalNumber(c.value), QString::fromLatin1(c.canonical));
        EXPECT_EQ(formatResult(c.value), QString::fromLatin1(c.formatted));
    }
    for (double special : {notANumber, inf, -inf}) {
        EXPECT_EQ(canonicalNumber(special), QStringLiteral("0"));
        EXPECT_EQ(CalculatorEngine::formatResult(special), QStringLiteral("\u2014"));
    }
    EXPECT_EQ(decimalNumber(4), QStringLiteral("4.0"));
    EXPECT_EQ(decimalNumber(0.49999999999999994), QStringLiteral("0.49999999999999994"));
}

TEST(ExpressionText, ReadingNumbers)
{
    const std::pair<const char*, std::optional<double>> cases[] = {
        {"16", 16},      {"-5", -5},         {"+2.5", 2.5},     {".5", 0.5},      {"5.", 5},
        {"1e3", 1000},   {"1,5", std::nullopt}, {" 5", std::nullopt}, {"", std::nullopt},
        {"--5", std::nullopt}, {"5x", std::nullopt}, {"1e400", inf}, {"-1e400", -inf}, {"1e-400", 0},
    };
    for (const auto& [text, value] : cases)
        EXPECT_EQ(readDouble(QString::fromLatin1(text)), value) << text;
    EXPECT_EQ(readDouble(QStringLiteral("١٢")), std::nullopt); // digits of another script
}

TEST(ExpressionText, Brackets)
{
    EXPECT_TRUE(hasBalancedParentheses(u"(1)(2)"));
    EXPECT_FALSE(hasBalancedParentheses(u")("));
    EXPECT_FALSE(hasBalancedParentheses(u"(("));
}

TEST(ExpressionParser, GrammarAndErrors)
{
    using Kind = ExpressionParser::ErrorKind;
    const std::pair<const char*, double> values[] = {
        {"1+2*3", 7}, {"2^3^2", 512}, {"-2^2", -4}, {"--3", 3}, {"2*-3", -6}, {"1,5", 1.5}, {".5", 0.5},
        {"5.", 5}, {"3 × 4", 12}, {"12 ÷ 4", 3}, {"\t1\n+\r2", 3}, {"1\u00A0+\u20031", 2},
    };
    for (const auto& [text, value] : values) {
        const ExpressionParser::Result result = ExpressionParser::evaluate(QString::fromUtf8(text));
        EXPECT_TRUE(result.ok) << text;
        EXPECT_EQ(result.value, value) << text;
    }
    const std::pair<const char*, ExpressionParser::Error> errors[] = {
        {"1,2,3", {Kind::unexpectedToken, ","}},
        {"2 3", {Kind::unexpectedToken, "Expected end of expression"}},
        {"2)", {Kind::unexpectedToken, "Expected end of expression"}},
        {"(2)(3)", {Kind::unexpectedToken, "Expected end of expression"}},
        {"1.2.3", {Kind::unexpectedToken, "Expected end of expression"}},
        {"x", {Kind::unexpectedToken, "x"}},
        {"2−1", {Kind::unexpectedToken, "\u2212"}},
        {"+5", {Kind::unexpectedToken, "Expected number or '('"}},
        {"()", {Kind::unexpectedToken, "Expected number or '('"}},
        {"(3", {Kind::unexpectedToken, "Expected ')'"}},
        {".", {Kind::invalidNumber, "."}},
        {"½", {Kind::invalidNumber, "½"}},
        {"𝟠", {Kind::invalidNumber, "𝟠"}},
        {"3+", {Kind::unexpectedEndOfInput, {}}},
        {"", {Kind::unexpectedEndOfInput, {}}},
        {"5/0", {Kind::divisionByZero, {}}},
        {"5/-0", {Kind::divisionByZero, {}}},
        {"0/0", {Kind::divisionByZero, {}}},
    };
    for (const auto& [text, error] : errors) {
        const ExpressionParser::Result result = ExpressionParser::evaluate(QString::fromUtf8(text));
        EXPECT_FALSE(result.ok) << text;
        EXPECT_EQ(result.error, error) << text;
    }
    const ExpressionParser::Result infinite = ExpressionParser::evaluate(u"0^-1");
    EXPECT_TRUE(infinite.ok);
    EXPECT_TRUE(std::isinf(infinite.value));
    // A digit run past the double range is refused, not read as infinity.
    EXPECT_EQ(ExpressionParser::evaluate(QString(400, QLatin1Char('9'))).error.kind, Kind::invalidNumber);
}
