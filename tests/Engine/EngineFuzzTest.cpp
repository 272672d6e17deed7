#include "EngineTestSupport.h"

#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/Link.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

// Pieces users type, and pieces nobody should: marks, labels, tokens,
// other scripts, surrogate pairs, combining marks.
const QStringList& pieces()
{
    static const QStringList list = {
        "0", "1", "7", "42", "1.000", "1,5", "0,0001", "123456789012345678901234567890", ".", ",", " ", "  ", "\t",
        "\n", "\u00A0", "\u3000", "+", "-", "*", "/", "^", "×", "÷", "−", "x", "X", ":", "(", ")", "((", "))", "%",
        "€", "$", "US$", "£", "¥", "₿", "CHF", "kr", "zł", "R", "R$", " in ", " to ", " -> ", "EUR", "usd", "GBP",
        "CNY", "Euros", "MwSt", "mwst.", "MwSt reduziert", "Tax 3", "sqrt(", "SQRT(", "pow(", "POW(", "sin(",
        "asin(", "ln(", "log(", "round(", "ROUND(", "FLOOR(", "abs(", "pi", "PI", "π", "e", "E", "{A}", "{B:#FF0000}",
        "{AB}", "{", "}", "{A", ":", "\"", "\"quoted 5\"", "𝟠", "½", "١٢", "²", "é", "\u0301", "😀", "=", "?", "\\",
        "$1", "\\1", "(?", "[", "]", "*?", "0x10", "inf", "nan", "1e5", "9999999999999999999999",
        " => ", " into ", " nach ", "→", "Yen", "Prozent", "k", "45k", "Mio", "plus", "geteilt durch", "14:30", ": ",
        "'", ".5", ",5", "5,-", "5.-", "€/Stück", "iPhone15", "1 000", "1.000 000",
    };
    return list;
}

struct Generator {
    std::mt19937 random{20240611};

    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); }

    QString randomText()
    {
        QString text;
        const int count = 1 + below(24);
        for (int i = 0; i < count; ++i)
            text += pieces()[below(int(pieces().size()))];
        return text;
    }

    QString number()
    {
        switch (below(6)) {
        case 0: return QString::number(below(1000));
        case 1: return QStringLiteral("%1,%2").arg(below(100)).arg(below(100));
        case 2: return QStringLiteral("%1.%2").arg(below(100)).arg(below(1000), 3, 10, QLatin1Char('0'));
        case 3: return QStringLiteral("1.000.%1,5").arg(below(1000), 3, 10, QLatin1Char('0'));
        case 4: return QStringLiteral("{A}");
        default: return QString::number(below(10));
        }
    }

    // Expressions shaped like what people write, nested to a random depth.
    QString shaped(int depth)
    {
        if (depth <= 0)
            return number();
        static const QStringList operators = {" + ", " - ", " * ", " / ", "^", " x ", " : ", "×", "÷"};
        static const QStringList functions = {"sqrt", "sin", "cos", "tan", "asin", "acos", "atan", "ln", "log",
                                              "abs", "floor", "ceil", "round", "SQRT", "ROUND", "LOG"};
        static const QStringList currencies = {"€", "$", "£", "EUR", "USD", "GBP", "CHF", "CNY", "Euro", "Dollars"};
        switch (below(9)) {
        case 0: return shaped(depth - 1) + operators[below(int(operators.size()))] + shaped(depth - 1);
        case 1: return QLatin1Char('(') + shaped(depth - 1) + QLatin1Char(')');
        case 2: return functions[below(int(functions.size()))] + QLatin1Char('(') + shaped(depth - 1) + QLatin1Char(')');
        case 3: return QStringLiteral("pow(%1, %2)").arg(number(), number());
        case 4: return shaped(depth - 1) + QStringLiteral(" + %1%").arg(number());
        case 5:
            return number() + QLatin1Char(' ') + currencies[below(int(currencies.size()))] + QStringLiteral(" in ")
                + currencies[below(int(currencies.size()))];
        case 6: return shaped(depth - 1) + (below(2) ? QStringLiteral(" + MwSt") : QStringLiteral(" - MwSt reduziert"));
        case 7: return QLatin1Char('-') + shaped(depth - 1);
        default: return shaped(depth - 1) + QStringLiteral(" - ") + number() + QLatin1Char('%');
        }
    }

    double value()
    {
        static const double values[] = {0, 1, -3, 0.1, 12.5, 1e-7, 1e18, 9.3e18, -1e300, 1e308, 1234.567, -0.0};
        return values[below(int(std::size(values)))];
    }
};

} // namespace

// Random and shaped inputs: evaluation always ends, and a success is always
// a finite number.
TEST(EngineFuzz, EvaluateNeverFailsBadly)
{
    TestEngine t;
    Generator g;
    const QHash<QString, QString> currencies{{"A", "€"}};
    for (int i = 0; i < 300000; ++i) {
        t.setStyle(i % 2 ? DecimalStyle::usPeriod : DecimalStyle::germanComma);
        const QString expression = i % 3 == 0 ? g.shaped(1 + g.below(5)) : g.randomText();
        const QHash<QString, double> values{{"A", g.value()}, {"AB", g.value()}};
        const EvaluationResult result = i % 5 == 0 ? t.engine.evaluate(expression)
                                                   : t.engine.evaluate(expression, values, i % 7 ? QHash<QString, QString>() : currencies);
        if (result.ok()) {
            ASSERT_TRUE(std::isfinite(result.value())) << expression.toStdString();
        }
    }
}

// Random canvases with random links, cycles included: evaluation ends and
// stores only finite results.
TEST(EngineFuzz, CanvasesWithRandomLinks)
{
    TestEngine t;
    Generator g;
    for (int round = 0; round < 300; ++round) {
        const CanvasPtr canvas = Canvas::create(QStringLiteral("F"), 0, 0, 1);
        BlockList rows;
        for (int r = 0; r < 10; ++r) {
            const QString expression = g.below(2) ? g.shaped(2).replace(QLatin1String("{A}"), QStringLiteral("{P%1}").arg(g.below(3)))
                                                  : g.randomText();
            rows.append(CalculationBlock::create(g.below(8) ? BlockType::calculation : BlockType::text, expression,
                                                 QString(), QString(), 0, r, 1, 1, QStringLiteral("#00D4FF")));
            canvas->appendBlock(rows.last());
        }
        for (int l = 0; l < 12; ++l) {
            const LinkPtr link = Link::create(rows[g.below(10)], rows[g.below(10)], QStringLiteral("P%1").arg(g.below(3)),
                                              QStringLiteral("#00D4FF"));
            canvas->appendLink(link);
        }
        t.engine.evaluateCanvas(canvas);
        for (int edits = 0; edits < 3; ++edits)
            t.engine.evaluateBlock(rows[g.below(10)]);
        for (const BlockPtr& row : std::as_const(rows)) {
            if (row->result()) {
                ASSERT_TRUE(std::isfinite(*row->result())) << row->expression().toStdString();
            }
            EXPECT_EQ(row->hasError(), row->errorMessage().has_value());
        }
    }
}
