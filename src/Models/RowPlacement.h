#pragma once

#include "Models/RecordPointers.h"

#include <QtGlobal>

class Canvas;

// Where a row goes so that the table shows it at a given place. The table
// lists rows by ascending positionY, equal positions in stored order; in
// editor mode a row's line is read from its positionY. A row put between two
// others takes a line of its own, or shares the line of the row before or
// after it, and the rows from the one after it on move down by whole lines
// when there is no room: stored positions may have been re-spaced since the
// row last stood there, but the order the user sees decides.
namespace RowPlacement {

inline constexpr double startY = 20;
inline constexpr double lineHeight = 50;

// Line 0 at startY, one line every lineHeight; above startY is line 0.
int lineOf(double y);
double lineY(int line);

// Rows by ascending positionY; equal positions keep their stored order.
BlockList tableOrder(const BlockList& blocks);

enum class Line {
    own,          // a line between the rows around it
    withPrevious, // the line of the row before it
    withNext,     // the line of the row after it
};

// Puts a row that is not in the canvas into its list so that the table shows
// it directly after `previous`, or first when that is null. `index` is where
// it goes in the stored list when its place there does not matter (-1: at
// the end).
void insertAfter(Canvas& canvas, const BlockPtr& row, const BlockPtr& previous, Line line, qsizetype index = -1);

// The same, directly before `next`, or last when that is null.
void insertBefore(Canvas& canvas, const BlockPtr& row, const BlockPtr& next, Line line, qsizetype index = -1);

} // namespace RowPlacement
