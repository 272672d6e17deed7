#include "Models/ModelContext.h"

#include "Models/Relations.h"

#include <QMetaObject>
#include <algorithm>

ModelContext::ModelContext(QObject* parent)
    : QObject(parent)
{
}

ModelContext::~ModelContext()
{
    // Records may outlive the context (a view or an undo step holding one):
    // they become detached rather than pointing at freed memory.
    for (auto& [raw, canvas] : m_canvases)
        canvas->m_context = nullptr;
    for (auto& [raw, block] : m_blocks)
        block->m_context = nullptr;
    for (auto& [raw, link] : m_links)
        link->m_context = nullptr;
}

void ModelContext::insert(const CanvasPtr& canvas) { adoptReachable(canvas, nullptr, nullptr); }
void ModelContext::insert(const BlockPtr& block) { adoptReachable(nullptr, block, nullptr); }
void ModelContext::insert(const LinkPtr& link) { adoptReachable(nullptr, nullptr, link); }

void ModelContext::adoptReachable(const CanvasPtr& canvas, const BlockPtr& block, const LinkPtr& link)
{
    // Everything reachable through relationships joins the store together.
    QList<CanvasPtr> canvases;
    QList<BlockPtr> blocks;
    QList<LinkPtr> links;
    if (canvas)
        canvases.append(canvas);
    if (block)
        blocks.append(block);
    if (link)
        links.append(link);
    while (!canvases.isEmpty() || !blocks.isEmpty() || !links.isEmpty()) {
        if (!canvases.isEmpty()) {
            const CanvasPtr c = canvases.takeLast();
            if (c->m_context == this)
                continue;
            adopt(c);
            blocks.append(c->m_blocks);
            links.append(c->m_links);
        } else if (!blocks.isEmpty()) {
            const BlockPtr b = blocks.takeLast();
            if (b->m_context == this)
                continue;
            adopt(b);
            if (CanvasPtr owner = b->m_canvas.lock())
                canvases.append(owner);
            links.append(b->m_outgoingLinks);
            links.append(b->m_incomingLinks);
        } else {
            const LinkPtr l = links.takeLast();
            if (l->m_context == this)
                continue;
            adopt(l);
            if (CanvasPtr owner = l->m_canvas.lock())
                canvases.append(owner);
            if (BlockPtr s = l->m_sourceBlock.lock())
                blocks.append(s);
            if (BlockPtr d = l->m_destinationBlock.lock())
                blocks.append(d);
        }
    }
}

template <class Record>
void ModelContext::adoptRecord(const std::shared_ptr<Record>& record,
                               std::unordered_map<Record*, std::shared_ptr<Record>>& registry, QSet<Record*>& dirty)
{
    record->m_context = this;
    record->m_deleted = false;
    if (record->m_pk == 0)
        record->m_pk = m_nextPk++;
    registry.emplace(record.get(), record);
    dirty.insert(record.get());
    scheduleTurnEnd();
}

template <class Record>
void ModelContext::forgetRecord(Record* record, std::unordered_map<Record*, std::shared_ptr<Record>>& registry,
                                QSet<Record*>& dirty, QList<qint64>& deleted)
{
    if (record->m_context != this)
        return;
    dirty.remove(record);
    deleted.append(record->m_pk);
    record->m_context = nullptr;
    record->m_pk = 0;
    registry.erase(record);
    scheduleTurnEnd();
}

void ModelContext::adopt(const CanvasPtr& canvas) { adoptRecord(canvas, m_canvases, m_dirtyCanvases); }
void ModelContext::adopt(const BlockPtr& block) { adoptRecord(block, m_blocks, m_dirtyBlocks); }
void ModelContext::adopt(const LinkPtr& link) { adoptRecord(link, m_links, m_dirtyLinks); }

void ModelContext::forget(Canvas* canvas)
{
    if (canvas->m_context != this)
        return;
    // Members still in a reordered list keep their place in the next save.
    if (m_reorderedBlockLists.remove(canvas))
        for (const BlockPtr& block : canvas->m_blocks)
            markDirty(block.get());
    if (m_reorderedLinkLists.remove(canvas))
        for (const LinkPtr& link : canvas->m_links)
            markDirty(link.get());
    forgetRecord(canvas, m_canvases, m_dirtyCanvases, m_deletedCanvases);
}

void ModelContext::forget(CalculationBlock* block)
{
    if (block->m_context != this)
        return;
    if (m_reorderedOutgoing.remove(block))
        for (const LinkPtr& link : block->m_outgoingLinks)
            markDirty(link.get());
    if (m_reorderedIncoming.remove(block))
        for (const LinkPtr& link : block->m_incomingLinks)
            markDirty(link.get());
    forgetRecord(block, m_blocks, m_dirtyBlocks, m_deletedBlocks);
}

void ModelContext::forget(Link* link) { forgetRecord(link, m_links, m_dirtyLinks, m_deletedLinks); }

void ModelContext::deleteRecord(const LinkPtr& link)
{
    if (!link || link->m_deleted)
        return;
    const LinkPtr keep = link; // the lists below may hold the last other reference
    Relations::setSource(*keep, nullptr);
    Relations::setDestination(*keep, nullptr);
    Relations::setCanvas(*keep, nullptr);
    keep->m_deleted = true;
    if (ModelContext* context = keep->m_context)
        context->forget(keep.get());
}

void ModelContext::deleteRecord(const BlockPtr& block)
{
    if (!block || block->m_deleted)
        return;
    const BlockPtr keep = block;
    for (const LinkPtr& link : LinkList(keep->m_outgoingLinks))
        deleteRecord(link);
    for (const LinkPtr& link : LinkList(keep->m_incomingLinks))
        Relations::setDestination(*link, nullptr);
    Relations::setCanvas(*keep, nullptr);
    keep->m_deleted = true;
    if (ModelContext* context = keep->m_context)
        context->forget(keep.get());
}

void ModelContext::deleteRecord(const CanvasPtr& canvas)
{
    if (!canvas || canvas->m_deleted)
        return;
    const CanvasPtr keep = canvas;
    for (const BlockPtr& block : BlockList(keep->m_blocks))
        deleteRecord(block);
    for (const LinkPtr& link : LinkList(keep->m_links))
        deleteRecord(link);
    keep->m_deleted = true;
    if (ModelContext* context = keep->m_context)
        context->forget(keep.get());
}

QList<CanvasPtr> ModelContext::canvases() const
{
    QList<CanvasPtr> list;
    list.reserve(qsizetype(m_canvases.size()));
    for (const auto& [raw, canvas] : m_canvases)
        list.append(canvas);
    std::sort(list.begin(), list.end(), [](const CanvasPtr& a, const CanvasPtr& b) { return a->m_pk < b->m_pk; });
    return list;
}

QList<CanvasPtr> ModelContext::canvasesByModifiedAt() const
{
    QList<CanvasPtr> list = canvases();
    std::stable_sort(list.begin(), list.end(),
                     [](const CanvasPtr& a, const CanvasPtr& b) { return a->m_modifiedAt > b->m_modifiedAt; });
    return list;
}

CanvasPtr ModelContext::canvasWithId(const QUuid& id) const
{
    for (const CanvasPtr& canvas : canvases())
        if (canvas->m_id == id)
            return canvas;
    return nullptr;
}

bool ModelContext::hasChanges() const
{
    return !m_dirtyCanvases.isEmpty() || !m_dirtyBlocks.isEmpty() || !m_dirtyLinks.isEmpty()
        || !m_deletedCanvases.isEmpty() || !m_deletedBlocks.isEmpty() || !m_deletedLinks.isEmpty();
}

ModelContext::Changes ModelContext::pendingChanges() const
{
    // Every member still stored of a list that changed, with what changed itself.
    QSet<CalculationBlock*> blocks = m_dirtyBlocks;
    QSet<Link*> links = m_dirtyLinks;
    for (Canvas* canvas : m_reorderedBlockLists)
        for (const BlockPtr& block : canvas->m_blocks)
            if (block->m_context == this)
                blocks.insert(block.get());
    auto addLinks = [&](const LinkList& list) {
        for (const LinkPtr& link : list)
            if (link->m_context == this)
                links.insert(link.get());
    };
    for (Canvas* canvas : m_reorderedLinkLists)
        addLinks(canvas->m_links);
    for (CalculationBlock* block : m_reorderedOutgoing)
        addLinks(block->m_outgoingLinks);
    for (CalculationBlock* block : m_reorderedIncoming)
        addLinks(block->m_incomingLinks);

    Changes changes;
    for (Canvas* canvas : m_dirtyCanvases)
        changes.canvases.append(m_canvases.at(canvas));
    for (CalculationBlock* block : blocks)
        changes.blocks.append(m_blocks.at(block));
    for (Link* link : links)
        changes.links.append(m_links.at(link));
    changes.deletedCanvases = m_deletedCanvases;
    changes.deletedBlocks = m_deletedBlocks;
    changes.deletedLinks = m_deletedLinks;
    return changes;
}

ModelContext::Changes ModelContext::allRecords() const
{
    Changes changes;
    for (const auto& [canvas, record] : m_canvases)
        changes.canvases.append(record);
    for (const auto& [block, record] : m_blocks)
        changes.blocks.append(record);
    for (const auto& [link, record] : m_links)
        changes.links.append(record);
    return changes;
}

void ModelContext::clearChanges()
{
    m_dirtyCanvases.clear();
    m_dirtyBlocks.clear();
    m_dirtyLinks.clear();
    m_reorderedBlockLists.clear();
    m_reorderedLinkLists.clear();
    m_reorderedOutgoing.clear();
    m_reorderedIncoming.clear();
    m_deletedCanvases.clear();
    m_deletedBlocks.clear();
    m_deletedLinks.clear();
}

qint64 ModelContext::persistentId(const Canvas& canvas) { return canvas.m_pk; }
qint64 ModelContext::persistentId(const CalculationBlock& block) { return block.m_pk; }
qint64 ModelContext::persistentId(const Link& link) { return link.m_pk; }

void ModelContext::markDirty(CalculationBlock* block)
{
    if (block->m_context == this)
        m_dirtyBlocks.insert(block);
}

void ModelContext::markDirty(Link* link)
{
    if (link->m_context == this)
        m_dirtyLinks.insert(link);
}

// A list's order is stored with its members, so a change of the list makes
// every member part of the next save. A member appended at the end moves no
// other member: it is saved itself, as its owner changed.
void ModelContext::noteChanged(Canvas* canvas, const char* property, bool valueChanged, bool appendedOnly)
{
    if (valueChanged) {
        m_dirtyCanvases.insert(canvas);
        if (appendedOnly)
            ; // nothing else moved
        else if (qstrcmp(property, "blocks") == 0)
            m_reorderedBlockLists.insert(canvas);
        else if (qstrcmp(property, "links") == 0)
            m_reorderedLinkLists.insert(canvas);
    }
    scheduleTurnEnd();
    Q_EMIT canvasChanged(canvas, property);
}

void ModelContext::noteChanged(CalculationBlock* block, const char* property, bool valueChanged, bool appendedOnly)
{
    if (valueChanged) {
        m_dirtyBlocks.insert(block);
        if (appendedOnly)
            ; // nothing else moved
        else if (qstrcmp(property, "outgoingLinks") == 0)
            m_reorderedOutgoing.insert(block);
        else if (qstrcmp(property, "incomingLinks") == 0)
            m_reorderedIncoming.insert(block);
    }
    scheduleTurnEnd();
    Q_EMIT blockChanged(block, property);
}

void ModelContext::noteChanged(Link* link, const char* property, bool valueChanged)
{
    if (valueChanged)
        m_dirtyLinks.insert(link);
    scheduleTurnEnd();
    Q_EMIT linkChanged(link, property);
}

void ModelContext::scheduleTurnEnd()
{
    if (m_turnScheduled)
        return;
    m_turnScheduled = true;
    QMetaObject::invokeMethod(this, &ModelContext::endTurn, Qt::QueuedConnection);
}

void ModelContext::endTurn()
{
    m_turnScheduled = false;
    Q_EMIT changed();
    if (hasChanges())
        Q_EMIT turnEnded();
}
