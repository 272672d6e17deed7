#include "Views/Canvas/CanvasView.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

using Part = TableExpressionPart;

// Parts with their number indices in a compact text: "n:12[0] o:+ t:EUR l:A|#FF p".
QString describe(const QString& expression)
{
    QStringList out;
    for (const IndexedExpressionPart& item : CanvasView::assignNumberIndicesToParts(CanvasView::parseExpressionParts(expression))) {
        const Part& part = item.part;
        switch (part.kind) {
        case Part::Kind::number:
            out << QStringLiteral("n:%1[%2]").arg(part.text).arg(item.numberIndex.value_or(-1));
            EXPECT_TRUE(item.numberIndex.has_value());
            break;
        case Part::Kind::linkedValue:
            out << QStringLiteral("l:%1|%2").arg(part.text, part.colorText);
            break;
        case Part::Kind::operator_:
            out << QStringLiteral("o:") + part.text;
            break;
        case Part::Kind::quotedText:
            out << QStringLiteral("t:") + part.text;
            break;
        case Part::Kind::percent:
            out << QStringLiteral("p");
            break;
        }
        if (part.kind != Part::Kind::number) {
            EXPECT_FALSE(item.numberIndex.has_value());
        }
    }
    return out.join(QLatin1Char(' '));
}

} // namespace

TEST(ExpressionParts, NumbersOperatorsAndPercent)
{
    EXPECT_EQ(describe(QString()), QString());
    EXPECT_EQ(describe(QStringLiteral("   ")), QString());
    EXPECT_EQ(describe(QStringLiteral("12 + 3")), QStringLiteral("n:12[0] o:+ n:3[1]"));
    EXPECT_EQ(describe(QStringLiteral("2*3/4")), QStringLiteral("n:2[0] o:× n:3[1] o:÷ n:4[2]"));
    EXPECT_EQ(describe(QStringLiteral("50%")), QStringLiteral("n:50[0] p"));
    EXPECT_EQ(describe(QStringLiteral("-5")), QStringLiteral("o:- n:5[0]"));
    EXPECT_EQ(describe(QStringLiteral("(2+3)")), QStringLiteral("o:( n:2[0] o:+ n:3[1] o:)"));
}

TEST(ExpressionParts, NumberFormsAndWhatIsNotANumber)
{
    EXPECT_EQ(describe(QStringLiteral("1,5")), QStringLiteral("n:1,5[0]"));
    EXPECT_EQ(describe(QStringLiteral("1.000")), QStringLiteral("n:1.000[0]"));
    EXPECT_EQ(describe(QStringLiteral("1.000,50")), QStringLiteral("n:1.000,50[0]"));
    EXPECT_EQ(describe(QStringLiteral("sqrt(16)")), QStringLiteral("t:sqrt o:( n:16[0] o:)"));
    EXPECT_EQ(describe(QStringLiteral("2x3")), QStringLiteral("n:2[0] o:x n:3[1]"));
    EXPECT_EQ(describe(QStringLiteral("2 x 3")), QStringLiteral("n:2[0] o:x n:3[1]"));
    EXPECT_EQ(describe(QStringLiteral("E-Bike 1.299 - 5")), QStringLiteral("t:E-Bike n:1.299[0] o:- n:5[1]"));
    EXPECT_EQ(describe(QStringLiteral("5 − 3")), QStringLiteral("n:5[0] o:− n:3[1]"));
    EXPECT_EQ(describe(QStringLiteral("5−3")), QStringLiteral("n:5[0] o:− n:3[1]"));
    EXPECT_EQ(describe(QStringLiteral("10 EUR")), QStringLiteral("n:10[0] t:EUR"));
    EXPECT_EQ(describe(QStringLiteral("10€")), QStringLiteral("n:10€[0]"));
    EXPECT_EQ(describe(QStringLiteral(".5 5.")), QStringLiteral("n:.5[0] n:5.[1]"));
    EXPECT_EQ(describe(QStringLiteral(". 1.2.3 ½")), QStringLiteral("t:. t:1.2.3 t:½"));
    EXPECT_EQ(describe(QStringLiteral("a\t5")), QStringLiteral("t:a n:5[0]")); // a tab is a blank
}

TEST(ExpressionParts, LinkTokens)
{
    EXPECT_EQ(describe(QStringLiteral("{A:#FF6B9D} + 5")), QStringLiteral("l:A|#FF6B9D o:+ n:5[0]"));
    EXPECT_EQ(describe(QStringLiteral("{A}")), QStringLiteral("l:A|#00D4FF"));
    EXPECT_EQ(describe(QStringLiteral("{A:FF6B9D}")), QStringLiteral("l:A|FF6B9D"));
    EXPECT_EQ(describe(QStringLiteral("{A:B:C}")), QStringLiteral("l:A|B:C"));
    EXPECT_EQ(describe(QStringLiteral("{:#FF6B9D}")), QStringLiteral("l:#FF6B9D|#00D4FF"));
    EXPECT_EQ(describe(QStringLiteral("{}")), QStringLiteral("l:|#00D4FF"));
    EXPECT_EQ(describe(QStringLiteral("5{A")), QStringLiteral("n:5[0] t:{A"));
    EXPECT_EQ(describe(QStringLiteral("{A x} 2")), QStringLiteral("l:A x|#00D4FF n:2[0]"));
}

TEST(ExpressionParts, QuotedText)
{
    EXPECT_EQ(describe(QStringLiteral("\"net\" 100")), QStringLiteral("t:net n:100[0]"));
    EXPECT_EQ(describe(QStringLiteral("\"\"")), QStringLiteral("t:"));
    EXPECT_EQ(describe(QStringLiteral("\"open 7")), QStringLiteral("t:\"open n:7[0]"));
    EXPECT_EQ(describe(QStringLiteral("\"a + b\"+1")), QStringLiteral("t:a + b o:+ n:1[0]"));
    // Characters outside the basic plane stay whole.
    EXPECT_EQ(describe(QStringLiteral("😀 3")), QStringLiteral("t:😀 n:3[0]"));
}
