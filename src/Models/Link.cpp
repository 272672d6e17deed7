#include "Models/Link.h"

#include "Models/Identifiers.h"
#include "Models/RecordSetter.h"
#include "Models/Relations.h"

LinkPtr Link::create(const BlockPtr& sourceBlock, const BlockPtr& destinationBlock, const QString& placeholderName,
                     const QString& colorHex)
{
    LinkPtr link(new Link);
    link->m_id = newIdentifier();
    link->m_placeholderName = placeholderName;
    link->m_colorHex = colorHex;
    Relations::setSource(*link, sourceBlock);
    Relations::setDestination(*link, destinationBlock);
    return link;
}

Link::~Link() = default;

void Link::changed(const char* property, bool valueChanged)
{
    if (m_context)
        m_context->noteChanged(this, property, valueChanged);
}

void Link::setId(const QUuid& id) { QS_SETTER(id, m_id, "id"); }
void Link::setSourceBlock(const BlockPtr& block) { Relations::setSource(*this, block); }
void Link::setDestinationBlock(const BlockPtr& block) { Relations::setDestination(*this, block); }
void Link::setPlaceholderName(const QString& name) { QS_SETTER(name, m_placeholderName, "placeholderName"); }
void Link::setCanvas(const CanvasPtr& canvas) { Relations::setCanvas(*this, canvas); }
void Link::setColorHex(const QString& hex) { QS_SETTER(hex, m_colorHex, "colorHex"); }

std::optional<double> Link::sourceValue() const
{
    const BlockPtr source = m_sourceBlock.lock();
    return source ? source->result() : std::nullopt;
}
