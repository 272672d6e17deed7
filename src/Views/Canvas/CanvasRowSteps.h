#pragma once

#include "Models/Canvas.h"

#include <QList>
#include <QString>
#include <QUuid>

class QUndoCommand;

// Steps of a canvas's history that take whole rows out and put them back:
// deleting rows, and adding or pasting them. Undo and Redo each take the
// rows out as they are then (what was typed into them since included) and
// put back only rows that are not there, so neither ever writes over a row
// that is. A step holds ids and values only, never records or the view.
namespace CanvasRowSteps {

// Deletes the rows with every link that touches them and returns the step
// whose undo puts them back and whose redo deletes them again.
QUndoCommand* deleteRows(const CanvasPtr& canvas, const BlockList& rows, const QString& name);

// The step of rows just added to the canvas (pasted, or added with Tab):
// undo takes them out, redo puts them back as they were when taken out.
QUndoCommand* addedRows(const CanvasPtr& canvas, const QList<QUuid>& rowIDs, const QString& name);

} // namespace CanvasRowSteps
