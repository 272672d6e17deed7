#include "Models/CalculationBlock.h"

#include "Models/Identifiers.h"
#include "Models/ModelRevision.h"
#include "Models/RecordSetter.h"
#include "Models/Relations.h"

BlockPtr CalculationBlock::create(BlockType blockType, const QString& expression, const QString& textContent,
                                  const QString& label, double positionX, double positionY, double width,
                                  double height, const QString& colorHex)
{
    BlockPtr block(new CalculationBlock);
    block->m_id = newIdentifier();
    block->m_blockType = blockType;
    block->m_label = label;
    block->m_textContent = textContent;
    block->m_expression = expression;
    block->m_positionX = positionX;
    block->m_positionY = positionY;
    block->m_width = width;
    block->m_height = height;
    block->m_colorHex = colorHex;
    return block;
}

CalculationBlock::~CalculationBlock() = default;

void CalculationBlock::changed(const char* property, bool valueChanged, bool appendedOnly)
{
    if (m_context)
        m_context->noteChanged(this, property, valueChanged, appendedOnly);
}

namespace {
// Two NaN results are the same value as far as saving is concerned.
bool sameDouble(double a, double b)
{
    return a == b || (a != a && b != b);
}
}

void CalculationBlock::setId(const QUuid& id) { QS_SETTER(id, m_id, "id"); }
void CalculationBlock::setBlockType(BlockType type)
{
    QS_SETTER(type, m_blockType, "blockType");
    // A text row is never evaluated: a result kept from before would be
    // counted by a sum while the row shows none.
    if (type == BlockType::text) {
        setResult(std::nullopt);
        setHasError(false);
        setErrorMessage(std::nullopt);
        m_errorDetail.clear();
    }
}
void CalculationBlock::setLabel(const QString& label) { QS_SETTER(label, m_label, "label"); }
void CalculationBlock::setTextContent(const QString& text) { QS_SETTER(text, m_textContent, "textContent"); }
void CalculationBlock::setPartLabels(const PartMap& labels) { QS_SETTER(labels, m_partLabels, "partLabels"); }
void CalculationBlock::setPartColors(const PartMap& colors) { QS_SETTER(colors, m_partColors, "partColors"); }
void CalculationBlock::setExpression(const QString& expression)
{
    if (expression != m_expression)
        ModelRevision::expressionChanged();
    QS_SETTER(expression, m_expression, "expression");
}

void CalculationBlock::setResult(std::optional<double> result)
{
    const bool differs = result.has_value() != m_result.has_value()
        || (result && !sameDouble(*result, *m_result));
    if (differs)
        m_result = result;
    changed("result", differs);
}

void CalculationBlock::setHasError(bool hasError) { QS_SETTER(hasError, m_hasError, "hasError"); }
void CalculationBlock::setErrorMessage(const std::optional<QString>& message)
{
    QS_SETTER(message, m_errorMessage, "errorMessage");
}
void CalculationBlock::setPositionX(double x) { QS_SETTER(x, m_positionX, "positionX"); }
void CalculationBlock::setPositionY(double y) { QS_SETTER(y, m_positionY, "positionY"); }
void CalculationBlock::setWidth(double width) { QS_SETTER(width, m_width, "width"); }
void CalculationBlock::setHeight(double height) { QS_SETTER(height, m_height, "height"); }
void CalculationBlock::setColorHex(const QString& hex) { QS_SETTER(hex, m_colorHex, "colorHex"); }
void CalculationBlock::setIsSelected(bool selected) { QS_SETTER(selected, m_isSelected, "isSelected"); }
void CalculationBlock::setIsEditing(bool editing) { QS_SETTER(editing, m_isEditing, "isEditing"); }
void CalculationBlock::setIsLabelEditing(bool editing) { QS_SETTER(editing, m_isLabelEditing, "isLabelEditing"); }

void CalculationBlock::setCanvas(const CanvasPtr& canvas) { Relations::setCanvas(*this, canvas); }

void CalculationBlock::setOutgoingLinks(const LinkList& links) { Relations::setOutgoing(*this, links); }

void CalculationBlock::appendOutgoingLink(const LinkPtr& link)
{
    if (link && link->sourceBlock().get() != this)
        Relations::setSource(*link, shared_from_this());
}

void CalculationBlock::removeOutgoingLink(const LinkPtr& link)
{
    if (link && link->sourceBlock().get() == this)
        Relations::setSource(*link, nullptr);
}

void CalculationBlock::setIncomingLinks(const LinkList& links) { Relations::setIncoming(*this, links); }

void CalculationBlock::appendIncomingLink(const LinkPtr& link)
{
    if (link && link->destinationBlock().get() != this)
        Relations::setDestination(*link, shared_from_this());
}

void CalculationBlock::removeIncomingLink(const LinkPtr& link)
{
    if (link && link->destinationBlock().get() == this)
        Relations::setDestination(*link, nullptr);
}

QString CalculationBlock::tokenKey(int index)
{
    return QLatin1Char('n') + QString::number(index);
}

namespace {
std::optional<QString> lookupPart(const PartMap& map, int index, const QString& value)
{
    auto it = map.constFind(CalculationBlock::tokenKey(index));
    if (it != map.constEnd())
        return *it;
    it = map.constFind(value);
    if (it != map.constEnd())
        return *it;
    return std::nullopt;
}
}

std::optional<QString> CalculationBlock::getPartLabel(int index, const QString& value) const
{
    return lookupPart(m_partLabels, index, value);
}

std::optional<QString> CalculationBlock::getPartColor(int index, const QString& value) const
{
    if (const auto color = lookupPart(m_partColors, index, value))
        return color;
    // A German or US amount with grouping was drawn as text before it was
    // read as a number; the colour the user gave that text stays on it.
    const auto text = m_partColors.constFind(QStringLiteral("text:") + value);
    return text != m_partColors.constEnd() ? std::optional<QString>(*text) : std::nullopt;
}

// Two writes each, as observers expect: drop the older value-keyed entry,
// then set or drop the index-keyed one.
void CalculationBlock::setPartLabel(const std::optional<QString>& label, int index, const QString& value)
{
    PartMap map = m_partLabels;
    map.remove(value);
    setPartLabels(map);
    map = m_partLabels;
    if (label && !label->isEmpty())
        map.insert(tokenKey(index), *label);
    else
        map.remove(tokenKey(index));
    setPartLabels(map);
}

void CalculationBlock::setPartColor(const std::optional<QString>& color, int index, const QString& value)
{
    PartMap map = m_partColors;
    map.remove(value);
    map.remove(QStringLiteral("text:") + value);
    setPartColors(map);
    map = m_partColors;
    if (color)
        map.insert(tokenKey(index), *color);
    else
        map.remove(tokenKey(index));
    setPartColors(map);
}
