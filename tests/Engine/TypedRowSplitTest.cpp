// Where text typed onto the canvas stops being the label: the split the
// canvas makes as each character arrives, without a window.

#include "Engine/TypedRowSplit.h"

#include <gtest/gtest.h>

TEST(TypedRowSplit, AFactorWordStartingTheRowGoesWithItsNumber)
{
    struct Case {
        const char* label;
        const char* typed;
        qsizetype start; // where the expression begins in the label
    };
    const Case cases[] = {
        // Alone at the row's start, before what it multiplies.
        {"doppelt ", "4", 0},
        {"twice  ", "3", 0},
        {"Hälfte ", "8", 0},
        {"DOPPELT ", "4", 0},
        {"zehnfach ", "(", 0},
        {"double ", "$", 0},
        {"dreimal ", "-", 0},
        {"half ", ".", 0},
        // After a label word it is part of the label.
        {"Zimmer doppelt ", "8", 15},
        {"second half ", "4", 12},
        // Two words, or a word that is no factor.
        {"doppelt Zimmer ", "8", 15},
        {"einmal ", "5", 7},
        {"halb ", "5", 5},
        {"dozen ", "5", 6},
        // What the factor cannot multiply stays apart.
        {"doppelt ", "+", 8},
        {"doppelt ", "x", 8},
    };
    for (const Case& c : cases) {
        const QString label = QString::fromUtf8(c.label);
        EXPECT_EQ(expressionStartInLabel(label, QString::fromUtf8(c.typed)), c.start) << c.label << c.typed;
    }
    // The label's one word, blanks after it.
    EXPECT_EQ(factorWordAtRowStart(QStringLiteral("doppelt")), 7);
    EXPECT_EQ(factorWordAtRowStart(QStringLiteral(" doppelt ")), 1);
    EXPECT_EQ(factorWordAtRowStart(QString()), 0);
}
