// Adding rows, and the row operations the table's menus and keypad reach.

#include "Views/Canvas/CanvasRowSteps.h"
#include "Views/Canvas/CanvasView.h"
#include "Views/Canvas/CanvasViewWidgets.h"

#include "Engine/CalculatorEngine.h"
#include "Engine/ExpressionParts.h"
#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/Identifiers.h"
#include "Models/Link.h"
#include "Models/ModelContext.h"

#include <QPointer>
#include <QTextBoundaryFinder>
#include <QUndoStack>

const QStringList& CanvasView::blockColors()
{
    static const QStringList colors{
        QStringLiteral("#00D4FF"), QStringLiteral("#FF6B9D"), QStringLiteral("#00FF88"), QStringLiteral("#FFB800"),
        QStringLiteral("#B388FF"), QStringLiteral("#FF5252"), QStringLiteral("#64FFDA"), QStringLiteral("#FFFF00"),
    };
    return colors;
}

BlockPtr CanvasView::blockWithId(const std::optional<QUuid>& id) const
{
    if (!id)
        return nullptr;
    // The table's index answers at once while it is current.
    if (!m_layoutDirty) {
        const int index = m_rowIndex.value(*id, -1);
        if (index >= 0 && index < m_sorted.size() && m_sorted[index]->id() == *id
            && m_sorted[index]->canvas().get() == m_canvas.get())
            return m_sorted[index];
    }
    for (const BlockPtr& block : m_canvas->blocks()) {
        if (block->id() == *id)
            return block;
    }
    return nullptr;
}

QString CanvasView::paletteColor() const
{
    return blockColors().at(int(m_canvas->blocks().size() % blockColors().size()));
}

BlockPtr CanvasView::lowestBlock() const
{
    BlockPtr lowest;
    for (const BlockPtr& block : m_canvas->blocks()) {
        if (!lowest || block->positionY() + block->height() > lowest->positionY() + lowest->height())
            lowest = block;
    }
    return lowest;
}

QPointF CanvasView::nextFreeStart() const
{
    const BlockPtr lowest = lowestBlock();
    if (!lowest)
        return QPointF(startX, startY);
    return QPointF(startX, lowest->positionY() + lowest->height() + 20);
}

void CanvasView::appendRow(const BlockPtr& block)
{
    block->setCanvas(m_canvas);
    block->setIsEditing(true);
    block->setIsSelected(true);
    m_canvas->appendBlock(block);
    // A row added at the end of a long canvas comes into view.
    m_scrollTarget = block->id();
}

void CanvasView::addNewRow()
{
    if (const BlockPtr selected = blockWithId(m_selectedBlockID)) {
        selected->setIsSelected(false);
        selected->setIsEditing(false);
        selected->setIsLabelEditing(false);
    }
    double y = startY;
    if (!m_canvas->blocks().isEmpty()) {
        double maxY = m_canvas->blocks().first()->positionY();
        for (const BlockPtr& block : m_canvas->blocks())
            maxY = std::max(maxY, block->positionY());
        y = maxY + tableRowHeight;
    }
    const BlockPtr block = CalculationBlock::create(BlockType::calculation, QString(), QString(), QString(), startX, y,
                                                    200, tableRowHeight, paletteColor());
    appendRow(block);
    m_canvas->touch();
    setSelectedBlockID(block->id());
    refresh();
}

void CanvasView::addNewBlock()
{
    const BlockPtr selected = blockWithId(m_selectedBlockID);
    const QPointF start = selected
        ? QPointF(selected->positionX(), selected->positionY() + selected->height() + 20)
        : nextFreeStart();
    // The table lists rows by their y: the new row stands lower than the
    // row it came from, never beside or above it.
    const QPointF position = findNonOverlappingPosition(
        nullptr, start, QSizeF(250, 50), selected ? std::optional<double>(selected->positionY()) : std::nullopt);
    const BlockPtr block = CalculationBlock::create(BlockType::calculation, QString(), QString(), QString(),
                                                    position.x(), position.y(), 250, 50, paletteColor());
    if (selected) {
        selected->setIsSelected(false);
        selected->setIsEditing(false);
        selected->setIsLabelEditing(false);
    }
    appendRow(block);
    m_canvas->touch();
    setSelectedBlockID(block->id());
    if (m_undoStack)
        m_undoStack->push(CanvasRowSteps::addedRows(m_canvas, {block->id()}, QStringLiteral("Add Block")));
    refresh();
}

void CanvasView::createNewBlockWithInput(const QString& input)
{
    if (const BlockPtr selected = blockWithId(m_selectedBlockID)) {
        selected->setIsSelected(false);
        selected->setIsEditing(false);
    }
    const QPointF position = findNonOverlappingPosition(nullptr, nextFreeStart(), QSizeF(150, 50));
    const BlockPtr block = CalculationBlock::create(BlockType::calculation, input, QString(), QString(), position.x(),
                                                    position.y(), 150, 50, paletteColor());
    appendRow(block);
    setSelectedBlockID(block->id());
    m_canvas->touch();
    // A row started by a letter has nothing to evaluate yet.
    if (!input.isEmpty())
        CalculatorEngine::shared().evaluateBlock(block);
    refresh();
}

// ---- Keypad actions ----

void CanvasView::appendToSelectedBlock(const QString& text, bool fromKeypad)
{
    Q_UNUSED(fromKeypad)
    if (const BlockPtr selected = blockWithId(m_selectedBlockID)) {
        selected->setIsEditing(true);
        ExpressionParts::keepNumberingThroughEdit(*selected, CalcSettings::shared().decimalStyle());
        selected->setExpression(selected->expression() + text);
        pruneSumKeywordSteps();
        // A text row that holds an expression is a calculation row (the
        // engine's rule for whole canvases); without this it would show no
        // result until the canvas is next opened.
        if (selected->isTextBlock() && !selected->expression().isEmpty())
            selected->setBlockType(BlockType::calculation);
        CalculatorEngine::shared().evaluateBlock(selected);
        rowContentChanged(selected, true);
        applyRefresh();
    } else {
        createNewBlockWithInput(text);
    }
}

void CanvasView::deleteFromSelectedBlock()
{
    const BlockPtr selected = blockWithId(m_selectedBlockID);
    if (!selected || selected->expression().isEmpty())
        return;
    QString expression = selected->expression();
    // One user-perceived character: a surrogate pair or a letter with its
    // combining accent goes whole.
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, expression);
    finder.toEnd();
    expression.truncate(std::max<qsizetype>(0, finder.toPreviousBoundary()));
    ExpressionParts::keepNumberingThroughEdit(*selected, CalcSettings::shared().decimalStyle());
    selected->setExpression(expression);
    pruneSumKeywordSteps();
    CalculatorEngine::shared().evaluateBlock(selected);
    rowContentChanged(selected, true);
    applyRefresh();
}

void CanvasView::finishEditing()
{
    if (const BlockPtr selected = blockWithId(m_selectedBlockID))
        selected->setIsEditing(false);
    applyRefresh();
}

// ---- Colour ----

void CanvasView::setSelectedBlockColor(const QString& hex)
{
    if (!m_selectedBlockIDs.isEmpty()) {
        for (const QUuid& id : m_selectedBlockIDs) {
            if (const BlockPtr block = blockWithId(id))
                block->setColorHex(hex);
        }
        m_canvas->touch();
    } else if (const BlockPtr selected = blockWithId(m_selectedBlockID)) {
        selected->setColorHex(hex);
    }
    refresh();
}

void CanvasView::setTitleColor(const std::optional<QString>& hex)
{
    m_canvas->setTitleColorHex(hex);
    m_canvas->touch();
    refresh();
}
