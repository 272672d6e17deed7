#include "Models/Canvas.h"

#include "Models/Identifiers.h"
#include "Models/RecordSetter.h"
#include "Models/Relations.h"

CanvasPtr Canvas::create(const QString& name, double viewportOffsetX, double viewportOffsetY, double viewportScale)
{
    CanvasPtr canvas(new Canvas);
    canvas->m_id = newIdentifier();
    canvas->m_name = name;
    canvas->m_createdAt = Clock::now();
    canvas->m_modifiedAt = Clock::now();
    canvas->m_viewportOffsetX = viewportOffsetX;
    canvas->m_viewportOffsetY = viewportOffsetY;
    canvas->m_viewportScale = viewportScale;
    return canvas;
}

Canvas::~Canvas() = default;

void Canvas::changed(const char* property, bool valueChanged, bool appendedOnly)
{
    if (qstrcmp(property, "links") == 0)
        m_linkPositionsValid = false;
    if (m_context)
        m_context->noteChanged(this, property, valueChanged, appendedOnly);
}


void Canvas::setId(const QUuid& id) { QS_SETTER(id, m_id, "id"); }
void Canvas::setName(const QString& name) { QS_SETTER(name, m_name, "name"); }
void Canvas::setCreatedAt(const QDateTime& date) { QS_SETTER(date, m_createdAt, "createdAt"); }
void Canvas::setModifiedAt(const QDateTime& date) { QS_SETTER(date, m_modifiedAt, "modifiedAt"); }
void Canvas::setTitleColorHex(const std::optional<QString>& hex) { QS_SETTER(hex, m_titleColorHex, "titleColorHex"); }
void Canvas::setViewportOffsetX(double value) { QS_SETTER(value, m_viewportOffsetX, "viewportOffsetX"); }
void Canvas::setViewportOffsetY(double value) { QS_SETTER(value, m_viewportOffsetY, "viewportOffsetY"); }
void Canvas::setViewportScale(double value) { QS_SETTER(value, m_viewportScale, "viewportScale"); }

void Canvas::setBlocks(const BlockList& blocks) { Relations::setBlocks(*this, blocks); }

void Canvas::appendBlock(const BlockPtr& block)
{
    if (block && block->canvas().get() != this)
        Relations::setCanvas(*block, shared_from_this());
}

void Canvas::removeBlock(const BlockPtr& block)
{
    if (block && block->canvas().get() == this)
        Relations::setCanvas(*block, nullptr);
}

void Canvas::setLinks(const LinkList& links) { Relations::setLinks(*this, links); }

void Canvas::appendLink(const LinkPtr& link)
{
    if (link && link->canvas().get() != this)
        Relations::setCanvas(*link, shared_from_this());
}

void Canvas::removeLink(const LinkPtr& link)
{
    if (link && link->canvas().get() == this)
        Relations::setCanvas(*link, nullptr);
}

qsizetype Canvas::indexOfLink(const Link* link) const
{
    if (!m_linkPositionsValid) {
        m_linkPositions.clear();
        m_linkPositions.reserve(size_t(m_links.size()));
        for (qsizetype i = 0; i < m_links.size(); ++i)
            m_linkPositions.emplace(m_links[i].get(), i);
        m_linkPositionsValid = true;
    }
    const auto found = m_linkPositions.find(link);
    return found == m_linkPositions.end() ? -1 : found->second;
}

void Canvas::touch()
{
    setModifiedAt(Clock::now());
}
