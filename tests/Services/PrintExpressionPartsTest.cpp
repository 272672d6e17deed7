#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/Link.h"
#include "Services/PrintExpressionParts.h"
#include "Engine/ExpressionParts.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using Part = ExportExpressionPart;
using namespace PrintExpression;

namespace {

// Parts in a compact form: "n:12#0", "l:A@#FF6B9D", "o:+", "t:sqrt", "p:(", "%".
QString describe(const ExportExpressionParts& parts)
{
    QStringList out;
    for (const Part& part : parts) {
        switch (part.kind) {
        case Part::Kind::number: out << QStringLiteral("n:%1#%2").arg(part.text).arg(part.numberIndex); break;
        case Part::Kind::linkedValue: out << QStringLiteral("l:%1@%2").arg(part.text, part.colorText); break;
        case Part::Kind::operator_: out << QStringLiteral("o:") + part.text; break;
        case Part::Kind::text: out << QStringLiteral("t:") + part.text; break;
        case Part::Kind::parenthesis: out << QStringLiteral("p:") + part.text; break;
        case Part::Kind::percent: out << QStringLiteral("%"); break;
        }
    }
    return out.join(QLatin1Char('|'));
}

struct TokenCase { const char* name; const char* expression; const char* parts; };

void PrintTo(const TokenCase& c, std::ostream* out) { *out << '"' << c.expression << '"'; }

const TokenCase tokenCases[] = {
    // The examples every reader of the page relies on.
    {"sum with percent", "12 + 5%", "n:12#0|o:+|n:5#1|%"},
    {"parentheses and times", "(3+4)×2", "p:(|n:3#0|o:+|n:4#1|p:)|o:×|n:2#2"},
    {"German number then euro", "1.000,50 €", "n:1.000,50#0|t:€"},
    {"euro sign leads a number", "€20", "n:€20#0"},
    {"link with a colour", "{A:#FF6B9D} * 2", "l:A@#FF6B9D|o:*|n:2#0"},
    {"link in the row colour", "{A}", "l:A@#00FF88"},
    {"function word", "sqrt(16)", "t:sqrt|p:(|n:16#0|p:)"},
    {"x inside a word stays in it", "Tax 19", "t:Tax|n:19#0"},
    // Nothing to show.
    {"empty", "", ""},
    {"only white space", "   \t\n ", ""},
    {"empty quote", "\"\"", ""},
    {"empty link", "{}", ""},
    {"runs of spaces", "1   +    2", "n:1#0|o:+|n:2#1"},
    // x and X split numbers, not words, as do U+2212 and the colon; the point does not.
    {"x ends a word", "Box", "t:Box"},
    {"hyphen between letters", "E-Bike - 5", "t:E-Bike|o:-|n:5#0"},
    {"x between numbers", "3x4", "n:3#0|o:x|n:4#1"},
    {"capital X splits too", "3X4", "n:3#0|o:X|n:4#1"},
    {"minus sign splits", "5−3", "n:5#0|o:−|n:3#1"},
    {"point between letters", "a.b", "t:a.b"},
    // All nine operator characters.
    {"all nine operators", "1+2-3×4÷5*6/7^8:9", "n:1#0|o:+|n:2#1|o:-|n:3#2|o:×|n:4#3|o:÷|n:5#4|o:*|n:6#5|o:/|n:7#6|o:^|n:8#7|o::|n:9#8"},
    // A run the engine reads as one number in neither style is text.
    {"malformed digit runs", "1.2.3 ,", "t:1.2.3|t:,"},
    {"US grouping", "1,000,000.5", "n:1,000,000.5#0"},
    {"fraction and superscript digits", "½ ²", "t:½|t:²"},
    {"Arabic-Indic digit", "٣", "t:٣"},
    // strtod's words and forms, in any case.
    {"strtod words", "nan inf INFINITY", "t:nan|t:inf|t:INFINITY"},
    {"strtod forms", "1e3 .5 12.50 0X1F", "n:1#0|t:e3|n:.5#1|n:12.50#2|n:0#3|o:X|t:1F"},
    {"constant after a number", "1e", "n:1#0|t:e"},
    {"constants are text", "e pi", "t:e|t:pi"},
    // Currency signs stay in the number; alone they are text.
    {"currency signs", "$ 12$ £3,5 ¥", "t:$|n:12$#0|n:£3,5#1|t:¥"},
    {"several euro signs", "€€5€", "n:€€5€#0"},
    // Quotes: nothing inside is read; an open quote is a character as any.
    {"quoted text is not read", "2 \"x (3) 4\" 5", "n:2#0|t:x (3) 4|n:5#1"},
    {"open quote is a character", "7\"rest of it", "n:7#0|t:\"rest|t:of|t:it"},
    {"quotes between letters", "a\"b\"c", "t:a|t:b|t:c"},
    // Link tokens: colour after the first colon, the row's own otherwise.
    {"link with an empty colour", "{A:}", "l:A@#00FF88"},
    {"link with an empty name", "{:FF0000}", "l:FF0000@#00FF88"},
    {"link name is trimmed", "{ B \t:FF0000}", "l:B@FF0000"},
    {"colour after the first colon", "{A:B:C}", "l:A@B:C"},
    {"link with neither", "{:}", "l:@#00FF88"},
    {"unclosed link", "2{A", "n:2#0|t:{A"},
    // Only numbers advance the index.
    {"only numbers advance the index", "a 1 \"2\" {A} + 3 b 4", "t:a|n:1#0|t:2|l:A@#00FF88|o:+|n:3#1|t:b|n:4#2"},
    // Percent and parentheses end runs.
    {"percent and parentheses end runs", "10%of(2)", "n:10#0|%|t:of|p:(|n:2#1|p:)"},
    // User-perceived characters: a flag or an accented letter is one character.
    {"flag and accented letter are one character each", "🇩🇪3 é5", "n:🇩🇪3#0|t:é5"},
};

class PrintTokeniserTest : public ::testing::TestWithParam<TokenCase> {};

} // namespace

TEST_P(PrintTokeniserTest, SplitsAsThePageShowsIt)
{
    const TokenCase& c = GetParam();
    EXPECT_EQ(describe(parseExpressionParts(QString::fromUtf8(c.expression), QStringLiteral("#00FF88"),
                                            DecimalStyle::germanComma)),
              QString::fromUtf8(c.parts))
        << c.expression;
}

INSTANTIATE_TEST_SUITE_P(Expressions, PrintTokeniserTest, ::testing::ValuesIn(tokenCases),
                         [](const ::testing::TestParamInfo<TokenCase>& c) { return testName(c.param.name); });

TEST(PrintTokeniser, FloatingPointLiteralIsWholeStrtodInPosixLocale)
{
    const std::pair<const char*, bool> cases[] = {
        {"12", true},     {"+12.5", true},  {"-1e-3", true},  {".5", true},      {"5.", true},
        {"0x1p3", true},  {"0x.8", true},   {"NaN", true},    {"Infinity", true}, {"iNf", true},
        {"", false},      {" 1", false},    {"1 ", false},    {"1,5", false},     {"1.2.3", false},
        {"e5", false},    {"0x", false},    {"١٢", false},    {"infinit", false}, {"12a", false},
    };
    for (const auto& [text, literal] : cases)
        EXPECT_EQ(isFloatingPointLiteral(QString::fromUtf8(text)), literal) << text;
    // A NUL in the middle never passes for the whole text.
    EXPECT_FALSE(isFloatingPointLiteral(QString(QStringLiteral("1")) + QChar(0) + QStringLiteral("2")));
}

TEST(PrintTokeniser, NumbersAreThoseTheEditorNumbers)
{
    // A label or colour set on a number in the editor sits on the same
    // number on paper: the n-th number printed is the editor's n-th, in
    // either number style.
    for (const DecimalStyle style : allDecimalStyles()) {
        for (const char* text : {"sqrt(16) + 5", "1.000,50 + 5", "1,000.50 + 5", "(3 + 4) x 2", "5€ + 3 $", "4x95,50 + 2",
                                 "\"a 1\" 2 {A} 3", "E-Bike 1200 - 10%", "pow(2,3) + 1,5", "10:4 + 2^3"}) {
            const QString expression = QString::fromUtf8(text);
            QStringList editor;
            for (const auto& [start, end] : ExpressionParts::numberSpans(expression, style))
                editor << QStringLiteral("%1#%2").arg(expression.mid(start, end - start)).arg(editor.size());
            QStringList printed;
            for (const Part& part : parseExpressionParts(expression, QStringLiteral("#00D4FF"), style)) {
                if (part.kind == Part::Kind::number)
                    printed << QStringLiteral("%1#%2").arg(part.text).arg(part.numberIndex);
            }
            EXPECT_EQ(printed, editor) << text;
        }
    }
}

namespace {

class SourceRowTest : public ::testing::Test {
protected:
    BlockPtr row(const QString& label, std::optional<double> result = std::nullopt)
    {
        const BlockPtr block = CalculationBlock::create(BlockType::calculation, QString(), QString(), label, 0,
                                                        canvas->blocks().size() * 56.0, 200, 44, "#00D4FF");
        block->setCanvas(canvas);
        block->setResult(result);
        return block;
    }
    LinkPtr link(const BlockPtr& source, const BlockPtr& destination, const QString& name)
    {
        const LinkPtr made = Link::create(source, destination, name, "#FF6B9D");
        made->setCanvas(canvas);
        return made;
    }

    CanvasPtr canvas = Canvas::create(QStringLiteral("Links"), 0, 0, 1);
};

} // namespace

TEST_F(SourceRowTest, FirstIncomingLinkWithTheNameDecides)
{
    const BlockPtr a = row("a", 1);
    const BlockPtr b = row("b", 2);
    const BlockPtr c = row("c", 3);
    const BlockPtr target = row("target");
    link(a, target, QStringLiteral(" A\t"));
    link(b, target, QStringLiteral("A"));
    link(c, target, QStringLiteral("Café"));

    // "Cafe\u0301" is canonically equivalent to "Café"; only spaces and tabs are trimmed.
    const std::pair<QString, BlockPtr> cases[] = {
        {"A", a}, {"\tA  ", a}, {"a", nullptr}, {"B", nullptr}, {QStringLiteral("Cafe\u0301"), c}, {"A\n", nullptr},
    };
    for (const auto& [placeholder, expected] : cases)
        EXPECT_EQ(findSourceBlock(placeholder, *target), expected) << placeholder.toStdString();
}

TEST_F(SourceRowTest, FirstLinkWithoutItsSourceStillDecides)
{
    BlockPtr gone = row("gone", 5);
    const BlockPtr later = row("later", 6);
    const BlockPtr target = row("target");
    const LinkPtr first = link(gone, target, QStringLiteral("A"));
    link(later, target, QStringLiteral("A"));
    canvas->removeBlock(gone);
    gone.reset();
    ASSERT_EQ(first->sourceBlock(), nullptr);
    EXPECT_EQ(findSourceBlock(QStringLiteral("A"), *target), nullptr);
}
