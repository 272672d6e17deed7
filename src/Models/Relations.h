#pragma once

// The only code that touches both sides of a relationship. Internal to the
// model: views and services go through the record setters.

#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/Link.h"
#include "Models/ModelContext.h"

class Relations {
public:
    // To-one writes; each keeps the list on the other side in step.
    static void setCanvas(CalculationBlock& block, const CanvasPtr& canvas);
    static void setCanvas(Link& link, const CanvasPtr& canvas);
    static void setSource(Link& link, const BlockPtr& block);
    static void setDestination(Link& link, const BlockPtr& block);

    // Whole-list writes: members that leave lose their to-one side, members
    // that arrive leave their former owner. Duplicates are dropped.
    static void setBlocks(Canvas& canvas, const BlockList& blocks);
    static void setLinks(Canvas& canvas, const LinkList& links);
    static void setOutgoing(CalculationBlock& block, const LinkList& links);
    static void setIncoming(CalculationBlock& block, const LinkList& links);

    // Brings a detached record into the context of the record it was attached to.
    static void shareContext(ModelContext* a, ModelContext* b, const CanvasPtr& canvas, const BlockPtr& block,
                             const LinkPtr& link);

private:
    template <class Owner, class Member, QList<std::shared_ptr<Member>> Owner::*List,
              std::weak_ptr<Owner> Member::*Back>
    struct ToMany;
    using CanvasBlocks = ToMany<Canvas, CalculationBlock, &Canvas::m_blocks, &CalculationBlock::m_canvas>;
    using CanvasLinks = ToMany<Canvas, Link, &Canvas::m_links, &Link::m_canvas>;
    using Outgoing = ToMany<CalculationBlock, Link, &CalculationBlock::m_outgoingLinks, &Link::m_sourceBlock>;
    using Incoming = ToMany<CalculationBlock, Link, &CalculationBlock::m_incomingLinks, &Link::m_destinationBlock>;
};
