#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <set>

#include <cmath>
#include <cstring>
#include <random>

namespace {

struct Case {
    const char* expression;
    double value = 0;
    const char* error = nullptr; // the row's error text, when it fails
};

Case ok(const char* expression, double value) { return {expression, value, nullptr}; }
Case fails(const char* expression, const char* error) { return {expression, 0, error}; }

void expectCases(TestEngine& t, DecimalStyle style, const std::vector<Case>& cases)
{
    t.setStyle(style);
    for (const Case& c : cases) {
        const QString expression = QString::fromUtf8(c.expression);
        const EvaluationResult result = t.engine.evaluate(expression);
        SCOPED_TRACE(c.expression);
        SCOPED_TRACE(t.engine.sanitize(expression).toStdString());
        if (c.error) {
            ASSERT_FALSE(result.ok()) << "value " << result.value();
            EXPECT_EQ(result.error().errorDescription().toStdString(), c.error);
        } else {
            ASSERT_TRUE(result.ok()) << result.error().errorDescription().toStdString();
            EXPECT_DOUBLE_EQ(result.value(), c.value);
        }
    }
}

constexpr double pi = 3.141592653589793;
constexpr double e = 2.718281828459045;

} // namespace

TEST(ExpressionEvaluation, ArithmeticAndFrame)
{
    TestEngine t;
    expectCases(t, DecimalStyle::germanComma, {
        ok("1+2*3", 7), ok("(1+2)*3", 9), ok("2^3^2", 512), ok("-2^2", -4), ok("2^-2", 0.25),
        ok("--3", 3), ok("2--3", 5), ok("2*-3", -6), ok("8/4/2", 1), ok("8-3-2", 3),
        ok("(5+3)*", 8), fails("*5", "Invalid expression"), ok("-5", -5), fails("2+*3", "Invalid expression"),
        fails("", "Empty expression"), fails("   ", "Empty expression"), fails("apples", "Empty expression"),
        fails("(1+2", "Unbalanced parentheses"), fails(")1+2(", "Unbalanced parentheses"),
        fails("2) + 10%", "Unbalanced parentheses"),
        fails("5/0", "Division by zero"), fails("1/(2-2)", "Division by zero"),
        fails("10^400", "Invalid result"), fails("(-8)^0,5", "Invalid result"),
        fails("()", "Invalid expression"), ok("2 ^", 2), fails("(*3)", "Invalid expression"),
    });
}

TEST(ExpressionEvaluation, NumberStylesAndPlainSteps)
{
    TestEngine t;
    expectCases(t, DecimalStyle::germanComma, {
        ok("1,5", 1.5), ok("1.5 + 1", 2.5), ok("1.000,50", 1000.5), ok("1.000.000", 1000000),
        ok("1.000,50 € + 10%", 1100.55),
        ok("3 × 4", 12), ok("12 ÷ 4", 3), ok("7 − 2", 5), ok("10 : 4", 2.5), ok("2x3x4", 24), ok("2 X 3", 6),
        ok("500 \"note 3\"", 500), ok("5 \"open", 5),
        ok("100 kr", 100), ok("CHF 20", 20), ok("20 ₿", 20),
        fails("1,€234,€567", "Invalid expression"),
        ok("3 - -5", 8), ok("3 + -5", -2), fails("5 - + - 3", "Invalid expression"),
        ok("12\u00A0000", 12000), ok("2\t+\n3", 5),
    });
    expectCases(t, DecimalStyle::usPeriod, {
        ok("1.5", 1.5), ok("1,5", 1.5), ok("1,000.50 $", 1000.5), ok("1,000.50 + 10%", 1100.55),
        ok("1,000", 1000), ok("2,5 x 2", 5),
    });
}

TEST(ExpressionEvaluation, TaxLabels)
{
    TestEngine t;
    expectCases(t, DecimalStyle::germanComma, {
        ok("100 + MwSt", 119), ok("100 + MwSt reduziert", 107), ok("100 + mwst.", 119),
        ok("100 - MwSt", 81), ok("100 - MwSt reduziert", 92.99999999999999),
        ok("MwSt", 19), ok("10 * MwSt", 1.9), ok("(40+60) + MwSt", 119), ok("2*100 + MwSt", 238),
        ok("100 MwSt", 100), ok("100MwSt", 100), ok("Tax 3 + 1", 4),
    });
    // A tax by name is its percentage wherever it stands.
    for (const char* shape : {"100 + %1", "1 / 5 + %1", "2 * (3 + 4) - %1", "%1", "10 * %1", "(1 + 2) + %1 + 3",
                              "100 + 100 + %1", "1 / 5 - %1"}) {
        for (const auto& [label, percent] : {std::pair("MwSt", "19%"), std::pair("MWST REDUZIERT", "7%")}) {
            const EvaluationResult named = t.engine.evaluate(QString::fromUtf8(shape).arg(QString::fromUtf8(label)));
            const EvaluationResult typed = t.engine.evaluate(QString::fromUtf8(shape).arg(QString::fromUtf8(percent)));
            EXPECT_EQ(named, typed) << shape << " " << label;
        }
    }

    // A disabled or removed rate does nothing; fractional and zero rates
    // keep their text; a label may start with a blank or a digit.
    t.settings().settings.enabledTaxRates = {TestSettings::taxRate("Tax 3", 0), TestSettings::taxRate("Halb", 5.5),
                                             TestSettings::taxRate(" Zoll", 10), TestSettings::taxRate("2fach", 100),
                                             TestSettings::taxRate("Doppelt", 50)};
    expectCases(t, DecimalStyle::germanComma, {
        fails("100 + MwSt", "Invalid expression"), ok("100 + Tax 3", 100), ok("200 + Halb", 211), ok("Halb", 5.5),
        ok("100 + Doppelt", 150),
        ok("100 + Zoll", 110), ok("100 - Zoll", 90), ok("3 + 2fach", 6), ok("3 +2FACH", 6),
    });

    // Labels match without regard to case, the Kelvin sign and the long s
    // included; the number taxed is the one right before the sign.
    t.settings().settings.enabledTaxRates = {TestSettings::taxRate("MwSt", 19), TestSettings::taxRate("Kist", 10),
                                             TestSettings::taxRate("Steuer", 20)};
    expectCases(t, DecimalStyle::germanComma, {
        ok("100 + MWST", 119), ok("100 + mWsT.", 119), ok("100 + \u212Aist", 110), ok("100 + \u017Fteuer", 120),
        ok("1,5 + 2 + MwSt", 3.88), ok("2 + 3 + MwSt + MwSt", 2 + 3 * (1.19 * 1.19)), fails("MwSt + 1", "Invalid expression"), ok("100 +MwStMwSt", 119),
    });
}

TEST(ExpressionEvaluation, Percentages)
{
    TestEngine t;
    expectCases(t, DecimalStyle::germanComma, {
        ok("200 + 10%", 220), ok("200 - 10%", 180), ok("200 * 10%", 20), ok("200 / 10%", 2000),
        ok("100 + 10% - 50 + 20%", 50), ok("100 + 10% + 10%", 121),
        ok("(100 + 50) * 10%", 15), ok("(100 + 50) - 10%", 135), ok("(40+60) + 19%", 119),
        ok("(100+50) / 10%", 1500), ok("(2^3) + 10%", 8.8), ok("5 + (3) + 10%", 8.3),
        ok("2x(3+4) + 10%", 15.4), ok("50%", 50),
        fails("200 / 0%", "Division by zero"),
    });
    EXPECT_EQ(t.engine.sanitize("100 + 10% + 10%"), "121");
    // A percentage past the double range is left alone rather than written as 0.
    const QString huge = QString(400, QLatin1Char('9'));
    EXPECT_EQ(t.engine.evaluate(huge + QStringLiteral(" + 10%")), CalculationError::invalidExpression());
    EXPECT_EQ(t.engine.sanitize("1/3 * 100 * 1%"), "1/3*1");
    EXPECT_EQ(t.engine.sanitize("1 + 33,3333333333333%"), "1.33333333333333");
}

TEST(ExpressionEvaluation, CurrencyConversion)
{
    TestEngine t;
    expectCases(t, DecimalStyle::germanComma, {
        ok("100 € in USD", 110), ok("100 eur to usd", 110), ok("100 Euros -> USD", 110),
        ok("€100 in USD", 110), ok("€ 100 in USD", 110), ok("100 € in USD * 2", 220),
        ok("100 EUR inUSD", 110), ok("100 EUR IN usd", 110), ok("100 usd->eur", 100 / 1.1),
        ok("1.234,56 € in USD", 1358.016), fails("10 € in USD + 5 € in GBP", "Invalid expression"),
        ok("110 $ in EUR", 100), ok("85 £ to $", 110),
        fails("50 CNY in EUR", "No exchange rate for CNY → EUR"),
    });
    expectCases(t, DecimalStyle::usPeriod, {
        ok("2.125 $ in EUR", 1.93181818181818), ok("12,5 € in USD", 13.75),
    });
    // A zero rate cannot convert; the row says so instead of showing 0.
    t.settings().rates.insert(QStringLiteral("SEK"), 0);
    expectCases(t, DecimalStyle::germanComma, {fails("100 SEK in EUR", "No exchange rate for SEK → EUR")});
    // Without any rates a conversion fails as for a missing rate; it never
    // shows the amount as if converted.
    t.settings().rates.clear();
    expectCases(t, DecimalStyle::germanComma, {fails("100 € in USD", "No exchange rate for EUR → USD"), ok("100 €", 100)});
}

TEST(ExpressionEvaluation, FunctionsAndConstants)
{
    TestEngine t;
    expectCases(t, DecimalStyle::germanComma, {
        ok("sqrt(16)", 4), ok("sqrt(2+2)", 2), ok("abs(-5)", 5), ok("round(2,5)", 3), ok("round(-2,5)", -3),
        ok("floor(2,7)", 2), ok("ceil(2,1)", 3), ok("log(1000)", 3), ok("ln(e)", 1),
        ok("sin(30)", 0.49999999999999994), ok("atan(1)", 45), ok("cos(60)", 0.5000000000000001),
        ok("sin(sqrt(900))", 0.49999999999999994), ok("sqrt(sin(90))", 1), ok("sqrt(sqrt(16))", 2),
        ok("2*pi", 2 * pi), ok("π", pi), ok("PI", pi), ok("e", e), ok("E", e),
        ok("pow(2, 3)", 8), ok("POW(2, 10)", 1024), fails("pow(2,3)", "Invalid expression"),
        ok("SQRT(16)", 4), ok("ROUND(2,5)", 3), ok("FLOOR(2,7)", 2), ok("ABS(-1)", 1),
        ok("sqrt(16) + 10%", 4.4), ok("sqrt(0,0000000001)", 0.00001), ok("pow(10, 20)", 1e20),
        ok("sin(-30)^2", 0.24999999999999994),
        fails("sqrt(-4)", "Invalid result"), fails("asin(2)", "Invalid result"), fails("ln(0)", "Invalid result"),
        fails("pow(0, -1)", "Invalid result"), fails("sqrt(x)", "Invalid expression"),
    });
    EXPECT_EQ(t.engine.sanitize("sqrt(16)"), "4.0");
    EXPECT_EQ(t.engine.sanitize("pow(2, 10)"), "1024.0");
    expectCases(t, DecimalStyle::usPeriod, {ok("pow(2,3)", 8), ok("asin(0.5)", 30.000000000000004),
                                            ok(".99 * pow(2,.5)", 0.99 * std::sqrt(2.0))});
}

// Inputs that once gave plainly wrong results, in both number styles, next
// to neighbours whose results must stay as they are.
TEST(ExpressionEvaluation, SoundResultsWhereTheTextMisled)
{
    TestEngine t;
    const QString overflowing = QStringLiteral("1") + QString(308, QLatin1Char('0'));
    const std::string hugeAddsAll = (overflowing + QStringLiteral(" + 100%")).toStdString();
    const std::string hugeGroupTimes = (QLatin1Char('(') + overflowing + QStringLiteral(") * 1000%")).toStdString();
    const std::vector<Case> eitherStyle = {
        // A percentage may be negative.
        ok("100 * -3%", -3), ok("100 * - 3%", -3), ok("200 / -10%", -2000), ok("(100 + 50) * -10%", -15),
        ok("100 - 3 * -5%", 100.15), ok("(40+60) + -5%", 95),
        // A bracket group holding a call or a constant is computed with its value.
        ok("(sqrt(16) + 1) + 10%", 5.5), ok("(100 + sqrt(16)) - 10%", 93.6), ok("(2 * pi) + 10%", 6.91150383789755),
        ok("((abs(-4))) * 50%", 2), fails("(acos(2)) + 10%", "Invalid result"),
        // A call that cannot be worked out fails the row.
        fails("(sqrt(16 Äpfel)) + 10%", "Invalid expression"),
        // A word before a bracket is a label; letters right before it name no function.
        fails("Preis(200) + MwSt", "Invalid expression"), ok("Preis (200) + MwSt", 238),
        // A blank between a digit and three digits groups thousands.
        ok("1 000 + 10%", 1100), ok("1\u00A0000 + 10%", 1100), ok("1\u202F000 - 10%", 900), ok("1 000 + 1", 1001),
        ok("1 000 € in USD", 1100), ok("1 000 000 + MwSt", 1190000),
        // A value past the double range is an error, not a silently dropped "%".
        fails(hugeAddsAll.c_str(), "Invalid result"), fails(hugeGroupTimes.c_str(), "Invalid result"),
        // Unchanged neighbours.
        ok("100 MwSt", 100), ok("sqrt(16) + 10%", 4.4), ok("sqrt(16)", 4), ok("2x(3+4) + 10%", 15.4), ok("200 - 10%", 180),
    };
    expectCases(t, DecimalStyle::germanComma, eitherStyle);
    expectCases(t, DecimalStyle::usPeriod, eitherStyle);

    // A leading decimal mark reads as "0."; small computed values keep their value.
    expectCases(t, DecimalStyle::germanComma, {
        ok(",5 + 1", 1.5), ok("(,5)", 0.5), ok("2 * ,25", 0.5), ok("100 + ,5%", 100.5), ok("1,5", 1.5),
        ok("0,00000000001 + 10%", 1.1e-11), ok("0,00000000001 € in USD", 1.1e-11), ok("1,000 + 10%", 1.1),
    });
    expectCases(t, DecimalStyle::usPeriod, {
        ok(".5 + 1", 1.5), ok("(.5)", 0.5), ok("2 * .25", 0.5), ok("2 x .5", 1), ok("100 + .5%", 100.5),
        ok("1.5", 1.5), fails("mwst.5", "Invalid expression"),
        ok("0.00000000001 + 10%", 1.1e-11), ok("0.00000000001 € in USD", 1.1e-11), ok("1,000 + 10%", 1100),
    });
    t.setStyle(DecimalStyle::germanComma);
    EXPECT_EQ(t.engine.sanitize("0,00000000001 + 10%"), "0.000000000011");
    EXPECT_EQ(t.engine.sanitize("200 + 10%"), "220");

    // Linked negative percentages, and a negative tax rate.
    const QHash<QString, double> minusThree{{QStringLiteral("A"), -3}};
    for (DecimalStyle style : {DecimalStyle::germanComma, DecimalStyle::usPeriod}) {
        t.setStyle(style);
        EXPECT_EQ(t.engine.evaluate(QStringLiteral("100 * {A}%"), minusThree, {}), EvaluationResult::success(-3));
        EXPECT_EQ(t.engine.evaluate(QStringLiteral("100 + {A}%"), minusThree, {}), EvaluationResult::success(97));
        EXPECT_EQ(t.engine.evaluate(QStringLiteral("{A}%"), minusThree, {}), EvaluationResult::success(-3));
    }
    t.settings().settings.enabledTaxRates = {TestSettings::taxRate("Skonto", -10)};
    const std::vector<Case> negativeRate = {
        ok("100 * Skonto", -10), ok("Skonto", -10), ok("(40+60) + Skonto", 90), ok("(40+60) - Skonto", 110),
        ok("100 + Skonto", 90), ok("100 - Skonto", 110), ok("200 / Skonto", -2000),
    };
    expectCases(t, DecimalStyle::germanComma, negativeRate);
    expectCases(t, DecimalStyle::usPeriod, negativeRate);

    // Before any rates were loaded, a conversion fails as for a missing rate.
    t.settings().rates.clear();
    const std::vector<Case> noRates = {fails("100 € in USD", "No exchange rate for EUR → USD"), fails("€ 5 to GBP", "No exchange rate for EUR → GBP"),
                                       ok("100 € + 1", 101)};
    expectCases(t, DecimalStyle::germanComma, noRates);
    expectCases(t, DecimalStyle::usPeriod, noRates);
}

// A row shows what was typed, or says it cannot read it: never a number
// made by fusing, dropping or guessing. One group per rule of reading.
TEST(ExpressionEvaluation, RowsShowWhatWasTypedOrRefuse)
{
    TestEngine t;
    const char* const invalid = "Invalid expression";
    const std::vector<Case> eitherStyle = {
        // Numbers are never fused; blanks and apostrophes group thousands.
        fails("7 Stück à 3", invalid), fails("100 + 20 = 120", invalid), fails("5 \"Notiz\" 3", invalid),
        ok("1 000 + 1'000", 2000), ok("Netflix 12 + E-Bike 79", 91),
        // The parser reads the whole text.
        fails("2(3+4)", invalid), fails("(1+2)(3+4)", invalid),
        // Constants are whole words; a constant or a call touching a digit cannot be read.
        ok("Pizza 8 + Spinat 6", 14), fails("2pi", invalid), fails("1e3", invalid), fails("2sqrt(9)", invalid),
        // A call that cannot be computed fails.
        fails("max(3, 5)", invalid), fails("sqrt 16", invalid), fails("Sqrt(16)", invalid), ok("SQRT(16)", 4),
        fails("tan(90)", "Invalid result"),
        // Signs that carry arithmetic are read or refused.
        ok("100 – 20", 80), ok("3 · 4", 12), fails("5!", invalid), fails("2**3", invalid),
        ok("Summe: 100 + 50", 150), fails("Miete März 2024: 850", invalid), ok("10:4", 2.5),
        fails("100 + Versand", invalid), ok("100 + €", 100), ok("100 + #", 100),
        // Percentages and taxes.
        ok("100 + 19% MwSt", 119), ok("200 EUR + 10%", 220), ok("100 - 10% - 10%", 81), ok("10% + 10%", 20),
        fails("19% * 200", invalid), ok("2 kg + 10%", 2.2),
        // Conversions that were not made, and sums of two currencies.
        fails("100 € in Yen", "No exchange rate for EUR → JPY"), ok("100 € nach USD", 110), fails("20 USD + 10 EUR", invalid),
        // Conventions that stay.
        ok("100 + 60 + 25 + 19%", 189.75), ok("Miete 850 + Strom 120", 970),
    };
    expectCases(t, DecimalStyle::germanComma, eitherStyle);
    expectCases(t, DecimalStyle::usPeriod, eitherStyle);

    // A grouping mark that cannot group is the decimal mark.
    expectCases(t, DecimalStyle::germanComma, {
        ok("2.99 + 1.49", 4.48), ok("0.125", 0.125), ok("12.345.678", 12345678), fails("12.03.2024", invalid),
        ok("2,125 € in USD", 2.3375), ok("5,- € + 3,50 €", 8.5), ok("25,-- € Trinkgeld", 25), ok("5,– + 3,−", 8), fails("pow(2,3)", invalid), ok("pow(2, 3)", 8),
        ok("Pizza 8,50 + Salat 6,90", 15.4), fails("1,2,3", invalid),
    });
    expectCases(t, DecimalStyle::usPeriod, {
        ok("12,50 + 7,25", 19.75), ok("0,125", 0.125), ok("12,345,678", 12345678), fails("1.2.3", invalid),
        ok("2.125 € in USD", 2.3375), ok("pow(2,3)", 8), ok("pow(2, 3)", 8),
    });

    // A linked value touching a number would be read as one with it.
    EXPECT_EQ(t.engine.evaluate(QStringLiteral("{A}{B}"), {{"A", 1}, {"B", 2}}, {}), CalculationError::invalidExpression());

    // One line per rule of reading, with the grouping mark of each style.
    struct Styled {
        const char* german;
        const char* us;
        double value; // NaN: refused
    };
    const double no = std::nan("");
    const Styled rules[] = {
        // Digit groups: one to three leading digits, one mark a number, words keep glued digits.
        {"1.000 + 10.000", "1,000 + 10,000", 11000}, {"Miete 1.200 + Kaution 30.000", "Rent 1,200 + Deposit 30,000", 31200},
        {"1.000 000", "1,000 000", no}, {"Beitrag 2024 120 €", "Fee 2024 120 $", no}, {"iPhone15 999", "iPhone15 999", 999},
        {"CHF20 + 5", "20EUR + 5", 25}, {"0.500 + 1", "0,500 + 1", 1.5}, {"1.000.5", "1,000,5", no},
        {"1 000.000", "1 000,000", no}, {"1o0", "1o0", no}, {"E10,5 + 1", "E10.5 + 1", 1},
        // A leading mark starts a fraction in both styles.
        {".5", ",5", 0.5}, {"1 + ,25", "1 + .25", 1.25}, {"2 x,5", "2 x.5", 1},
        // Conversions convert their whole stretch, or refuse.
        {"(20 + 35) USD in EUR", "(20 + 35) USD in EUR", 50}, {"Miete 1000 + 100 € in USD", "Rent 1000 + 100 € in USD", 1210},
        {"EUR 100 in USD", "EUR 100 in USD", 110}, {"USD 110 to EUR", "USD 110 => EUR", 100}, {"100 in USD", "5 kg in lb", no},
        {"100 USD to EUR to GBP", "100 USD into EUR into GBP", no}, {"10 € in USD + 5 € in GBP", "20 € + 30 $ in EUR", no},
        {"(10 € in USD) + (5 € in GBP)", "20 € + 5 + 30 $ in EUR", no}, {"2 * (100 € in USD)", "2 * (100 € in USD)", 220},
        // Words that carry arithmetic.
        {"200 + 10 Prozent", "200 + 10 percent", 220}, {"minus 5", "5 times 3", -5}, {"2 plus 3 mal 4", "2 plus 3 times 4", 14},
        {"Gehalt 45k / 12", "2 Mio + 500", no}, {"Wurzel aus 16", "2 hoch 3", no},
        // Operators need numbers; two in a row fail, a minus after one is a sign.
        {"* 5", "Preis x 3", no}, {"2 ++ 3", "20%%", no}, {"2 * -3", "2 * -3", -6},
        // Clock times and numbers set off by a colon.
        {"Termin 14:30", "1:30 h x 40", no}, {"10: -3", "2024: 850", no}, {"10:4", "10 : 4", 2.5},
        // Words next to a percentage or tax.
        {"200 Euro - 10%", "200 Dollar - 10%", 180}, {"2 kg + 10%", "3 Stück + 10%", -1}, {"100 + Trinkgeld 10%", "200 + tax 8%", -2},
        {"200 € netto + MwSt", "200 € netto + MwSt", 238}, {"4 x 2,99 €/Stück", "4 x 2.99 €/Stück", 11.96},
        {"100 \"bezahlt am 12.03.2024\"", "100 \"paid 12.03.2024\"", 100}, {"pi-sqrt(4)", "5.- + 3", -3},
    };
    for (const Styled& rule : rules) {
        for (const DecimalStyle style : {DecimalStyle::germanComma, DecimalStyle::usPeriod}) {
            const char* text = style == DecimalStyle::germanComma ? rule.german : rule.us;
            // Lines that compute differently in their two styles.
            double value = rule.value;
            if (value == -1)
                value = style == DecimalStyle::germanComma ? 2.2 : 3.3;
            else if (value == -2)
                value = style == DecimalStyle::germanComma ? 110 : 216;
            else if (value == -3)
                value = style == DecimalStyle::germanComma ? pi - 2 : 8;
            else if (std::strcmp(rule.us, "5 times 3") == 0 && style == DecimalStyle::usPeriod)
                value = 15;
            expectCases(t, style, {std::isnan(value) ? fails(text, invalid) : ok(text, value)});
        }
    }

}

// The rows found wrong or refused, each in both styles: the value, or the
// reason it is refused.
TEST(ExpressionEvaluation, RulesAddedReadInBothStyles)
{
    TestEngine t;
    t.settings().rates.insert(QStringLiteral("CHF"), 0.8);
    t.settings().rates.insert(QStringLiteral("CAD"), 1.5);
    using R = RefusalCode;
    struct Styled {
        const char* german;
        const char* us;
        double value;
        RefusalCode refusal; // none: shows `value`
    };
    const Styled rows[] = {
        // 1. Blank groups after a word are ambiguous; elsewhere they group.
        {"Windows 11 129 €", "iPhone 15 999", 0, R::ambiguousGrouping}, {"Zimmer 204 130 €", "TV 1 299", 0, R::ambiguousGrouping},
        {"€ 1 299 + 1", "$ 1 299 + 1", 1300, R::none}, {"Mum's 1'000", "Mum's 1'000", 1000, R::none}, {"(1 299)", "2 x 1 000", -1, R::none},
        // 2. Magnitude and quantity words are never dropped.
        {"3 Tausend x 4", "3 dozen x 0.50", 0, R::magnitudeWord}, {"Auto 12 Mio + 1.500", "car 12 grand + 1,500", 0, R::magnitudeWord},
        {"1,2M € x 3%", "$1.2M x 3%", 0, R::magnitudeWord}, {"Hälfte von 84", "half of 84", 0, R::magnitudeWord},
        {"5 kg + 2 kg", "5 min + 10 min", -2, R::none},
        // 3. Different units of one kind added or taken away.
        {"Mehl 1 kg - 350 g", "flour 1 lb - 3 oz", 0, R::mixedUnits}, {"Milch 0,5 l + 250 ml", "2 m + 30 cm", 0, R::mixedUnits},
        {"3,99 €/kg x 2,5 kg", "$3.99/lb x 2.5 lb", 9.975, R::none},
        // 4. Two currencies in one sum, whatever stands between them.
        {"5 € + Miete 3 $", "5 $ + rent 3 €", 0, R::mixedCurrencies}, {"5 EUR - 10% + 3 USD", "(5 EUR) + 3 USD", 0, R::mixedCurrencies},
        // 5. Dashes after a currency subtract, and so does one with only a
        // currency or a label before it; a dash before a minus adds.
        {"100 € – 20", "100 € – 20", 80, R::none}, {"100 Euro – 10 %", "100 Euro – 10 %", 90, R::none},
        {"100 – -20", "100 — −20", 120, R::none}, {" € – 5", " $ – 5", -5, R::none}, {" € – -5", " $ – -5", 5, R::none},
        {"Rabatt: – 5", "10 rebate — 15", -5, R::none}, {"100 – - 10%", "100 — - 10", 110, R::none},
        // 6. Digits and letters glued together are one word.
        {"3D-Druck -5", "R5 Kabel 20", -3, R::none}, {"4G-Vertrag +5", "co-pay 30 + Rx 12.50", -4, R::none},
        {"A4 ,5", "A4 .5", 0.5, R::none}, {"Modell X200 299", "Model X200 299", 299, R::none},
        {"5kg2", "5lb2", 0, R::lettersInNumber},
        // The one reader of numbers: a leading mark is always the decimal
        // mark, and pow's second argument may start with one.
        {".999 + 1", ",999 + 1", 1.999, R::none}, {"pow(2, ,5) * ,99", ".99 * pow(2,.5)", 0.99 * std::sqrt(2.0), R::none},
        // 7. A tax by name is its percentage.
        {"1 / 5 + MwSt", "1 / 5 + MwSt", 1 / 5.95, R::none}, {"100 + MwSt Reduziert", "100 + MWST REDUZIERT", 107, R::none},
        // 8. Dates are refused; ratios divide.
        {"Fällig 2024-04-15", "due 2024-04-15", 0, R::date}, {"15/04/2024", "04/15/2024", 0, R::date},
        {"12.03.2024", "12.03.2024", 0, R::date}, {"10:4 + 1/2", "10:4 + 1/2", 3, R::none},
        // 10. Two percent signs.
        {"100 + 19%%", "20%%", 0, R::twoPercentSigns},
        // 11. One reading at each seam: x glued to the next number, units
        // spelled out, money and a unit, multiplier words, constants and
        // taxes before a percentage, dashes, calls after a price, labels.
        {"45 x5", "45 x5", 225, R::none}, {"Cans 12 x0,89", "Cans 12 x0.89", 10.68, R::none}, {"Socken 3 x4,99", "Socks 3 x4.99", 14.97, R::none},
        {"12,50€x3", "24.00 x2 - 10,5", 37.5, R::none}, {"4 X2,50", "4 X2.50", 10, R::none}, {"5kg * 2", "5lb * 2", 10, R::none},
        {"1 Liter - 200 ml", "1 hour + 30 minutes", 0, R::mixedUnits}, {"Mehl 1 kg - 350 Gramm", "2 feet + 3 inches", 0, R::mixedUnits},
        {"1 Meter + 20 cm", "Milk 1 gal + 2 qt", 0, R::mixedUnits}, {"5 € + 3 kg", "3 cups + 2 tbsp", 0, R::mixedUnits},
        {"10 km + 5 €", "10 km + 5 €", 0, R::mixedUnits}, {"2 Liter + 3 l", "2 feet + 3 ft", 5, R::none},
        {"doppelt 45", "twice 45", 90, R::none}, {"zweimal 45", "quadruple 22.5", 90, R::none}, {"Hälfte 84 €", "half 1/2 x 3 cups", -99, R::none},
        {"Half off 24,99", "Half off 24.99", 0, R::magnitudeWord}, {"Treffen halb 5", "halb 5", 0, R::magnitudeWord},
        {"Viertel 4,50", "quarter 4.50", 4.5, R::none},
        {"100 - pi - 10%", "100 - pi - 10%", 100 - pi * 0.9, R::none}, {"6 * pi - 4%", "6 * pi - 4%", 6 * pi * 0.96, R::none},
        {"1 / e - MwSt", "1 / e - MwSt", 1 / (e * 0.81), R::none},
        {"5 + MwSt – -9", "5 + MwSt – -9", 14.95, R::none}, {"7 + MwSt – 5", "7 + MwSt – 5", 7 * 1.19 - 5, R::none},
        {"2 kg – -2", "2 kg – -2", 4, R::none},
        {"6€/cos(180)", "6$/cos(180)", -6, R::none}, {"3€/asin(-1)", "3$/asin(-1)", -1.0 / 30, R::none},
        {"A4 1 000", "iPhone15 1 299", 0, R::ambiguousGrouping},
        {"15/04/24 120", "Rechnung 15/04/24 120", 0, R::date}, {"4/15/24", "4/15/24", 0, R::date}, {"83-7-13", "83-7-13", 63, R::none},
        {"30 € / Monat x 12", "$30/mo x 12", 360, R::none}, {"30 EUR / Monat x 12", "$30 / mo x 12", 360, R::none}, {"$275/wk x 52 / 12", "$275/wk x 52 / 12", 275.0 * 52 / 12, R::none},
        {"MwSt-Anteil 119 / 1,19 x 0,19", "MwSt-Anteil 119 / 1.19 x 0.19", 19, R::none}, {"MwSt-frei 50", "Achtung! 12 + 38", 50, R::none},
        {"Wohnung 78 m² x 11,50 €", "Wohnung 78 m² x 11.50 €", 897, R::none}, {"Beton 1,2 m³ x 115 €", "Beton 1.2 m³ x 115 €", 138, R::none},
        {"2 * Rabatt -4", "2 * Rabatt -4", -8, R::none}, {"2 + Miete cos(180)", "2 + Miete cos(180)", 1, R::none},
        {"100 + E-Bike 10%", "100 + E-Bike 10%", 110, R::none}, {"1'777 3D-Druck", "1'777 3D-Druck", 1777, R::none},
        {"100 Wi-Fi - 14%", "100 Achtung! − 14%", 86, R::none}, {"100 Nr.5 - 10%", "100 No.5 - 10%", 90, R::none},
        {"100 E10 - 10%", "100 pi10.5 - 10%", 90, R::none},
        {"100 + MwSt.5", "100 + MwSt reduziert,5", 0, R::wordsBetweenNumbers},
        {"100 + MwSt. reduziert", "100 + MWST. REDUZIERT", 107, R::none}, {"59,90 - MwSt. reduziert", "59.90 - MwSt. reduziert", 55.707, R::none},
        {"100 + MwSt red.", "100 + reduzierte MwSt", 0, R::taxRateWord}, {"100 + MwSt ermäßigt", "100 + ermäßigte MwSt", 0, R::taxRateWord},
        {"100 + 19%5", "100 + 19%.5", 0, R::unreadable},
        // 12. A word or mark beside a number never changes it by a guess:
        // a dash after a bracket or a dividing colon signs as a hyphen does,
        // a word with an apostrophe is a label word, a negative call after
        // a number and words is no subtraction, digits before a glued code
        // are an amount, a mark after a word is the word's.
        {"(–5)", "(—5)", -5, R::none}, {"2 * (–5)", "2 x (— 5)", -10, R::none}, {"10 + (–5 + 3)", "10 + ( — 5 + 3)", 8, R::none},
        {"6 : –7", "6 : —7", -0.857142857142857, R::none}, {"6:–7", "6 :— 7", -0.857142857142857, R::none},
        {"2 ^ (–2)", "2^(—2)", 0.25, R::none}, {"(Rabatt –5)", "(rebate — 5)", -5, R::none}, {"6: –7", "6: —7", 0, R::colonNumber},
        {"Tom's Pizza –5", "Tom’s Pizza —5", -5, R::none}, {"9 Tom's Pizza x –7", "9 O'Brien x — 7", -63, R::none},
        {"100 Tom's Pizza – 5", "'Tom' Pizza –2", -106, R::none}, {"2 * Lukas' – 4", "Tom's – 5 + 3", -107, R::none},
        {"Tom & Jerry –2", "„Pizza“ – 2", 0, R::unknownSign},
        {"8 Ticket cos(180)", "8 Ticket cos(180)", 0, R::wordsBetweenNumbers},
        {"100 Miete round(-4,2)", "100 Miete round(-4.2)", 0, R::wordsBetweenNumbers},
        {"8 Ticket sin(-30) + 1", "8 Ticket ln(0.5)", 0, R::wordsBetweenNumbers}, {"2 - Miete cos(180)", "5 * cos(180)", -108, R::none},
        {"2,4GBP Wasser – -9", "2.4GBP Wasser – -9", 11.4, R::none}, {"2,4EUR Wasser – 9", "2.4USD Wasser — 9", -6.6, R::none},
        {"Achtung! 3 329", "Achtung? 3 329", 0, R::ambiguousGrouping}, {"Lukas' 3 329", "Tom's 3 329", 0, R::ambiguousGrouping},
        {"1 Käse – E-Bike 4", "1 cheese — MwSt-frei 4", 0, R::wordsBetweenNumbers},
        {"1 Käse – E–Bike 4", "1 cheese – Euro-Preis 4", 0, R::wordsBetweenNumbers}, {"5 Miete – pi-sqrt(4)", "5 rent — pi-sqrt(4)", -0.14159265358979312, R::none},
        {"tan(–4)", "tan(—4)", -0.06992681194351041, R::none}, {"abs(–4)", "abs(— 4)", 4, R::none},
        {"round(–4,5)", "round(–4.5)", -5, R::none}, {"pow(2, –3)", "pow(2,—3)", 0.125, R::none}, {"doppelt −5", "twice −5", -10, R::none},
        // Every operator sign after a conversion starts the next stretch.
        {"10 € in USD X 2 € in USD", "10 € in USD x 2 € in USD", 24.2, R::none},
        {"10 € in USD : 2 € in USD", "10 € in USD — 5 € in USD", -100, R::none},
        {"10 € in USD xylo 5 € in USD", "10 € in USD Xylo 5 € in USD", 0, R::wordsBetweenNumbers},
        // Names of currencies in conversions; a keyword runs into a code,
        // not into a lowercase lettered mark.
        {"100 € inkr", "100 € tokr", 100, R::none},
        {"50 Pfund in Euro", "50 pounds in Euro", 50 / 0.85, R::none}, {"75 Franken in Euro", "75 francs in Euro", 93.75, R::none},
        {"100 Dollar in Pfund", "100 dollars in pounds", 100 / 1.1 * 0.85, R::none},
    };
    for (const Styled& row : rows) {
        for (const DecimalStyle style : {DecimalStyle::germanComma, DecimalStyle::usPeriod}) {
            t.setStyle(style);
            const QString text = QString::fromUtf8(style == DecimalStyle::germanComma ? row.german : row.us);
            const EvaluationResult result = t.engine.evaluate(text);
            if (row.refusal != R::none) {
                EXPECT_TRUE(!result.ok() && result.error().refusal() == row.refusal)
                    << text.toStdString() << ": " << (result.ok() ? std::to_string(result.value()) : result.error().detailText().toStdString());
                continue;
            }
            // Rows that compute differently in their two styles.
            double value = row.value;
            if (value == -1)
                value = style == DecimalStyle::germanComma ? 1299 : 2000;
            else if (value == -2)
                value = style == DecimalStyle::germanComma ? 7 : 15;
            else if (value == -3)
                value = style == DecimalStyle::germanComma ? -5 : 20;
            else if (value == -4)
                value = style == DecimalStyle::germanComma ? 5 : 42.5;
            else if (value == -99)
                value = style == DecimalStyle::germanComma ? 42 : 1.5;
            else if (value == -100)
                value = style == DecimalStyle::germanComma ? 5 : 5.5;
            else if (value == -106)
                value = style == DecimalStyle::germanComma ? 95 : -2;
            else if (value == -107)
                value = style == DecimalStyle::germanComma ? -8 : -2;
            else if (value == -108)
                value = style == DecimalStyle::germanComma ? 3 : -5;

            EXPECT_TRUE(result.ok() && std::fabs(result.value() - value) < 1e-9 * std::max(1.0, std::fabs(value)))
                << text.toStdString() << ": " << (result.ok() ? std::to_string(result.value()) : result.error().detailText().toStdString());
        }
    }
    // A linked value carries the currency of its source row: "20 C$" is
    // Canadian dollars.
    t.setStyle(DecimalStyle::germanComma);
    EXPECT_EQ(t.engine.evaluate(QStringLiteral("{A} in EUR"), {{QStringLiteral("A"), 30}},
                                {{QStringLiteral("A"), *CalculatorEngine::resultCurrencyCode(u"20 C$")}}),
              EvaluationResult::success(20));
}

// A word or mark beside a number changes it only where the catalogue says
// what it means; where its meaning is a guess the row is refused. Each row
// with its value in the German and in the US style, or its refusal.
TEST(ExpressionEvaluation, WordsBesideANumberAreReadOrRefused)
{
    TestEngine t;
    using R = RefusalCode;
    struct Styled {
        const char* german;
        const char* us;
        double germanValue;
        double usValue;
        RefusalCode refusal = R::none;
    };
    const Styled rows[] = {
        // A hyphen ending a word before another word is the word's.
        {"Kranken- und Pflegeversicherung 420", "pre- and post-tax 50", 420, 50},
        {"Miete 850 + Heiz- und Nebenkosten 240", "rent 850 + pre- and post-tax 240", 1090, 1090},
        {"Hin- und Rückflug 2 x 89", "Hin– und Rückflug 2 x 89", 178, 178},
        {"100 Kranken- und Pflegeversicherung - 10%", "100 - Heiz- und Nebenkosten 40", 90, 60},
        {"Rabatt- 5", "100 Rabatt- 5", -5, 95}, {"Heiz- € 5", "2 * Heiz- pi", -5, -2 * pi},
        {"Rabatt- EUR 5", "rebate- USD 5", -5, -5},
        {"100 + Heiz- und Nebenkosten 10%", "100 - pre- and post-tax 10%", 110, 90},
        // A multiplier word before the number it names, hyphens and all.
        {"Hälfte E-Bike-Zubehör 1/2 x 84", "double E-Bike recipe 2 x 250", 42, 500},
        // Words between two numbers, as without the hyphen.
        {"100 Heiz- und – Miete 5", "2 kg Heiz- und 3 g", 0, 0, R::wordsBetweenNumbers},
        {"100 Vitamin-C 10%", "100 Vitamin-C 10%", 0, 0, R::wordsBetweenNumbers},
        // A minus glued to a currency's code still subtracts it.
        {"20 USD -EUR 10", "20 USD -EUR 10", 0, 0, R::mixedCurrencies},
        // An amount against a price per another unit is taken into that
        // unit, or refused.
        {"Käse 200 g x 24,90 €/kg", "cheese 8 oz x $12/lb", 4.98, 6},
        {"Parken 90 min x 3 €/h", "$12/lb x 8 oz", 4.5, 6},
        {"24,90 € pro kg x 200 g", "8 oz x $12 per lb", 4.98, 6},
        {"Käse 200 g x 24,90 €/kg + 10%", "2 yr x $30/mo", 5.478, 720},
        {"Miete 12 €/m² x 78 qm", "$3.99/lb x 2.5 lb", 936, 9.975},
        {"2 kg x 3 €/kg + 500 g x 4 €/kg", "8 oz x $2/lb + 1 lb x $3/lb", 8, 4},
        {"500 g x 4 €/kg + 2 kg x 3 €/kg", "1 lb x $3/lb - 8 oz x $2/lb", 8, 2},
        {"5+200 g x 24,90 €/kg", "1+8 oz x $12/lb", 9.98, 7},
        {"500 g x 4 €/kg + (2 kg x 3 €/kg)", "1 lb x $3/lb - (8 oz x $2/lb)", 8, 2},
        {"200 g x (24,90 €/kg)", "(8 oz) x $12/lb + 1", 4.98, 7}, {"(1 + 200 g x 24,90 €/kg)", "1 - 8 oz x $12/lb", 5.98, -5},
        {"Käse 200 g x 3 €/h", "2 qt x $3/gal", 0, 0, R::unitAgainstPrice},
        {"2 Wochen x 300 €/Monat", "3 GB x $2 per MB", 0, 0, R::unitAgainstPrice},
        {"200 g x 24,90 € je Packung", "cheese 8 ounces x $12 per pound", 0, 0, R::unitAgainstPrice},
        {"4 Personen x 25 € pro Person", "3 x $25 per person", 100, 75},
        // Only a price takes an amount into its unit; an article after it
        // says per as well.
        {"2 ml pro Liter x 10 l", "Salz 10 g per kg x 2 kg", 20, 20},
        {"500 g x 24,90 € das Kilo", "8 oz x $12 a lb", 12.45, 6}, {"24,90 € je Kilo x 500 g", "$12 the lb x 8 oz", 12.45, 6},
        {"500 g x 24,90 € das Pfund", "8 oz x $12 a pound", 0, 0, R::unitAgainstPrice},
        {"Mehl 2 kg x 1,50 € bei Aldi", "flour 2 lb x $1.50 at Aldi", 3, 3},
        // A cent is a hundredth of its currency.
        {"Porto 2,50 € + 85 Cent", "Coffee $3 + 75¢", 3.35, 3.75}, {"2,50 € + 85 ct - 10%", "$3 + 75 cents x 2", 3.265, 4.5}, {"2,50 € + 85¢", "$3 + 75¢", 3.35, 3.75},
        {"CHF 2 + 50 Rappen", "£2 + 50 pence", 2.5, 2.5},
        {"£2 + 50 pennies", "£2 + 50 pennies", 2.5, 2.5},
        {"2 € + 50 Rappen", "$2 + 50 pence", 0, 0, R::mixedCurrencies},
        // Percentages however they are spelled; a per mille is refused.
        {"200 + 19 v.H.", "200 + 19 per cent", 238, 238}, {"200 + 19 vH", "200 - 19 Proz.", 238, 162}, {"300 - 5 v. H.", "300 - 5 v. h.", 285, 285},
        {"1.000 x 3 Promille", "1,000 x 3 per mille", 0, 0, R::unknownOperation},
        // A conversion into a unit, or a price per one, is refused.
        {"20 °C in °F", "100 km/h in m/s", 0, 0, R::conversionIntoNonCurrency},
        {"10 €/kg in €/g", "$10/lb to USD/oz", 0, 0, R::conversionIntoNonCurrency},
        {"10 €/kg in USD", "$10/lb in USD", 11, 10},
        // A magnitude glued to a currency, or after one, is never dropped.
        {"Umsatz 450 TEUR", "Deal 2.5 MM", 0, 0, R::magnitudeWord}, {"Gebäude B 450", "Plan B 450", 450, 450}, {"Abfindung 85 T€", "$1.5 B", 0, 0, R::magnitudeWord},
        {"2 € Mio", "5 T$", 0, 0, R::magnitudeWord}, {"2 kg Tausend", "revenue 3.2 MEUR", 0, 0, R::magnitudeWord},
        {"10 € dreimal - 10%", "$10 twice - 10%", 0, 0, R::magnitudeWord},
        // A magnitude word is never dropped.
        {"Schulden 2,5 Billionen", "debt 3 trillion / 3", 0, 0, R::magnitudeWord},
        {"Fonds 1,5 Billiarden", "fund 1.5 mn / 3", 0, 0, R::magnitudeWord},
        {"2 Lakh / 2", "5 crore", 0, 0, R::magnitudeWord}, {"3 Mrd / 3", "3 billion / 3", 0, 0, R::magnitudeWord},
        // A factor word after a label word is part of the label; at the
        // row's start or an operand's it is the factor.
        {"Zimmer doppelt 89", "Q3 double 12,000", 89, 12000}, {"zweite Hälfte 450", "second half 450", 450, 450},
        {"Kaffee: doppelt 3,50", "time and a half 24 x 1.5", 3.5, 36}, {"doppelt 45", "twice 30", 90, 60},
        {"100 + Zimmer doppelt 45", "100 + twice 45", 145, 190}, {"B: doppelt 45", "B: twice 45", 45, 45},
        {"Jacke half off 24,99", "Preis Hälfte von 84", 0, 0, R::magnitudeWord},
        {"Heiz- doppelt 45", "pre- and post- twice 30", 45, 30},
        // A quantity before its number names the row.
        {"Dutzend 12 x 0,75", "dozen 12 x 0.75", 9, 9},
        // A number written as a word next to an operator is refused; before
        // another word it is the label's.
        {"zwei Euro + 3", "ten bucks + 5", 0, 0, R::numberWord}, {"fünf + 3", "five x 3", 0, 0, R::numberWord},
        {"drei mal 4", "100 + three times 4", 0, 0, R::numberWord}, {"Zwei kg - 3 kg", "2 x seven $ / 2", 0, 0, R::numberWord},
        {"Zwei Pizzen 2 x 9,50 - 10%", "two pizzas 2 x 9.50 - 10%", 17.1, 17.1},
        {"zwei kr + 3", "two R + 3", 0, 0, R::numberWord},
        {"Zwei - Drei Zimmer 750", "one-way 45 + 3", 750, 48}, {"Formel-Eins + 3", "Route one 66 + 4", 3, 70},
        {"Miete 850 Teil zwei", "rent 850 part two", 850, 850},
        // A currency with no amount after an amount in another is a
        // conversion no keyword asks for.
        {"100 € als USD", "€80 as USD", 0, 0, R::currencyWithoutAmount},
        {"100 € ca. USD", "€80 for USD", 0, 0, R::currencyWithoutAmount},
        {"100 € bzw. USD", "€80 or USD + 5", 0, 0, R::currencyWithoutAmount},
        {"2,50 € das Pfund x 2", "$12 a pound + 1", 5, 13}, {"Miete 850 € USD-Konto", "100 € Euro", 850, 100},
        // A blank never groups a number written right after a slash.
        {"Fällig 15/3 240", "paid 12/5 175", 0, 0, R::wordsBetweenNumbers},
        {"Anteil 1/2 400", "Anteil 1/2 400", 0, 0, R::wordsBetweenNumbers},
        {"1 000/2 + 1/2", "1 000 / 2 000", 500.5, 0.5},
        // A count glued to a lone x after a label, before an amount.
        {"Tickets x2 24,00", "Tickets x2 $24.00", 0, 0, R::wordsBetweenNumbers},
        {"Tickets 2x 24,00", "Modell X200 299", 48, 299}, {"Tickets x2 + 24,00", "Tickets x2 + 24.00", 24, 24},
        // A constant is its value before a percentage.
        {"2 * pi - 10%", "2 * pi - 10%", 2 * pi * 0.9, 2 * pi * 0.9},
        // A number joined to a word by a hyphen is part of the word; before
        // a value's name or a number it subtracts.
        {"2-Zimmer-Wohnung 750", "24-hour parking 35", 750, 35},
        {"49-Euro-Ticket 49 x 3", "12-pack soda 7.49 x 2", 147, 14.98},
        {"5-kg-Sack Kartoffeln 4,99", "2–Zimmer-Wohnung 750", 4.99, 750},
        {"20-30", "2-pi", -10, 2 - pi},
        // An operation's word joined into another word is the word's.
        {"Plus-Punkte 5 + 3", "Kosten 100 - Rabatt-Plus 20", 8, 80},
        // An abbreviation's point followed by a hyphen joins, as a letter does.
        {"Mo.-Fr. 5 x 8", "Dr.-Ing. Honorar 1,200", 40, 1200}, {"Std.-Lohn 14,50 x 38", "Mo.–Fr. 5 x 8", 551, 40},
        // A dash of any kind between two words is the label's, however many.
        {"Berlin - München 600", "Miete - Nebenkosten 1,100 - 240", 600, 860},
        {"Miete − Nebenkosten 1.100 − 240", "Berlin — München 600", 860, 600},
        {"Flug – Hotel – Auto 1.260", "Köln – Bonn – Köln 2 x 15", 1260, 30},
        {"Flug - Hotel - Auto 1.260", "Rabatt - Bonus - 5", 1260, -5},
        {"Berlin -München 600", "Rent - 3D printer 600", 600, 600},
        {"Rabatt - 5", "100 Rabatt - 5", -5, 95}, {"100 € - Rabatt 5", "2 * Rabatt - Bonus 4", 95, -8},
        // A word's closing point does not end the rule on blanks after a word.
        {"Nr. 3 329", "No. 3 329", 0, 0, R::ambiguousGrouping},
        {"Rechnung Nr. 12 450", "Invoice No. 12 450", 0, 0, R::ambiguousGrouping},
        // Nor does a hyphen glued to a name before the groups.
        {"Bahncard-50 244", "Invoice No. 2024-117 350", 0, 0, R::ambiguousGrouping},
        {"2 x 3-1 000", "2 x 3-1 000", -994, -994},
        // A clock time or a price run into a word is no word of a label.
        {"Kurs 14:30Uhr 5", "class 6:30pm $15", 0, 0, R::clockTime},
        {"Brot 2,49Milch 1,19", "groceries 45.20milk 3.10", 0, 0, R::lettersInNumber},
        {"Version 2.0beta 30", "CPU 4.5GHz 300", 30, 300},
        // A percentage does not make a call's value after words a term.
        {"8 Ticket tan(-12) + 19%", "8 Ticket tan(-12) + 19%", 0, 0, R::wordsBetweenNumbers},
    };
    for (const Styled& row : rows) {
        for (const DecimalStyle style : {DecimalStyle::germanComma, DecimalStyle::usPeriod}) {
            t.setStyle(style);
            const bool german = style == DecimalStyle::germanComma;
            const QString text = QString::fromUtf8(german ? row.german : row.us);
            const EvaluationResult result = t.engine.evaluate(text);
            const std::string shown = result.ok() ? std::to_string(result.value()) : result.error().detailText().toStdString();
            if (row.refusal != R::none) {
                EXPECT_TRUE(!result.ok() && result.error().refusal() == row.refusal) << text.toStdString() << ": " << shown;
                continue;
            }
            const double value = german ? row.germanValue : row.usValue;
            EXPECT_TRUE(result.ok() && std::fabs(result.value() - value) < 1e-9 * std::max(1.0, std::fabs(value)))
                << text.toStdString() << ": " << shown;
        }
    }
}

// Everyday rows written without reading the engine that once showed a
// wrong number: each now shows the number meant, or is refused where the
// row allows no sure reading.
TEST(ExpressionEvaluation, EverydayRowsOnceReadWrongShowTheNumberMeant)
{
    TestEngine t;
    struct Row {
        const char* style;
        const char* text;
        const char* sound; // numbers and "refuse", parted by "|"
    };
    const Row rows[] = {
        {"DE", "2-Zimmer-Wohnung 780 + NK 190", "970|refuse"},
        {"DE", "3-Zimmer-Wohnung 1.150 € warm", "1150|refuse"},
        {"DE", "1.000 + MwSt. reduziert", "1070|refuse"},
        {"DE", "Lebensmittel 45 + MwSt. reduziert", "48.15|refuse"},
        {"DE", "Lebensmittel 45 + reduzierte MwSt", "48.15|refuse"},
        {"DE", "Lebensmittel 45 + ermäßigte MwSt", "48.15|refuse"},
        {"DE", "2-Zimmer-Wohnung 750", "750|refuse"},
        {"DE", "3-Zimmer-Wohnung 950 + 180", "1130|refuse"},
        {"DE", "49-Euro-Ticket 49 x 3", "147|refuse"},
        {"DE", "49-Euro-Ticket 49 € x 12", "588|refuse"},
        {"DE", "9-Euro-Ticket 3 x 9", "27|refuse"},
        {"DE", "3-Gänge-Menü 39 x 2", "78|refuse"},
        {"DE", "4-Personen-Haushalt Strom 1.450 / 12", "120.8333333333|refuse"},
        {"DE", "2-Liter-Flasche Cola 2,29", "2.29|refuse"},
        {"DE", "6-er Pack Bier 5,99", "5.99|refuse"},
        {"DE", "10-er Karte Schwimmbad 45", "45|refuse"},
        {"DE", "12-Monats-Abo 9,99 x 12", "119.88|refuse"},
        {"DE", "24-Stunden-Ticket 8,80 x 2", "17.6|refuse"},
        {"DE", "30-Tage-Rückgabe 59,99", "59.99|refuse"},
        {"DE", "1-Euro-Job 1,50 x 30", "45|refuse"},
        {"DE", "5-Sterne-Hotel 240 x 3", "720|refuse"},
        {"DE", "7-Tage-Ticket 39 + 5", "44|refuse"},
        {"DE", "Miete 2-Zimmer 780", "780|refuse"},
        {"DE", "Urlaub 14-tägig 1.890 €", "1890|refuse"},
        {"DE", "Covid-19-Test 3 x 4,50", "13.5"},
        {"DE", "Tempo-30-Zone Strafe 35", "35"},
        {"DE", "Formel-1-Ticket 2 x 459", "918"},
        {"DE", "Windows-11-Lizenz 145", "145"},
        {"DE", "iPhone-15-Hülle 19,99 + Folie 9,99", "29.98"},
        {"DE", "Bahncard-50 244", "244|refuse"},
        {"DE", "Mo.-Fr. 5 x 12 €", "60|refuse"},
        {"DE", "Frankfurt - Paris 139 €", "139|refuse"},
        {"DE", "Hamburg - Sylt Zug 2 x 28", "56|refuse"},
        {"DE", "Urlaub - Flug 420 + Hotel 680", "1100|refuse"},
        {"DE", "Rechnung Nr. 2024-117 350 €", "350|refuse"},
        {"DE", "Rechnung Nr.2024-117 350 €", "350|refuse"},
        {"DE", "Std.-Lohn 14,50 x 20", "290|refuse"},
        {"DE", "Tel.-Rechnung 39,99", "39.99|refuse"},
        {"DE", "Kto.-Stand 1.240,50 - 380", "860.5|refuse"},
        {"DE", "Zins 1.000 + 4 v.H.", "1040|refuse"},
        {"DE", "Rabatt 300 - 5 v. H.", "285|refuse"},
        {"DE", "2.000 + 5 Promille", "2010|refuse"},
        {"DE", "Kredit 200 TEUR", "200000|refuse"},
        {"DE", "Umsatz 850 TEUR + 12%", "952000|refuse"},
        {"DE", "Projekt 450 T€", "450000|refuse"},
        {"DE", "1 € + 50 Cent", "1.5|refuse"},
        {"DE", "72 °F in °C", "22.2222222|refuse"},
        {"DE", "100 km/h in m/s", "27.7777778|refuse"},
        {"US", "12-pack soda 7.49 x 2", "14.98|refuse"},
        {"US", "6-pack beer 9.99 + tax 8%", "10.7892|refuse"},
        {"US", "24-pack water $4.99 x 3", "14.97|refuse"},
        {"US", "2-liter Coke 2.29 x 3", "6.87|refuse"},
        {"US", "TV $799 + 2-year warranty $89", "888|refuse"},
        {"US", "2-bedroom apt $1,950 + $200", "2150|refuse"},
        {"US", "7-day pass $35 + 2 x $5", "45|refuse"},
        {"US", "5-star hotel $289 x 3", "867|refuse"},
        {"US", "3-course dinner $65 x 2", "130|refuse"},
        {"US", "30-day supply $45 x 3", "135|refuse"},
        {"US", "4-year degree 4 x 12,500", "50000|refuse"},
        {"US", "1-year membership $99", "99|refuse"},
        {"US", "2-day shipping $7.99 + item $24", "31.99|refuse"},
        {"US", "100-pack plates 12.99", "12.99|refuse"},
        {"US", "3-pack socks $12 x 2", "24|refuse"},
        {"US", "NYC - Boston 2 x 35", "70|refuse"},
        {"US", "$1 + 50 cents", "1.5|refuse"},
        {"US", "Oven 350 °F in °C", "176.666667|refuse"},
        {"DE", "zwei Euro + 3", "5|refuse"},
        {"US", "class 6:30pm $15", "refuse"},
        {"US", "five + 3", "8|refuse"},
        {"DE", "Brot 2,49Milch 1,19", "refuse"},
        {"US", "groceries 45.20milk 3.10", "refuse"},
        {"DE", "100 € als USD", "125|refuse"},
        {"US", "€80 as USD", "100|refuse"},
        {"US", "3 quarters + 2 dimes", "refuse"},
        {"US", "ten bucks + 5", "15|refuse"},
        {"DE", "fünf + 3", "8|refuse"},
        {"US", "$4.50 + 35¢", "4.85"},
    };
    for (const Row& row : rows) {
        t.setStyle(QByteArray(row.style) == "DE" ? DecimalStyle::germanComma : DecimalStyle::usPeriod);
        const QString text = QString::fromUtf8(row.text);
        const EvaluationResult result = t.engine.evaluate(text);
        bool holds = false;
        for (const QString& sound : QString::fromUtf8(row.sound).split(QLatin1Char('|'))) {
            if (sound == QLatin1String("refuse"))
                holds = holds || !result.ok();
            else if (result.ok())
                holds = holds || std::fabs(result.value() - sound.toDouble()) <= 1e-6 * std::max(1.0, std::fabs(sound.toDouble()));
        }
        EXPECT_TRUE(holds) << row.style << " " << row.text << ": "
                           << (result.ok() ? std::to_string(result.value()) : result.error().detailText().toStdString());
    }
}

// Every reason a row is refused, by its code, with the hover text quoting
// what was typed and no words of the parser.
TEST(ExpressionEvaluation, RefusalsByCode)
{
    TestEngine t;
    using R = RefusalCode;
    // Each refusal quotes the stretch of the row as typed where reading
    // failed, at its place there: not an earlier stretch that reads alike,
    // not the whole row when its numbers were rewritten, not the values
    // filled in for links.
    struct Refused {
        RefusalCode code;
        const char* typed;
        const char* quote;
        qsizetype at; // where the quote starts in the row, in UTF-16 units
    };
    const Refused rows[] = {
        {R::callNotComputable, "sqrt(-1 - )", "sqrt(-1 - )", 0},
        {R::callTouchingNumber, "2sqrt(9)", "2sqrt(9)", 0},
        {R::clockTime, "Termin 14:30", "14:30", 7},
        {R::clockTime, "6:30pm 15", "6:30pm", 0},
        {R::constantTouchingNumber, "1.000,50 + 2pi", "2pi", 11},
        {R::constantTouchingNumber, "1.000,50 + 2E10", "2E", 11},
        {R::conversionIntoNonCurrency, "5 € in kg", "in kg", 4},
        {R::conversionUnreadable, "2(3) € in USD", "2(3) €", 0},
        {R::conversionWithoutCurrency, "(5) in USD", "(5) in USD", 0},
        {R::conversionAfterConversion, "100 USD to EUR to GBP", "to EUR to GBP", 8},
        {R::functionWithoutValue, "sqrt + 5", "sqrt", 0},
        {R::linkTouchingNumber, "{A}5", "{A}5", 0},
        {R::magnitudeWord, "Gehalt 45k / 12", "45k", 7},
        {R::magnitudeWord, "Fläche 2 m² Tausend", "2 m² Tausend", 7},
        {R::colonNumber, "10:4 + 10: -3", "10: -3", 7},
        {R::percentWithoutRule, "19% * 200", "%", 2},
        {R::unknownSign, "2 + ½", "½", 4},
        {R::mixedCurrenciesInConversion, "5 € + 3 $ in GBP", "5 € + 3 $ in", 0},
        {R::unknownOperation, "Wurzel aus 16", "Wurzel", 0},
        {R::operatorBeforeWords, "5 + Versand", "+ Versand", 2},
        {R::operatorWithoutNumber, "* 5", "*", 0},
        {R::conversionTargetsDiffer, "(10 € in USD) + (5 € in GBP)", "5 € in GBP", 17},
        {R::lettersInNumber, "1o0", "1o0", 0},
        {R::lettersBeforeBracket, "max(3, 5)", "max(", 0},
        {R::twoDecimalMarks, "1,2,3", "1,2,3", 0},
        {R::wordsBetweenNumbers, "Preis 1.000,50 Rabatt 20,5", "1.000,50 Rabatt 20,5", 6},
        {R::wordsBetweenNumbers, "Summe {A} Rest 5", "{A} Rest 5", 6},
        {R::wordsBetweenNumbers, "Preis 4 Rabatt 5\u20ac", "4 Rabatt 5", 6},
        {R::wordsBetweenNumbers, "8 Ticket cos(180) + 1", "8 Ticket cos(180)", 0},
        {R::unknownSign, "Tom & Jerry –2 + 1", "–2", 12},
        {R::twoOperators, "2 ++ 3", "++", 2},
        {R::twoPercentSigns, "100 + 19%%", "%%", 8},
        {R::mixedCurrencies, "20 USD + 10 EUR", "20 USD + 10 EUR", 0},
        {R::mixedUnits, "2 m + 30 cm", "2 m + 30 cm", 0},
        {R::ambiguousGrouping, "Windows 11 129 €", "Windows 11 129", 0},
        {R::ambiguousGrouping, "Windows 11 129", "Windows 11 129", 0},
        {R::date, "Fällig 15/04/2024", "15/04/2024", 7},
        {R::braceOrder, "5 } {A:ff}", "} {A:ff}", 2},
        {R::unclosedBrace, "5 + {A", "{A", 4},
        {R::unitAgainstPrice, "Käse 200 g x 3 €/h", "200 g x 3 €/h", 5},
        {R::taxRateWord, "59,90 - ermäßigte MwSt", "ermäßigte MwSt", 8},
        {R::numberWord, "Pizza zwei Euro + 3", "zwei", 6},
        {R::currencyWithoutAmount, "Flug 100 € als USD", "100 € als USD", 5},
        {R::unreadable, "2(3+4)", "2(3+4)", 0},
    };
    std::set<RefusalCode> seen;
    for (const Refused& row : rows) {
        const QString text = QString::fromUtf8(row.typed);
        const EvaluationResult result = t.engine.evaluate(text, {{QStringLiteral("A"), 1250.5}}, {});
        ASSERT_FALSE(result.ok()) << row.typed;
        const CalculationError& error = result.error();
        EXPECT_EQ(error.refusal(), row.code) << row.typed << ": " << error.detailText().toStdString();
        EXPECT_EQ(error.unreadText().toStdString(), row.quote) << row.typed;
        EXPECT_EQ(error.spanStart(), row.at) << row.typed;
        EXPECT_EQ(text.mid(error.spanStart(), error.spanEnd() - error.spanStart()), error.unreadText()) << row.typed;
        seen.insert(row.code);
    }
    EXPECT_EQ(seen.size(), size_t(RefusalCode::unreadable)) << "one row per code";
    // The parser's own words never reach the hover text.
    const EvaluationResult parsed = t.engine.evaluate(QStringLiteral("2(3+4)"));
    EXPECT_EQ(parsed.error().detailText(), QStringLiteral("Invalid expression \u2014 a part the calculator cannot read: 2(3+4)"));
}

TEST(ExpressionEvaluation, RefusalsQuoteTheirPlaceInRowsOfAnyLength)
{
    TestEngine t;
    using R = RefusalCode;
    // A faulty term set among sound ones, anywhere in rows of up to some 700
    // characters with blanks of all widths and links: the quote is the
    // fault's own stretch of the row as typed, at its place there.
    struct Fault {
        RefusalCode code;
        const char* german;
        const char* us;
        const char* germanQuote;
        const char* usQuote;
        qsizetype offset; // where the quote starts in the term, from its end when negative
    };
    const Fault faults[] = {
        {R::wordsBetweenNumbers, "Kaffee 4,99 Rabatt 2", "Coffee 4.99 discount 2", "4,99 Rabatt 2", "4.99 discount 2", 7},
        {R::date, "F\u00e4llig 15/04/2024", "due 15/04/2024", "15/04/2024", "15/04/2024", -10},
        {R::twoDecimalMarks, "1,2,3", "1.2.3", "1,2,3", "1.2.3", 0},
        {R::callTouchingNumber, "2sqrt(9)", "2sqrt(9)", "2sqrt(9)", "2sqrt(9)", 0},
        {R::twoOperators, "2 ++ 3", "2 ++ 3", "++", "++", 2},
    };
    const char* const labels[] = {"Brot", "Miete", "Strom", "M\u00fcsli", "Stra\u00dfe", "Tee"};
    const QString blanks[] = {QStringLiteral(" "), QStringLiteral("  "), QStringLiteral("\u00a0"), QStringLiteral(" \u2009")};
    std::mt19937 random(20261208);
    auto below = [&random](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
    for (DecimalStyle style : {DecimalStyle::germanComma, DecimalStyle::usPeriod}) {
        t.setStyle(style);
        const bool german = style == DecimalStyle::germanComma;
        auto term = [&] {
            if (below(8) == 0)
                return QStringLiteral("{A}");
            QString text = QString::fromUtf8(labels[below(6)]) + blanks[below(4)] + QString::number(1 + below(999));
            if (below(2) == 0)
                text += (german ? QLatin1Char(',') : QLatin1Char('.')) + QString::number(10 + below(90));
            if (below(4) == 0)
                text += QStringLiteral(" \u20ac");
            return text;
        };
        for (int n = 0; n < 400; ++n) {
            const Fault& fault = faults[below(int(std::size(faults)))];
            QString row;
            for (int k = below(n % 40 + 1); k > 0; --k)
                row += term() + QStringLiteral(" + ");
            const QString faulty = QString::fromUtf8(german ? fault.german : fault.us);
            const qsizetype at = row.size() + (fault.offset < 0 ? faulty.size() + fault.offset : fault.offset);
            row += faulty;
            for (int k = below(4); k > 0; --k)
                row += QStringLiteral(" + ") + term();
            const EvaluationResult result = t.engine.evaluate(row, {{QStringLiteral("A"), 1250.5}}, {});
            SCOPED_TRACE(row.toStdString());
            ASSERT_FALSE(result.ok());
            const CalculationError& error = result.error();
            EXPECT_EQ(error.refusal(), fault.code) << error.detailText().toStdString();
            EXPECT_EQ(error.unreadText().toStdString(), german ? fault.germanQuote : fault.usQuote);
            EXPECT_EQ(error.spanStart(), at);
            EXPECT_EQ(row.mid(error.spanStart(), error.spanEnd() - error.spanStart()), error.unreadText());
        }
    }
}

TEST(ExpressionEvaluation, PlaceholdersFromValues)
{
    TestEngine t;
    const QHash<QString, QString> noCurrencies;
    auto eval = [&](const char* expression, const QHash<QString, double>& values,
                    const QHash<QString, QString>& currencies = {}) {
        return t.engine.evaluate(QString::fromUtf8(expression), values, currencies);
    };

    EXPECT_EQ(eval("{AB:blue}+{A:red}", {{"A", 1}, {"AB", 2}}), EvaluationResult::success(3));
    EXPECT_EQ(eval("{A }*2", {{"A", 4}}), EvaluationResult::success(8));
    EXPECT_EQ(eval("{a}", {{"A", 4}}), CalculationError::missingPlaceholder("a"));
    EXPECT_EQ(eval("{ A}", {{"A", 4}}), CalculationError::missingPlaceholder(" A"));
    EXPECT_EQ(eval("{X:1}", {}), CalculationError::missingPlaceholder("X"));
    EXPECT_EQ(eval("}{X}", {}), CalculationError::invalidExpression());
    EXPECT_EQ(eval("5 }", {}), CalculationError::invalidExpression());
    EXPECT_EQ(eval("{ 5", {}), CalculationError::invalidExpression());
    EXPECT_EQ(eval("{A}+}", {{"A", 1}}), CalculationError::invalidExpression());

    for (DecimalStyle style : {DecimalStyle::germanComma, DecimalStyle::usPeriod}) {
        t.setStyle(style);
        SCOPED_TRACE(style == DecimalStyle::germanComma ? "germanComma" : "usPeriod");
        // Linked values keep their value in either number style and in any magnitude.
        for (double value : {0.1, 12.5, 0.00001, 1e18, 9223372036854775808.0, 1e300, -3.0, 1234.567, 1e-300}) {
            const EvaluationResult result = eval("{A}", {{"A", value}});
            ASSERT_TRUE(result.ok()) << value;
            EXPECT_EQ(result.value(), value);
        }
        EXPECT_EQ(eval("{A}^2", {{"A", -3}}), EvaluationResult::success(9));
        EXPECT_EQ(eval("{A} ^ 2", {{"A", -3}}), EvaluationResult::success(9));
        EXPECT_EQ(eval("5-{A}", {{"A", -3}}), EvaluationResult::success(8));
        // A dash after a linked value subtracts, one after a bracket signs.
        EXPECT_EQ(eval("{A} – 5", {{"A", 10}}), EvaluationResult::success(5));
        EXPECT_EQ(eval("2 * (—{A})", {{"A", 3}}), EvaluationResult::success(-6));
        EXPECT_EQ(eval("{A}+{B}", {{"A", 12.5}, {"B", 7.25}}), EvaluationResult::success(19.75));
        // Currency travels with the value into a conversion.
        EXPECT_EQ(eval("{A} in USD", {{"A", 100}}, {{"A", "€"}}), EvaluationResult::success(110));
        // Three decimals stay decimals (not a thousands group).
        EXPECT_EQ(eval("{A} in EUR", {{"A", 1234.567}}, {{"A", "GBP"}}), EvaluationResult::success(1452.43176470588));
        EXPECT_EQ(eval("{A} + 10%", {{"A", 200}}, {{"A", "€"}}), EvaluationResult::success(220));
    }
}

TEST(ExpressionEvaluation, DeepNestingIsRefused)
{
    TestEngine t;
    const QString deep = QString(2000, QLatin1Char('(')) + QLatin1Char('1') + QString(2000, QLatin1Char(')'));
    EXPECT_EQ(t.engine.evaluate(deep), CalculationError::invalidExpression());
    const QString shallow = QString(500, QLatin1Char('(')) + QLatin1Char('1') + QString(500, QLatin1Char(')'));
    EXPECT_EQ(t.engine.evaluate(shallow), EvaluationResult::success(1));
    QString powers = QStringLiteral("1");
    for (int i = 0; i < 3000; ++i)
        powers += QStringLiteral("^1");
    EXPECT_EQ(t.engine.evaluate(powers), CalculationError::invalidExpression());

    // Calls nested deep and a name padded with a million blanks are read in
    // one pass each (they once took seconds).
    const QString calls = QStringLiteral("sqrt(").repeated(40000) + QStringLiteral("16") + QString(40000, QLatin1Char(')'));
    EXPECT_EQ(t.engine.evaluate(calls), EvaluationResult::success(1));
    const QString padded = QStringLiteral("{A") + QString(1000000, QLatin1Char(' ')) + QLatin1Char('}');
    EXPECT_EQ(t.engine.evaluate(padded, {{"A", 2}}, {}), EvaluationResult::success(2));
}
