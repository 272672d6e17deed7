#pragma once

// How text typed onto the canvas splits into a row's label and expression:
// the canvas fills the label until a character starts what the engine reads
// as the expression, so that the row reads as the same keys typed into its
// two fields.

#include <QString>
#include <QStringView>

// The one-character currency signs an expression may hold.
bool isCanvasCurrencySign(const QString& characters);
bool isCanvasDigits(const QString& characters);
// Text a key typed with no control character in it; never the empty text.
bool isPrintableText(const QString& characters);
// While a row's expression is empty: whether one typed character starts it
// (a number, a currency sign, an operator, "(", "#" or "√"; a number, "π",
// "-", "." and "," only when not glued to a word, as in "iPhone15", "E-Bike"
// or "Nr. 5") or goes on into the label, as every other character does.
bool startsCanvasExpression(QStringView label, const QString& character);
// Where the expression that character starts begins in the label: at a
// function name, a currency code, name or lettered mark that the engine
// reads with the amount ("CHF 50", "sqrt 16", "Miete sqrt(16)"), or at the
// letters a sign completes ("US$5"), or at a factor word the row starts
// with ("doppelt 45", as the engine reads it; "Zimmer doppelt 89" keeps its
// label); the label's size when none.
qsizetype expressionStartInLabel(QStringView label, const QString& character);
// Where the label's one word, a factor word (twice, doppelt, Hälfte) followed
// by blanks, starts; the label's size when the label is anything else.
qsizetype factorWordAtRowStart(QStringView label);
// The text ends with a letter (or the accent on one): a "-" typed next
// joins a word (E-Bike) rather than subtracting.
bool endsWithLetter(QStringView text);
// Length of the function name that ends the label ("sqrt" in "Miete sqrt"),
// 0 when there is none.
qsizetype functionNameAtEnd(QStringView label);
