// Links between rows: making and removing them, the link drag, and rows
// created to take another row's result.

#include "Views/Canvas/CanvasView.h"
#include "Views/Canvas/CanvasViewWidgets.h"

#include "Engine/CalculatorEngine.h"
#include "Engine/EngineCatalogue.h"
#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/HexColor.h"
#include "Models/Link.h"
#include "Models/ModelContext.h"

#include <QIcon>
#include <QMenu>
#include <QRegularExpression>
#include <QSet>

namespace {

// A whole link token of one name, short "{A}" or with a colour "{A:#00D4FF}",
// the way the engine reads it (blanks may follow the name). The name is
// literal text: a label such as "Netto (EUR)" stands for itself.
QRegularExpression tokenPattern(const QString& name)
{
    return QRegularExpression(QStringLiteral("\\{") + QRegularExpression::escape(name)
                              + QStringLiteral("\\s*(?::[^}]*)?\\}"));
}

bool sameRow(const BlockPtr& a, const BlockPtr& b)
{
    return a && b && a->id() == b->id();
}

} // namespace

// ---- Making and removing links ----

bool CanvasView::wouldCreateCycle(const BlockPtr& source, const BlockPtr& destination)
{
    // Depth first from the would-be destination: reaching the source means
    // the new link would close a circle.
    QList<BlockPtr> stack{destination};
    QSet<QUuid> visited;
    while (!stack.isEmpty()) {
        const BlockPtr row = stack.takeLast();
        if (!row)
            continue;
        if (row->id() == source->id())
            return true;
        if (visited.contains(row->id()))
            continue;
        visited.insert(row->id());
        for (const LinkPtr& link : row->outgoingLinks()) {
            if (BlockPtr next = link->destinationBlock())
                stack.append(next);
        }
    }
    return false;
}

QString CanvasView::generatePlaceholderName(const QStringList& excluding)
{
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        const QString name(QChar::fromLatin1(letter));
        if (!excluding.contains(name))
            return name;
    }
    for (qint64 n = 1;; ++n) {
        const QString name = QLatin1Char('X') + QString::number(n);
        if (!excluding.contains(name))
            return name;
    }
}

void CanvasView::createLink(const BlockPtr& source, const BlockPtr& destination)
{
    if (!source || !destination)
        return;
    for (const LinkPtr& link : m_canvas->links()) {
        if (sameRow(link->sourceBlock(), source) && sameRow(link->destinationBlock(), destination))
            return;
    }
    if (source->id() == destination->id() || wouldCreateCycle(source, destination))
        return;

    QStringList names;
    for (const LinkPtr& link : destination->incomingLinks())
        names.append(link->placeholderName());
    const QString name = generatePlaceholderName(names);

    // Link::create puts the link into the source's and destination's lists.
    const LinkPtr link = Link::create(source, destination, name, source->colorHex());
    link->setCanvas(m_canvas);
    m_canvas->touch();

    // A token of this very name left from an earlier link takes the new
    // link's value; a token of a longer name ("{Alpha}") is another link's.
    const QString expression = destination->expression();
    if (!expression.contains(tokenPattern(name))) {
        const QString token = QLatin1Char('{') + name + QLatin1Char(':') + source->colorHex() + QLatin1Char('}');
        // An expression ending in an operator or a bracket (12 + 8 +) takes
        // the value as its operand rather than a second operator.
        qsizetype last = expression.size() - 1;
        while (last >= 0 && expression.at(last).isSpace())
            --last;
        const bool awaitsOperand = last >= 0
            && (expression.at(last) == QLatin1Char('(') || EngineCatalogue::operatorSignAt(expression, last));
        if (expression.isEmpty())
            destination->setExpression(token);
        else if (awaitsOperand)
            destination->setExpression(expression.left(last + 1) + QLatin1Char(' ') + token);
        else
            destination->setExpression(expression + QStringLiteral(" + ") + token);
    }
    // A text row (a new line in editor mode) would not be evaluated at all.
    if (destination->isTextBlock() && !destination->expression().isEmpty())
        destination->setBlockType(BlockType::calculation);
    CalculatorEngine::shared().evaluateBlock(destination);
    refresh();
}

void CanvasView::deleteLink(const LinkPtr& link, const BlockPtr& row)
{
    if (!link || !row)
        return;
    row->setExpression(row->expression().remove(tokenPattern(link->placeholderName())));

    const QUuid id = link->id();
    for (const LinkPtr& other : LinkList(m_canvas->links())) {
        if (other->id() == id)
            m_canvas->removeLink(other);
    }
    if (const BlockPtr destination = link->destinationBlock()) {
        for (const LinkPtr& other : LinkList(destination->incomingLinks())) {
            if (other->id() == id)
                destination->removeIncomingLink(other);
        }
    }
    if (const BlockPtr source = link->sourceBlock()) {
        for (const LinkPtr& other : LinkList(source->outgoingLinks())) {
            if (other->id() == id)
                source->removeOutgoingLink(other);
        }
    }
    ModelContext::deleteRecord(link);

    CalculatorEngine::shared().evaluateBlock(row);
    m_canvas->touch();
    raiseEvaluationCounter();
}

// ---- The link drag ----

void CanvasView::startLinkDrag(const BlockPtr& block, QPointF at)
{
    // The line starts where the drag did: the row's link handle.
    setTemporaryLink(TemporaryLink{block, at, at});
}

void CanvasView::updateLinkDrag(QPointF point)
{
    if (!m_temporaryLink)
        return;
    m_temporaryLink->currentPoint = point;
    m_table->update();
}

QPainterPath CanvasView::temporaryLinkPath(const TemporaryLink& link)
{
    QPainterPath path(link.startPoint);
    path.lineTo(link.currentPoint);
    return path;
}

QPen CanvasView::temporaryLinkPen(const TemporaryLink& link)
{
    QColor color = link.sourceBlock ? colorFromHex(link.sourceBlock->colorHex()).value_or(QColor(0, 192, 232))
                                    : QColor(0, 192, 232);
    color.setAlphaF(0.6);
    QPen pen(color, 2, Qt::CustomDashLine, Qt::RoundCap, Qt::MiterJoin);
    pen.setMiterLimit(10);
    // In units of the line width: 6 on, 3 off.
    pen.setDashPattern({3, 1.5});
    pen.setDashOffset(0);
    return pen;
}

void CanvasView::endLinkDrag(QPointF point)
{
    if (!m_temporaryLink)
        return;
    const BlockPtr source = m_temporaryLink->sourceBlock;
    // The row under the pointer from the rows as laid out and scrolled; the
    // index is cut toward zero, so a drop just above the first row still
    // lands on it.
    const double offset = point.y() - rowsTop();
    const double rows = offset / rowPitch();
    const BlockList sorted = sortedBlocks();
    if (rows > -1 && rows < double(sorted.size())) {
        const BlockPtr target = sorted[int(rows)];
        if (target->id() != source->id())
            createLink(source, target);
    } else {
        createLinkedRow(source);
    }
    setTemporaryLink(std::nullopt);
}

// ---- Rows made to take another row's result ----

void CanvasView::createLinkedRow(const BlockPtr& source)
{
    if (const BlockPtr selected = blockWithId(m_selectedBlockID)) {
        selected->setIsSelected(false);
        selected->setIsEditing(false);
    }
    double y = startY;
    if (!m_canvas->blocks().isEmpty()) {
        BlockPtr lowest = m_canvas->blocks().first();
        for (const BlockPtr& block : m_canvas->blocks()) {
            if (block->positionY() > lowest->positionY())
                lowest = block;
        }
        y = lowest->positionY() + tableRowHeight;
    }
    const BlockPtr row = CalculationBlock::create(BlockType::calculation, QString(), QString(), QString(), startX, y,
                                                  200, tableRowHeight, source->colorHex());
    row->setCanvas(m_canvas);
    m_canvas->appendBlock(row);
    m_scrollTarget = row->id();

    const QString name = generatePlaceholderName({});
    const LinkPtr link = Link::create(source, row, name, source->colorHex());
    link->setCanvas(m_canvas);
    row->setExpression(QLatin1Char('{') + name + QLatin1Char(':') + source->colorHex() + QLatin1Char('}'));
    CalculatorEngine::shared().evaluateBlock(row);

    row->setIsSelected(true);
    row->setIsEditing(true);
    selectRow(row->id());
    updateRowColorAction();
    m_canvas->touch();
    refresh();
}

void CanvasView::createLinkedBlockBelow(BlockPtr source)
{
    if (!source)
        return;
    const QPointF start(source->positionX() + source->width() * 0.5 - 50,
                        source->positionY() + source->height() + 20);
    const QSizeF size(150, 50);
    // Lower than the source, so that the new row follows it in the table.
    const QPointF position = findNonOverlappingPosition(nullptr, start, size, source->positionY());
    const BlockPtr row = CalculationBlock::create(BlockType::calculation, QStringLiteral("{A}"), QString(), QString(),
                                                  position.x(), position.y(), size.width(), size.height(),
                                                  source->colorHex());
    row->setCanvas(m_canvas);
    row->setIsEditing(true);
    row->setIsSelected(true);
    m_canvas->appendBlock(row);
    m_scrollTarget = row->id();

    const LinkPtr link = Link::create(source, row, QStringLiteral("A"), source->colorHex());
    link->setCanvas(m_canvas);
    m_canvas->touch();
    CalculatorEngine::shared().evaluateBlock(row);

    source->setIsSelected(false);
    source->setIsEditing(false);
    selectRow(row->id());
    updateRowColorAction();
    refresh();
}

// ---- Linked values ----

QString CanvasView::linkSourceName(const BlockPtr& source) const
{
    if (!source->label().isEmpty())
        return source->label();
    return QStringLiteral("Row ") + QString::number(indexOfBlock(source->id()) + 1);
}

QMenu* CanvasView::createLinkedValueMenu(const BlockPtr& block, const QString& placeholder, QWidget* parent)
{
    const LinkPtr link = linkForPlaceholder(block, placeholder);
    const BlockPtr source = link ? link->sourceBlock() : nullptr;
    // The grey "?" of a missing link or value has no menu of its own.
    if (!source || !link->sourceValue())
        return nullptr;
    auto* menu = new QMenu(parent);
    QAction* from = menu->addAction(QStringLiteral("Linked from: ") + linkSourceName(source));
    from->setEnabled(false); // a line of information, not an action
    menu->addSeparator();
    QAction* remove = menu->addAction(QIcon::fromTheme(QStringLiteral("list-remove")), QStringLiteral("Delete Link"));
    // The link is looked up again when chosen: the menu may outlive it.
    const QUuid linkID = link->id();
    connect(remove, &QAction::triggered, this, [this, block, linkID] {
        for (const LinkPtr& candidate : LinkList(block->incomingLinks()) + m_canvas->links()) {
            if (candidate->id() == linkID) {
                deleteLink(candidate, block);
                return;
            }
        }
    });
    return menu;
}
