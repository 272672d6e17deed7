// One table row: how it is drawn, what a pointer does on it, its menu, and
// the line edits that stand in for its label or expression while focused.

#include "Views/Canvas/CanvasView.h"
#include "Engine/ResultCurrency.h"
#include "Engine/ExpressionParts.h"
#include "Engine/ExpressionText.h"
#include "Views/Canvas/CanvasViewWidgets.h"

#include "Engine/CalculatorEngine.h"
#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/HexColor.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QScrollArea>
#include <QHelpEvent>
#include <QStyle>
#include <QToolTip>

#include <algorithm>

namespace {

const QColor accentColor(10, 132, 255);
const QColor grayColor(142, 142, 147);

QColor withAlpha(QColor color, double alpha)
{
    color.setAlphaF(color.alphaF() * alpha);
    return color;
}

QFont sized(QFont font, int pixels, QFont::Weight weight)
{
    font.setPixelSize(pixels);
    font.setWeight(weight);
    return font;
}

// Enough for every text of a few screens of rows; past it the cache starts over.
constexpr qsizetype cachedTexts = 4096;
// Longer texts are measured and drawn without being kept.
constexpr qsizetype cachedLength = 256;


QPixmap handlePixmap(const QColor& color, qreal ratio)
{
    static QHash<QPair<QRgb, qreal>, QPixmap> made;
    const auto key = qMakePair(color.rgba(), ratio);
    if (const auto found = made.constFind(key); found != made.constEnd())
        return *found;
    QPixmap pixmap(QSize(16, 12) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(color, 1.5, Qt::SolidLine, Qt::RoundCap));
    for (const double y : {2.0, 6.0, 10.0})
        painter.drawLine(QPointF(1.5, y), QPointF(14.5, y));
    painter.end();
    if (made.size() > 64)
        made.clear();
    made.insert(key, pixmap);
    return pixmap;
}

} // namespace

// ---- Drawing ----

CanvasView::Face::Face(const QFont& font)
    : font(font)
    , metrics(font)
    , fit(metrics)
{
}

double CanvasView::Face::width(const QString& text) const
{
    if (text.size() > cachedLength)
        return fit.advance(text);
    if (const auto found = widths.constFind(text); found != widths.constEnd())
        return *found;
    if (widths.size() >= cachedTexts)
        widths.clear();
    const double measured = fit.advance(text);
    widths.insert(text, measured);
    return measured;
}

double CanvasView::Face::boundedWidth(const QString& text, double limit) const
{
    return text.size() > cachedLength ? fit.boundedAdvance(text, limit) : width(text);
}

QString CanvasView::Face::elided(const QString& text, double width) const
{
    if (text.size() > cachedLength)
        return fit.elidedRight(text, width);
    if (this->width(text) <= width)
        return text;
    return metrics.elidedText(text, Qt::ElideRight, width);
}

QString CanvasView::Face::shownStart(const QString& text, double limit) const
{
    return text.size() > cachedLength ? fit.shownStart(text, limit) : text;
}

void CanvasView::Face::draw(QPainter& painter, const QRectF& box, const QString& text) const
{
    const QPointF origin(box.left(), box.top() + (box.height() - metrics.height()) / 2);
    if (text.size() > cachedLength) {
        painter.drawText(origin + QPointF(0, metrics.ascent()), text);
        return;
    }
    auto found = prepared.find(text);
    if (found == prepared.end()) {
        if (prepared.size() >= cachedTexts)
            prepared.clear();
        QStaticText staticText(text);
        staticText.setTextFormat(Qt::PlainText);
        staticText.setPerformanceHint(QStaticText::AggressiveCaching);
        staticText.prepare(QTransform(), font);
        found = prepared.insert(text, staticText);
    }
    painter.drawStaticText(origin, *found);
}

CanvasView::TextStyles::TextStyles(const QFont& font)
    : base(font)
    , regular(sized(font, 20, QFont::Normal))
    , medium(sized(font, 20, QFont::Medium))
    , small(sized(font, 11, QFont::Medium))
    , error(sized(font, 13, QFont::Normal))
{
}

const CanvasView::TextStyles& CanvasView::textStyles() const
{
    if (!m_textStyles || m_textStyles->base != font())
        m_textStyles = std::make_unique<TextStyles>(font());
    return *m_textStyles;
}

qint64 CanvasView::measuredCharacters() const
{
    const TextStyles& styles = textStyles();
    qint64 count = 0;
    for (const Face* face : {&styles.regular, &styles.medium, &styles.small, &styles.error})
        count += face->fit.measuredCharacters();
    return count;
}

void CanvasView::paintTable(QPainter& painter, const QRect& exposed)
{
    ensureLayout();
    const double top = rowsTop();
    const int count = int(m_sorted.size());
    const int first = std::max(0, int((exposed.top() - top) / rowPitch()));
    const int last = std::min(count - 1, int((exposed.bottom() - top) / rowPitch()));
    for (int i = first; i <= last; ++i)
        paintRow(painter, m_sorted[i], i);
    paintOverlays(painter);
}

void CanvasView::paintRow(QPainter& painter, const BlockPtr& block, int rowIndex)
{
    const QUuid id = block->id();
    const QRectF row = rowRect(rowIndex);
    const QColor color = shownColor(rowColor(*block));
    const bool selected = m_selectedBlockID == id || m_selectedBlockIDs.contains(id);

    painter.save();
    painter.setOpacity(m_draggingBlockID == id ? 0.4 : 1.0);

    if (selected) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(withAlpha(accentColor, 0.25));
        painter.drawRoundedRect(row.adjusted(4, 2, -4, -2), 6, 6);
        painter.setBrush(color);
        painter.drawRect(QRectF(row.left(), row.top(), 4, row.height()));
    }

    const bool labelEdited = m_labelField->isVisible() && m_focusedLabelBlockID == id;
    if (!labelEdited && !block->label().isEmpty()) {
        const QRectF rect = labelRect(rowIndex);
        const TextStyles& styles = textStyles();
        painter.setFont(styles.regular.font);
        painter.setPen(fadedColor(color, 0.7));
        styles.regular.draw(painter, rect, styles.regular.elided(block->label(), rect.width()));
    }

    const bool expressionEdited = m_expressionField->isVisible() && m_focusedBlockID == id;
    if (!expressionEdited)
        paintExpression(painter, block, expressionRect(rowIndex));

    paintResult(painter, block, rowIndex);

    // The drag handle: three short lines, drawn once per colour.
    const QRectF handle = dragHandleRect(rowIndex);
    const QColor handleColor = selected ? withAlpha(color, 0.4) : withAlpha(grayColor, 0.15);
    painter.drawPixmap(handle.center() - QPointF(8, 6), handlePixmap(handleColor, painter.device()->devicePixelRatioF()));
    painter.restore();
}

void CanvasView::paintExpression(QPainter& painter, const BlockPtr& block, const QRectF& rect)
{
    const QList<PartBox> boxes = fittedExpression(block, rect);
    if (boxes.isEmpty())
        return;
    painter.save();
    painter.setClipRect(rect);
    const TextStyles& styles = textStyles();
    for (const PartBox& box : boxes) {
        const auto kind = box.part.part.kind;
        const bool isMedium = kind == TableExpressionPart::Kind::number || kind == TableExpressionPart::Kind::percent
            || kind == TableExpressionPart::Kind::linkedValue;
        const Face& face = isMedium ? styles.medium : styles.regular;
        painter.setFont(face.font);
        painter.setPen(box.color);
        face.draw(painter, box.box, box.shown);
        if (!box.label.isEmpty()) {
            painter.setFont(styles.small.font);
            painter.setPen(fadedColor(box.color, 0.7));
            QRectF labelBox = box.labelBox;
            if (kind != TableExpressionPart::Kind::linkedValue) {
                // Centred over the number.
                const double width = styles.small.width(box.label);
                labelBox.setLeft(box.labelBox.center().x() - width / 2);
            }
            styles.small.draw(painter, labelBox, box.label);
        }
    }
    painter.restore();
}

QString CanvasView::resultText(const BlockPtr& block) const
{
    if (block->isTextBlock() || !block->result())
        return QString();
    return ResultCurrency::shownValue(*m_canvas, *block, *block->result());
}

QString CanvasView::errorText(const CalculationBlock& block)
{
    // A row with nothing to compute is not a failure: it stays empty.
    if (block.isTextBlock() || block.result() || !block.hasError()
        || ExpressionText::trimmedSpacesAndTabs(block.expression()).isEmpty())
        return QString();
    return block.errorMessage().value_or(QString());
}

CanvasView::ResultCell CanvasView::resultCell(const BlockPtr& block, int rowIndex) const
{
    ResultCell cell;
    const QRectF rect = resultRect(rowIndex);
    // Right of the text: 12 spacing and the 20-wide link handle.
    const double right = rect.right() - 20 - 12;
    const double width = std::max(0.0, right - rect.left());
    cell.fullText = resultText(block);
    if (cell.fullText.isEmpty()) {
        cell.fullText = errorText(*block);
        if (cell.fullText.isEmpty())
            return cell;
        cell.isError = true;
        cell.hoverText = block->errorDetail().isEmpty() ? cell.fullText : block->errorDetail();
        // A failed row has no link handle, and its message may reach left
        // into what its expression leaves free of the cell beside.
        const double room = std::max(0.0, right - std::min(rect.left(), expressionTextEnd(block, rowIndex) + 16));
        const Face& face = textStyles().error;
        cell.shown = face.elided(cell.fullText, room);
        const double textWidth = std::min(room, face.width(cell.shown));
        const double height = face.metrics.height();
        cell.textBox = QRectF(right - textWidth, rect.center().y() - height / 2, textWidth, height);
        return cell;
    }
    const Face& value = textStyles().medium;
    const Face& small = textStyles().small;
    const bool hasLabel = !block->label().isEmpty();
    const double stackHeight = value.metrics.height() + (hasLabel ? small.metrics.height() + 1 : 0);
    double y = rect.center().y() - stackHeight / 2;
    if (hasLabel) {
        cell.label = small.elided(block->label(), width);
        const double labelWidth = std::min(width, small.width(cell.label));
        cell.labelBox = QRectF(right - labelWidth, y, labelWidth, small.metrics.height());
        y += small.metrics.height() + 1;
    }
    // A value wider than its column (a long number with its currency) reaches
    // left into what the expression leaves free: a value cut short would read
    // as another number. Only what does not fit even then ends with "…".
    double room = width;
    if (value.boundedWidth(cell.fullText, width) > width)
        room = std::max(width, right - std::max(expressionRect(rowIndex).left(), expressionTextEnd(block, rowIndex) + 16));
    cell.shown = value.elided(cell.fullText, room);
    const double textWidth = std::min(room, value.width(cell.shown));
    cell.textBox = QRectF(right - textWidth, y, textWidth, value.metrics.height());
    return cell;
}

double CanvasView::expressionTextEnd(const BlockPtr& block, int rowIndex) const
{
    const QRectF expression = expressionRect(rowIndex);
    if (m_expressionField->isVisible() && m_focusedBlockID == block->id()) {
        // Measured only as far as the column reaches.
        const double typed = TextFit(m_expressionField->font()).boundedAdvance(m_expressionField->text(), expression.width());
        return std::min(expression.right(), expression.left() + typed + 8);
    }
    const QList<PartBox> parts = fittedExpression(block, expression);
    return parts.isEmpty() ? expression.left() : parts.last().box.right();
}

bool CanvasView::startsLinkDrag(int rowIndex, QPointF point) const
{
    ensureLayout();
    if (rowIndex < 0 || rowIndex >= m_sorted.size())
        return false;
    const BlockPtr& block = m_sorted[rowIndex];
    if (block->isTextBlock() || !block->result())
        return false; // nothing to link
    if (linkHandleRect(rowIndex).contains(point))
        return true;
    const ResultCell cell = resultCell(block, rowIndex);
    return cell.textBox.adjusted(-4, -4, 4, 4).contains(point) || (!cell.label.isEmpty() && cell.labelBox.contains(point));
}

void CanvasView::paintResult(QPainter& painter, const BlockPtr& block, int rowIndex)
{
    const ResultCell cell = resultCell(block, rowIndex);
    if (cell.isEmpty())
        return;
    const TextStyles& styles = textStyles();
    painter.save();
    if (cell.isError) {
        painter.setFont(styles.error.font);
        painter.setPen(canvasColors().secondary);
        styles.error.draw(painter, cell.textBox, cell.shown);
        painter.restore();
        return;
    }
    const QColor color = shownColor(rowColor(*block));
    if (!cell.label.isEmpty()) {
        painter.setFont(styles.small.font);
        painter.setPen(fadedColor(color, 0.6));
        styles.small.draw(painter, cell.labelBox, cell.label);
    }
    painter.setFont(styles.medium.font);
    painter.setPen(color);
    styles.medium.draw(painter, cell.textBox, cell.shown);
    painter.restore();
}

void CanvasView::paintOverlays(QPainter& painter)
{
    if (m_temporaryLink) {
        // The rubber band of a link being dragged out of a result.
        QPen pen = temporaryLinkPen(*m_temporaryLink);
        pen.setColor(shownColor(pen.color()));
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(temporaryLinkPath(*m_temporaryLink));
    }
    // Where a dragged row would land.
    paintDropIndicator(painter);
}

// ---- Pointer ----

std::optional<CanvasView::PartBox> CanvasView::partAt(const BlockPtr& block, int rowIndex, QPointF point) const
{
    const QRectF rect = expressionRect(rowIndex);
    if (!rect.contains(point))
        return std::nullopt;
    for (const PartBox& box : layoutExpression(block, rect)) {
        if (box.box.adjusted(-3, 0, 3, 0).contains(point) || (!box.label.isEmpty() && box.labelBox.contains(point)))
            return box;
    }
    return std::nullopt;
}

void CanvasView::tableMousePress(QMouseEvent* event)
{
    const QPointF point = event->position();
    m_gesture = Gesture::none;
    if (event->button() != Qt::LeftButton)
        return;
    if (tappableAreaRect().contains(point)) {
        addNewRow();
        return;
    }
    const std::optional<int> index = rowIndexAt(point.y());
    if (!index)
        return;
    const BlockPtr block = m_sorted[*index];
    if (event->modifiers() & Qt::ControlModifier) {
        commandClick(block);
        return;
    }
    m_pressPoint = point;
    m_gestureBlock = block;
    m_gestureRow = *index;
    m_gestureStarted = false;
    if (dragHandleRect(*index).contains(point)) {
        m_gesture = Gesture::handle;
    } else if (startsLinkDrag(*index, point)) {
        m_gesture = Gesture::link;
    } else if (labelRect(*index).contains(point)) {
        plainClick(block);
        setFocusedLabelBlockID(block->id());
        m_labelField->setCursorPosition(m_labelField->cursorPositionAt(m_labelField->mapFrom(m_table, point.toPoint())));
    } else if (expressionRect(*index).contains(point)) {
        plainClick(block);
        const std::optional<PartBox> part = partAt(block, *index, point);
        if (part && part->part.part.kind == TableExpressionPart::Kind::number && !part->label.isEmpty()
            && part->labelBox.contains(point)) {
            startEditingNumberLabel(part->part.part.text, part->part.numberIndex.value_or(0), block);
            return;
        }
        setFocusedBlockID(block->id());
        m_expressionField->end(false);
    }
    // A plain click elsewhere on the row neither selects nor focuses.
}

void CanvasView::tableMouseMove(QMouseEvent* event)
{
    const QPointF point = event->position();
    if (m_gesture == Gesture::none || !(event->buttons() & Qt::LeftButton)) {
        updateCursorShape(point);
        return;
    }
    const double distance = (point - m_pressPoint).manhattanLength();
    if (m_gesture == Gesture::handle) {
        if (!m_gestureStarted) {
            if (distance < 8)
                return;
            m_gestureStarted = true;
            m_draggingBlockID = m_gestureBlock->id();
            if (!m_selectedBlockIDs.contains(m_gestureBlock->id())) {
                m_selectedBlockID = m_gestureBlock->id();
                m_selectedBlockIDs.clear();
                updateRowColorAction();
            }
            m_lastDropY = point.y() - rowRect(m_gestureRow).top();
        }
        // The position within the row, counted from the top of the first row.
        const double dragY = point.y() - rowRect(m_gestureRow).top() + rowPitch() * m_gestureRow;
        updateDropTarget(dragY, m_gestureBlock);
        m_table->update();
    } else if (m_gesture == Gesture::link) {
        if (!m_gestureStarted) {
            if (distance < 5)
                return;
            m_gestureStarted = true;
            m_table->setCursor(Qt::ClosedHandCursor);
        }
        if (!m_temporaryLink)
            startLinkDrag(m_gestureBlock, linkHandleRect(m_gestureRow).center());
        updateLinkDrag(point);
    }
}

void CanvasView::tableMouseRelease(QMouseEvent* event)
{
    const Gesture gesture = m_gesture;
    const bool started = m_gestureStarted;
    const BlockPtr block = m_gestureBlock;
    m_gesture = Gesture::none;
    m_gestureBlock.reset();
    m_gestureStarted = false;
    if (!started) {
        // The handle clicked without a drag selects its row, for the row
        // commands that the keyboard then gives.
        if (gesture == Gesture::handle && block && indexOfBlock(block->id()) >= 0) {
            if (m_focusedBlockID)
                setFocusedBlockID(std::nullopt);
            if (m_focusedLabelBlockID)
                setFocusedLabelBlockID(std::nullopt);
            plainClick(block);
            setFocus(Qt::MouseFocusReason);
        }
        return;
    }
    if (gesture == Gesture::handle) {
        if (m_dropTargetIndex)
            reorderBlockToIndex(block, *m_dropTargetIndex);
        m_draggingBlockID.reset();
        m_dropTargetIndex.reset();
        m_table->update();
    } else if (gesture == Gesture::link) {
        endLinkDrag(event->position());
        updateCursorShape(event->position());
    }
}

void CanvasView::updateCursorShape(QPointF point)
{
    Qt::CursorShape shape = Qt::ArrowCursor;
    if (const std::optional<int> index = rowIndexAt(point.y())) {
        if (dragHandleRect(*index).contains(point))
            shape = Qt::OpenHandCursor;
        else if (startsLinkDrag(*index, point))
            shape = Qt::OpenHandCursor;
        else if (labelRect(*index).contains(point) || expressionRect(*index).contains(point))
            shape = Qt::IBeamCursor;
    } else if (tappableAreaRect().contains(point)) {
        shape = Qt::PointingHandCursor;
    }
    if (m_table->cursor().shape() != shape)
        m_table->setCursor(shape);
}

QString CanvasView::toolTipText(const QString& text) const
{
    // As much as one line across the screen shows: a tooltip of a
    // megabyte message would be laid out whole and never fit anyway.
    const QScreen* shown = screen();
    const double width = shown ? shown->availableGeometry().width() : 1920;
    return TextFit(QToolTip::font()).elidedRight(text, width);
}

void CanvasView::tableToolTip(QHelpEvent* event)
{
    const QPointF point = event->pos();
    if (const std::optional<int> index = rowIndexAt(point.y())) {
        const ResultCell cell = resultCell(m_sorted[*index], *index);
        if ((cell.isError || cell.shown != cell.fullText) && resultRect(*index).contains(point)) {
            const QString text = cell.hoverText.isEmpty() ? cell.fullText : cell.hoverText;
            QToolTip::showText(event->globalPos(), toolTipText(text), m_table, resultRect(*index).toRect());
            return;
        }
    }
    QToolTip::hideText();
    event->ignore();
}

void CanvasView::commandClick(const BlockPtr& block)
{
    const QUuid id = block->id();
    if (!m_selectedBlockIDs.contains(id)) {
        if (m_selectedBlockID && !m_selectedBlockIDs.contains(*m_selectedBlockID))
            m_selectedBlockIDs.insert(*m_selectedBlockID);
        m_selectedBlockIDs.insert(id);
        m_selectedBlockID = id;
    } else {
        m_selectedBlockIDs.remove(id);
        if (m_selectedBlockIDs.isEmpty()) {
            m_selectedBlockID.reset();
        } else if (m_selectedBlockID == id) {
            // The row let go must not stay highlighted: the last of the
            // others in table order takes its place.
            for (const BlockPtr& row : sortedBlocks()) {
                if (m_selectedBlockIDs.contains(row->id()))
                    m_selectedBlockID = row->id();
            }
            if (m_selectedBlockID == id)
                m_selectedBlockID.reset();
        }
    }
    updateRowColorAction();
    m_table->update();
}

void CanvasView::plainClick(const BlockPtr& block)
{
    m_selectedBlockIDs.clear();
    m_selectedBlockID = block->id();
    updateRowColorAction();
    m_table->update();
}

void CanvasView::tableContextMenu(QContextMenuEvent* event)
{
    const QPointF point = event->pos();
    const std::optional<int> index = rowIndexAt(point.y());
    if (!index) {
        event->ignore();
        return;
    }
    const BlockPtr block = m_sorted[*index];
    QMenu* menu = nullptr;
    if (const std::optional<PartBox> part = partAt(block, *index, point))
        menu = createPartMenu(block, part->part, this);
    if (!menu)
        menu = createRowContextMenu(block, *index, int(m_sorted.size()), this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

// ---- Menus ----

QMenu* CanvasView::createRowContextMenu(const BlockPtr& block, int rowIndex, int totalRows, QWidget* parent)
{
    auto* menu = new QMenu(parent);
    auto selectAlone = [this, block] { plainClick(block); };
    QAction* up = menu->addAction(style()->standardIcon(QStyle::SP_ArrowUp), QStringLiteral("Move Up"));
    up->setEnabled(rowIndex != 0);
    connect(up, &QAction::triggered, this, [this, selectAlone] {
        selectAlone();
        moveRowsUp();
    });
    QAction* down = menu->addAction(style()->standardIcon(QStyle::SP_ArrowDown), QStringLiteral("Move Down"));
    down->setEnabled(rowIndex != totalRows - 1);
    connect(down, &QAction::triggered, this, [this, selectAlone] {
        selectAlone();
        moveRowsDown();
    });
    menu->addSeparator();
    QMenu* colors = menu->addMenu(QStringLiteral("Color"));
    for (const QString& hex : blockColors()) {
        QAction* item = colors->addAction(circleIcon(hex), colorName(hex));
        // This row only, whatever else is selected.
        connect(item, &QAction::triggered, this, [this, block, hex] {
            block->setColorHex(hex);
            if (const CanvasPtr owner = block->canvas())
                owner->touch();
            refresh();
        });
    }
    menu->addSeparator();
    QAction* remove = menu->addAction(style()->standardIcon(QStyle::SP_TrashIcon), QStringLiteral("Delete Row"));
    connect(remove, &QAction::triggered, this, [this, selectAlone] {
        selectAlone();
        deleteSelectedBlock();
    });
    return menu;
}

QMenu* CanvasView::createTitleColorMenu(QWidget* parent)
{
    auto* menu = new QMenu(parent);
    QMenu* colors = menu->addMenu(QStringLiteral("Title Color"));
    for (const QString& hex : blockColors()) {
        QAction* item = colors->addAction(circleIcon(hex), colorName(hex));
        connect(item, &QAction::triggered, this, [this, hex] { setTitleColor(hex); });
    }
    colors->addSeparator();
    QAction* reset = colors->addAction(QStringLiteral("Default"));
    connect(reset, &QAction::triggered, this, [this] { setTitleColor(std::nullopt); });
    return menu;
}

QMenu* CanvasView::createTextPartMenu(const BlockPtr& block, const QString& text, QWidget* parent)
{
    auto* menu = new QMenu(parent);
    QMenu* colors = menu->addMenu(QStringLiteral("Color"));
    for (const QString& hex : blockColors()) {
        QAction* item = colors->addAction(circleIcon(hex), colorName(hex));
        connect(item, &QAction::triggered, this, [this, block, text, hex] { setTextPartColor(block, text, hex); });
    }
    if (block->partColors().contains(QStringLiteral("text:") + text)) {
        colors->addSeparator();
        QAction* reset = colors->addAction(QStringLiteral("Reset to Default"));
        connect(reset, &QAction::triggered, this,
                [this, block, text] { setTextPartColor(block, text, std::nullopt); });
    }
    return menu;
}

QMenu* CanvasView::createPartMenu(const BlockPtr& block, const IndexedExpressionPart& part, QWidget* parent)
{
    if (part.part.kind == TableExpressionPart::Kind::quotedText)
        return createTextPartMenu(block, part.part.text, parent);
    if (part.part.kind == TableExpressionPart::Kind::number)
        return createNumberPartMenu(block, part.part.text, part.numberIndex.value_or(0), parent);
    if (part.part.kind == TableExpressionPart::Kind::linkedValue)
        return createLinkedValueMenu(block, part.part.text, parent);
    // Operators and percent signs: the row's own menu opens.
    return nullptr;
}

// ---- The focused row's fields ----

QWidget* CanvasView::tableWidget() const
{
    return m_table;
}

QWidget* CanvasView::labelEditor() const
{
    return m_labelField;
}

QWidget* CanvasView::expressionEditor() const
{
    return m_expressionField;
}

void CanvasView::setFocusedLabelBlockID(const std::optional<QUuid>& id)
{
    m_focusedLabelBlockID = id;
    if (const BlockPtr block = blockWithId(id)) {
        selectRow(block->id());
        block->setIsEditing(false);
        m_focusedBlockID.reset();
        updateRowColorAction();
    }
    placeEditors();
    m_table->update();
}

void CanvasView::setFocusedBlockID(const std::optional<QUuid>& id)
{
    m_focusedBlockID = id;
    if (const BlockPtr block = blockWithId(id)) {
        selectRow(block->id());
        m_focusedLabelBlockID.reset();
        updateRowColorAction();
    }
    placeEditors();
    m_table->update();
}

void CanvasView::placeEditors()
{
    if (!m_labelField || !m_expressionField)
        return;
    m_placingEditors = true;
    auto place = [this](RowTextField* field, const std::optional<QUuid>& id, bool isLabel) {
        const BlockPtr block = blockWithId(id);
        const int index = block ? indexOfBlock(block->id()) : -1;
        if (index < 0) {
            const bool hadFocus = field->hasFocus();
            field->hide();
            if (hadFocus)
                setFocus(Qt::OtherFocusReason);
            return;
        }
        const QRectF cell = isLabel ? labelRect(index) : expressionRect(index);
        const int height = 34;
        field->setGeometry(QRectF(cell.left() - 2, cell.center().y() - height / 2.0, cell.width() + 4, height).toRect());
        const QColor color = shownColor(rowColor(*block));
        QPalette colors = field->palette();
        colors.setColor(QPalette::Text, isLabel ? fadedColor(color, 0.7) : color);
        colors.setColor(QPalette::Base, Qt::transparent);
        field->setPalette(colors);
        // Never overwrite what is being typed, nor move its caret.
        const bool newlyPlaced = field->isHidden() || field->property("blockID").toUuid() != block->id();
        const QString shown = isLabel ? block->label() : expressionWithLineNumbers(block);
        if (!field->hasFocus() || newlyPlaced) {
            field->setText(shown);
            field->setProperty("blockID", block->id());
        } else if (!isLabel && shown != field->property("shownForm").toString() && shown != field->text()) {
            // The row changed under the field (rows moved or went, a link
            // came): its row numbers would be read back as other rows.
            const QString old = field->text();
            int prefix = 0;
            while (prefix < old.size() && prefix < shown.size() && old[prefix] == shown[prefix])
                ++prefix;
            int caret = field->cursorPosition();
            if (caret == old.size())
                caret = int(shown.size());
            else if (caret > prefix)
                caret = std::clamp(caret + int(shown.size() - old.size()), prefix, int(shown.size()));
            field->setText(shown);
            field->setCursorPosition(caret);
        } else if (isLabel && shown != field->text() && shown != field->property("shownForm").toString()) {
            // The label changed elsewhere (Undo from the Edit menu).
            field->setText(shown);
        }
        field->setProperty("shownForm", shown);
        field->show();
        if (!field->hasFocus() && isVisible())
            field->setFocus(Qt::OtherFocusReason);
        if (newlyPlaced)
            m_scrollArea->ensureWidgetVisible(field, 0, int(rowPitch()));
    };
    place(m_labelField, m_focusedLabelBlockID, true);
    place(m_expressionField, m_focusedBlockID, false);
    m_placingEditors = false;
    placeNumberLabelField();
}

void CanvasView::fieldFocusLost(RowTextField* field, Qt::FocusReason reason)
{
    // A menu or another window taking focus for a while ends no editing.
    if (m_placingEditors || reason == Qt::PopupFocusReason || reason == Qt::ActiveWindowFocusReason)
        return;
    if (field == m_labelField && m_focusedLabelBlockID) {
        m_focusedLabelBlockID.reset();
        field->hide();
    } else if (field == m_expressionField && m_focusedBlockID) {
        m_focusedBlockID.reset();
        field->hide();
    }
    m_table->update();
}

void CanvasView::onLabelEdited(const QString& text)
{
    const BlockPtr block = blockWithId(m_focusedLabelBlockID);
    if (!block)
        return;
    const QString before = block->label();
    block->setLabel(text);
    labelTyped(block, before);
    rowContentChanged(block, true);
    applyRefresh();
}

void CanvasView::onExpressionEdited(const QString& text)
{
    const BlockPtr block = blockWithId(m_focusedBlockID);
    if (!block)
        return;
    const QString expression = expressionFromField(text, block);
    ExpressionParts::keepNumberingThroughEdit(*block, CalcSettings::shared().decimalStyle());
    block->setExpression(expression);
    pruneSumKeywordSteps();
    // What the field now stands for; it is no change made elsewhere.
    m_expressionField->setProperty("shownForm", expressionWithLineNumbers(block));
    // As on the canvas: a text row given an expression calculates.
    if (block->isTextBlock() && !block->expression().isEmpty())
        block->setBlockType(BlockType::calculation);
    CalculatorEngine::shared().evaluateBlock(block);
    if (text.endsWith(QLatin1Char('#'))) {
        m_showLinkAutocomplete = true;
        m_linkAutocompleteBlockID = block->id();
    } else {
        m_showLinkAutocomplete = false;
    }
    // One row and the rows it feeds changed: no pass over the whole canvas.
    ++m_evaluationCounter;
    rowContentChanged(block, true);
    applyRefresh();
}

bool CanvasView::labelFieldKey(QKeyEvent* event)
{
    const BlockPtr block = blockWithId(m_focusedLabelBlockID);
    if (!block)
        return false;
    if (event->matches(QKeySequence::Undo) || event->matches(QKeySequence::Redo))
        return takeSumKeywordStep(block, event->matches(QKeySequence::Redo));
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        moveToExpression(block);
        return true;
    case Qt::Key_Tab:
        moveToExpression(block);
        return true;
    case Qt::Key_Backtab:
        moveToPreviousRowExpression(block);
        return true;
    case Qt::Key_Down:
        moveToNextRowLabel(block);
        return true;
    case Qt::Key_Up:
        moveToPreviousRowLabel(block);
        return true;
    case Qt::Key_Escape:
        // As in the expression field: the field goes, the row stays
        // selected and the canvas takes the keys (Ctrl+Backspace deletes it).
        block->setIsLabelEditing(false);
        setFocusedLabelBlockID(std::nullopt);
        refresh();
        return true;
    default:
        return false;
    }
}

bool CanvasView::expressionFieldKey(QKeyEvent* event)
{
    const BlockPtr block = blockWithId(m_focusedBlockID);
    if (!block)
        return false;
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        moveToNextRow(block);
        CalculatorEngine::shared().evaluateBlock(block);
        raiseEvaluationCounter();
        return true;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        // The canvas decides; focus never wanders off to other widgets.
        handleKeyPress(event);
        return true;
    default:
        return false;
    }
}
