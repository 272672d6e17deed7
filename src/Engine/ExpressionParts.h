#pragma once

#include "Models/CalcSettings.h"
#include "Models/CalculationBlock.h"

#include <QList>
#include <QStringView>
#include <functional>

// The parts a row is shown and printed in, from the left: numbers, words,
// quoted remarks, links in braces, operators, brackets and percent signs.
// The editor and print both draw a row by these parts, and both number its
// numbers by them: number k keys the label and colour the user gave it, so
// they sit on the same number on screen and on paper.
//
// A number is what the engine reads as one: 1.000,50 and 95,50 in the
// German style, 1,000.50 in the US style, the 16 of sqrt(16), the 5 of 5kg;
// digits a hyphen joins to a word are the word's (2-Zimmer, Covid-19-Test).
// Where numbers stand does not change with the settings' number style, so
// labels stay put when it changes; the style decides only where the engine
// reads a comma apart (pow(2,3) in the US style). The currency signs glued
// to a number (€20, 10€) are drawn with it. "x" where no letter touches it
// and ":" after no word are operators, as the engine reads them.
namespace ExpressionParts {

enum class Kind { number, text, quoted, link, operatorSign, parenthesis, percent };

// A part's stretch of the expression: the quotes and braces of a quoted
// remark or a link included.
struct Part {
    Kind kind = Kind::text;
    qsizetype start = 0;
    qsizetype end = 0;
    bool operator==(const Part&) const = default;
};

// Hands each part to visit, from the left, until it returns false: a caller
// that needs only the first parts reads only as far as they go.
void forEachPart(QStringView expression, DecimalStyle style, const std::function<bool(const Part&)>& visit);
QList<Part> parts(QStringView expression, DecimalStyle style);
// The stretches of the number parts, in order: the k-th is number k.
QList<std::pair<qsizetype, qsizetype>> numberSpans(QStringView expression, DecimalStyle style);

// Where a row keeps the label and colour of its numbers. Rows labelled
// before numbers were read as the engine reads them may count fewer
// numbers (1.000,50 and the 16 of sqrt(16) were words then, 10:4 one
// number), so their keys name numbers by that older count. A
// row whose labels or colours are set now carries `numberingKey` in both
// maps and keys numbers as shown. Rows marked "as read" were labelled
// while digits a hyphen joins to a word (2-Zimmer) were a number of their
// own, and key numbers by that split.
inline const QLatin1String numberingKey("numbering");
inline const QLatin1String numberingValue("as read, hyphen words");

// The row keeps its labels and colours by the numbers as shown: it
// carries `numberingValue`, or has none.
bool keysNumbersAsShown(const CalculationBlock& block);
// For each number as shown (0, 1, 2 ...) the index its label and colour are
// kept under; -1 for a number the row's older count did not have.
QList<int> storedNumberIndices(const CalculationBlock& block, DecimalStyle style);
int storedNumberIndex(const CalculationBlock& block, int shownIndex, DecimalStyle style);
// Rewrites an older row's labels and colours to the numbers as shown, each
// on the number it was given, and marks both maps; before any label or
// colour of the row is set, so that every row labelled now keys its numbers
// as shown. Nothing happens to a row already marked.
void adoptShownNumbering(CalculationBlock& block, DecimalStyle style);
// Before a row's expression changes: an older row takes the numbering as
// shown first, so that its labels stay on the numbers they were given
// whatever the edit makes of the older count (12 typed over as 1.200,50).
void keepNumberingThroughEdit(CalculationBlock& block, DecimalStyle style);
// After a label or colour is removed: a map left holding only the mark
// drops it while the other map still carries it, and a row with nothing
// else left is clean again.
void dropIdleNumbering(CalculationBlock& block);

} // namespace ExpressionParts
