#include "Engine/ExpressionParts.h"
#include "Models/CalculationBlock.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <random>

using namespace ExpressionParts;

namespace {

constexpr DecimalStyle de = DecimalStyle::germanComma;
constexpr DecimalStyle us = DecimalStyle::usPeriod;

// Parts in a compact form: "n:12 o:+ t:sqrt p:( q:"a" l:{A} %".
QString describe(const QString& expression, DecimalStyle style)
{
    QStringList out;
    for (const Part& part : parts(expression, style)) {
        const QString text = expression.mid(part.start, part.end - part.start);
        switch (part.kind) {
        case Kind::number: out << QStringLiteral("n:") + text; break;
        case Kind::text: out << QStringLiteral("t:") + text; break;
        case Kind::quoted: out << QStringLiteral("q:") + text; break;
        case Kind::link: out << QStringLiteral("l:") + text; break;
        case Kind::operatorSign: out << QStringLiteral("o:") + text; break;
        case Kind::parenthesis: out << QStringLiteral("p:") + text; break;
        case Kind::percent: out << QStringLiteral("%"); break;
        }
    }
    return out.join(QLatin1Char(' '));
}

struct SplitCase {
    const char* name;
    DecimalStyle style;
    const char* expression;
    const char* parts;
};

void PrintTo(const SplitCase& c, std::ostream* out) { *out << '"' << c.expression << '"'; }

const SplitCase splitCases[] = {
    // Numbers as the engine reads them, in the settings' style.
    {"German amount", de, "1.000,50 + 5", "n:1.000,50 o:+ n:5"},
    {"US amount", us, "1,000.50 + 5", "n:1,000.50 o:+ n:5"},
    {"German amount in the US style", us, "1.000,50 + 5", "n:1.000,50 o:+ n:5"},
    {"decimal comma in both styles", us, "4 x 95,50", "n:4 o:x n:95,50"},
    {"a date is no number", us, "12.03.2024 5 1,2,3", "t:12.03.2024 n:5 t:1,2,3"},
    {"apostrophe groups", de, "1'777 + 1’000", "n:1'777 o:+ n:1’000"},
    {"leading decimal mark", us, ".99 + ,5", "n:.99 o:+ n:,5"},
    {"digits of another script", de, "٣ + 1", "t:٣ o:+ n:1"},
    // Operators the engine reads, also glued.
    {"x glued to a number", de, "45 x5 + 4 X2,50", "n:45 o:x n:5 o:+ n:4 o:X n:2,50"},
    {"x between a sign and a number", de, "12,50€x3", "n:12,50€ o:x n:3"},
    {"x touching a letter is the word's", de, "Tax 19 Box X-Box", "t:Tax n:19 t:Box t:X-Box"},
    {"colon and caret", de, "10:4 + 2^3", "n:10 o:: n:4 o:+ n:2 o:^ n:3"},
    {"colon after a word ends a label", de, "Summe: 100", "t:Summe: n:100"},
    {"dashes and minus sign", de, "100 – 20 − 5—1", "n:100 o:– n:20 o:− n:5 o:— n:1"},
    {"hyphen between letters", de, "E-Bike 1.299 - 5", "t:E-Bike n:1.299 o:- n:5"},
    {"hyphen ending a word before another", de, "Miete 850 + Heiz- und Nebenkosten 240 - 5",
     "t:Miete n:850 o:+ t:Heiz- t:und t:Nebenkosten n:240 o:- n:5"},
    {"hyphen between a word and a number", de, "100 Miete-20 + 5 Rabatt- 3", "n:100 t:Miete o:- n:20 o:+ n:5 t:Rabatt o:- n:3"},
    {"hyphen before a currency or a constant", de, "Rabatt- EUR 5 Heiz- pi", "t:Rabatt o:- t:EUR n:5 t:Heiz o:- t:pi"},
    {"dash between letters", de, "Wi–Fi 5 — 1 Wi—Fi", "t:Wi–Fi n:5 o:— n:1 t:Wi—Fi"},
    {"number a hyphen joins to a word", de, "2-Zimmer-Wohnung 750", "t:2-Zimmer-Wohnung n:750"},
    {"number an en dash joins to a word", de, "2–Zimmer-Wohnung 750", "t:2–Zimmer-Wohnung n:750"},
    {"number joined to the word after it", us, "12-pack soda 7.49 x 2", "t:12-pack t:soda n:7.49 o:x n:2"},
    {"number joined between words", de, "Covid-19-Test 3 x 4,50", "t:Covid o:- t:19-Test n:3 o:x n:4,50"},
    {"number after a word's hyphen", de, "Bahncard-50 244", "t:Bahncard o:- n:50 n:244"},
    {"abbreviations joined", de, "Mo.-Fr. 5 x 8", "t:Mo.-Fr. n:5 o:x n:8"},
    {"hyphen before a value or a number", de, "2-pi 20-30 9-sqrt(4) Rabatt -5",
     "n:2 o:- t:pi n:20 o:- n:30 n:9 o:- t:sqrt p:( n:4 p:) t:Rabatt o:- n:5"},
    // Functions and brackets.
    {"function argument", de, "sqrt(16) + 5", "t:sqrt p:( n:16 p:) o:+ n:5"},
    {"pow's comma in the US style", us, "pow(2,3) + 1,5", "t:pow p:( n:2, n:3 p:) o:+ n:1,5"},
    {"pow's comma in the German style", de, "pow(2,3)", "t:pow p:( n:2,3 p:)"},
    // Words, units and currencies next to numbers.
    {"unit glued", de, "5kg * 2", "n:5 t:kg o:* n:2"},
    {"digits start a word", de, "1'777 3D-Druck", "n:1'777 t:3D-Druck"},
    {"digits end a word", de, "A4 100 iPhone15", "t:A4 n:100 t:iPhone15"},
    {"currency code before an amount", de, "USD100", "t:USD n:100"},
    {"currency signs go with their number", de, "€20 + 10€ + € ¥", "n:€20 o:+ n:10€ o:+ t:€ t:¥"},
    {"signs between words", de, "a.b {A 5", "t:a.b t:{A n:5"},
    // Quoted remarks, links, percent and blanks.
    {"quote, link and percent", de, "\"net 3\" 100 {A:#FF6B9D} - 5%", "q:\"net 3\" n:100 l:{A:#FF6B9D} o:- n:5 %"},
    {"every blank separates", de, "1\t2\u00A03\n4", "n:1 n:2 n:3 n:4"},
    {"nothing", de, " \t ", ""},
};

class SplitTest : public ::testing::TestWithParam<SplitCase> {};

} // namespace

TEST_P(SplitTest, NumbersAreWhatTheEngineReads)
{
    const SplitCase& c = GetParam();
    EXPECT_EQ(describe(QString::fromUtf8(c.expression), c.style).toStdString(), c.parts) << c.expression;
}

INSTANTIATE_TEST_SUITE_P(Rows, SplitTest, ::testing::ValuesIn(splitCases),
                         [](const ::testing::TestParamInfo<SplitCase>& c) { return testName(c.param.name); });

// Rows made of labels, amounts written in the style (grouped, with
// decimals, with currency signs), operators glued or spaced, functions and
// units: every amount is one number part, in order, and nothing else is,
// in either style.
TEST(ExpressionPartsProperty, EveryAmountWrittenIsOneNumber)
{
    std::mt19937 random{20261208};
    auto pick = [&](int n) { return int(random() % unsigned(n)); };
    const QStringList labels{"Miete", "E-Bike", "Tax", "Box", "A4", "iPhone15", "3D-Druck", "Summe:", "\"net 5\""};
    const QStringList operators{"+", "-", "*", "/", "x", "X", ":", "^", "×", "÷", "–", "−"};
    for (const DecimalStyle style : allDecimalStyles()) {
        const QChar decimal = style == de ? QLatin1Char(',') : QLatin1Char('.');
        const QChar group = style == de ? QLatin1Char('.') : QLatin1Char(',');
        for (int row = 0; row < 3000; ++row) {
            QString expression;
            QStringList amounts;
            const int count = 1 + pick(4);
            for (int k = 0; k < count; ++k) {
                QString piece;
                if (pick(3) == 0)
                    piece += labels[pick(labels.size())] + QLatin1Char(' ');
                QString amount = QString::number(1 + pick(999));
                if (pick(2) == 0)
                    amount += group + QString::number(pick(1000)).rightJustified(3, QLatin1Char('0'));
                if (pick(2) == 0)
                    amount += decimal + QString::number(pick(100)).rightJustified(2, QLatin1Char('0'));
                amounts << amount;
                switch (pick(5)) {
                case 0: amount = QStringLiteral("€") + amount; break;
                case 1: amount += QStringLiteral("€"); break;
                case 2: amount = QStringLiteral("sqrt(") + amount + QLatin1Char(')'); break;
                case 3: amount += QString::fromUtf8(pick(2) ? "kg" : " Liter"); break;
                default: break;
                }
                piece += amount;
                if (pick(4) == 0)
                    piece += QLatin1Char('%');
                if (k > 0) {
                    // An operator glued to a letter is part of the word, as
                    // the engine reads it: glued only between other signs.
                    const bool letters = expression.back().isLetter() || piece.front().isLetter()
                        || piece.front() == QLatin1Char('"');
                    const QString blank = letters || pick(2) ? QStringLiteral(" ") : QString();
                    expression += blank + operators[pick(operators.size())] + blank;
                }
                expression += piece;
            }
            QStringList numbers;
            for (const auto& [start, end] : numberSpans(expression, style))
                numbers << expression.mid(start, end - start).remove(QStringLiteral("€"));
            ASSERT_EQ(numbers, amounts) << expression.toStdString();
            // Labels stay on their numbers when the style changes.
            ASSERT_EQ(numberSpans(expression, de), numberSpans(expression, us)) << expression.toStdString();
        }
    }
}

namespace {

struct StoredCase {
    const char* name;
    const char* expression;
    PartMap labels; // as an older row stored them
    const char* shown; // each number as shown, with its label: "1.000,50 5=Rest"
    bool marked; // setting a label marks the row (rewriting its keys where the counts differ)
};

void PrintTo(const StoredCase& c, std::ostream* out) { *out << '"' << c.expression << '"'; }

const StoredCase storedCases[] = {
    {"amount the older count skipped", "1.000,50 + 5", {{"n0", "Rest"}}, "1.000,50 5=Rest", true},
    {"function argument", "sqrt(16) + 5 + 2", {{"n0", "fünf"}, {"n1", "zwei"}}, "16 5=fünf 2=zwei", true},
    {"one older number now two", "10:4 + 2", {{"n0", "Quote"}, {"n1", "zwei"}}, "10=Quote 4 2=zwei", true},
    {"brackets no longer in the number", "(2+3) x 4", {{"n0", "a"}, {"n1", "b"}}, "2=a 3=b 4", true},
    {"same numbers in both counts", "12 + 3", {{"n0", "a"}, {"n1", "b"}}, "12=a 3=b", true},
    {"a key past the last number", "1.000,50 + 5", {{"n0", "Rest"}, {"n3", "alt"}}, "1.000,50 5=Rest", true},
    {"keyed by the number's text", "5kg + 5", {{"5", "fünf"}}, "5=fünf 5=fünf", true},
    {"labelled for the first time", "4 x 95,50", {}, "4 95,50", true},
    {"labelled while a joined number was one", "2-Zimmer-Wohnung 750",
     {{"numbering", "as read"}, {"n0", "Zimmer"}, {"n1", "Miete"}}, "750=Miete", true},
};

QString shownLabels(const CalculationBlock& block, bool byShownIndex)
{
    const QList<int> stored = storedNumberIndices(block, de);
    QStringList out;
    int index = 0;
    for (const auto& [start, end] : numberSpans(block.expression(), de)) {
        const QString text = block.expression().mid(start, end - start);
        const int key = byShownIndex ? index : stored.value(index, -1);
        const std::optional<QString> label = block.getPartLabel(key, text);
        out << (label ? text + QLatin1Char('=') + *label : text);
        ++index;
    }
    return out.join(QLatin1Char(' '));
}

class StoredLabelsTest : public ::testing::TestWithParam<StoredCase> {};

} // namespace

// An older row's labels and colours stay on the number they were given,
// read as stored and after the row is rewritten for a new label.
TEST_P(StoredLabelsTest, StayOnTheirNumber)
{
    const StoredCase& c = GetParam();
    const BlockPtr block = CalculationBlock::create(BlockType::calculation, QString::fromUtf8(c.expression), QString(),
                                                    QString(), 0, 0, 200, 44, QStringLiteral("#00D4FF"));
    block->setPartLabels(c.labels);
    block->setPartColors(c.labels);
    EXPECT_EQ(shownLabels(*block, false), QString::fromUtf8(c.shown));

    adoptShownNumbering(*block, de);
    EXPECT_EQ(block->partLabels().contains(numberingKey), c.marked);
    EXPECT_EQ(block->partColors(), block->partLabels());
    EXPECT_EQ(shownLabels(*block, c.marked), QString::fromUtf8(c.shown));
    EXPECT_EQ(shownLabels(*block, false), QString::fromUtf8(c.shown));
    const PartMap once = block->partLabels();
    adoptShownNumbering(*block, de);
    EXPECT_EQ(block->partLabels(), once);
    EXPECT_EQ(block->partLabels().size(), c.labels.size() + (c.marked && !c.labels.contains(numberingKey) ? 1 : 0))
        << "nothing is lost";
}

INSTANTIATE_TEST_SUITE_P(Rows, StoredLabelsTest, ::testing::ValuesIn(storedCases),
                         [](const ::testing::TestParamInfo<StoredCase>& c) { return testName(c.param.name); });
