#include "Models/Relations.h"

#include "Models/ModelRevision.h"

#include <type_traits>
#include <unordered_set>

// One to-many relationship: Owner holds a list of Member, each Member a weak
// back pointer. All four relationships of the model share this code.
template <class Owner, class Member, QList<std::shared_ptr<Member>> Owner::*List,
          std::weak_ptr<Owner> Member::*Back>
struct Relations::ToMany {
    static void setOwner(Member& member, const std::shared_ptr<Owner>& owner, const char* listName,
                         const char* backName)
    {
        // The back pointer and the list change together, so the back pointer
        // tells whether the list holds the member: no scan of the list.
        const std::shared_ptr<Owner> old = (member.*Back).lock();
        if (old == owner)
            return;
        ModelRevision::relationshipChanged();
        const std::shared_ptr<Member> self = member.shared_from_this();
        if (old) {
            ((*old).*List).removeOne(self);
            old->changed(listName);
        }
        member.*Back = owner;
        if (owner) {
            Relations::shareContext(owner->context(), member.context(), pick<Canvas>(owner, self),
                                    pick<CalculationBlock>(owner, self), pick<Link>(owner, self));
            ((*owner).*List).append(self);
            owner->changed(listName, true, true);
        }
        member.changed(backName);
    }

    static void setList(Owner& owner, const QList<std::shared_ptr<Member>>& wanted, const char* listName,
                        const char* backName)
    {
        QList<std::shared_ptr<Member>> list;
        list.reserve(wanted.size());
        std::unordered_set<const Member*> kept;
        kept.reserve(size_t(wanted.size()));
        for (const auto& m : wanted)
            if (m && kept.insert(m.get()).second)
                list.append(m);
        const QList<std::shared_ptr<Member>> old = owner.*List;
        if (old == list) {
            owner.changed(listName, false);
            return;
        }
        ModelRevision::relationshipChanged();
        const std::shared_ptr<Owner> self = owner.shared_from_this();
        for (const auto& m : old) {
            if (!kept.count(m.get())) {
                (*m).*Back = std::weak_ptr<Owner>();
                m->changed(backName);
            }
        }
        owner.*List = list;
        for (const auto& m : list) {
            const std::shared_ptr<Owner> previous = ((*m).*Back).lock();
            if (previous == self)
                continue;
            if (previous) {
                ((*previous).*List).removeOne(m);
                previous->changed(listName);
            }
            (*m).*Back = self;
            Relations::shareContext(owner.context(), m->context(), pick<Canvas>(self, m),
                                    pick<CalculationBlock>(self, m), pick<Link>(self, m));
            m->changed(backName);
        }
        owner.changed(listName);
    }

    // Hands the record of type T among the two ends to shareContext.
    template <class T>
    static std::shared_ptr<T> pick(const std::shared_ptr<Owner>& owner, const std::shared_ptr<Member>& member)
    {
        if constexpr (std::is_same_v<T, Owner>)
            return owner;
        else if constexpr (std::is_same_v<T, Member>)
            return member;
        else
            return nullptr;
    }
};

void Relations::setCanvas(CalculationBlock& block, const CanvasPtr& canvas)
{
    CanvasBlocks::setOwner(block, canvas, "blocks", "canvas");
}

void Relations::setCanvas(Link& link, const CanvasPtr& canvas)
{
    CanvasLinks::setOwner(link, canvas, "links", "canvas");
}

void Relations::setSource(Link& link, const BlockPtr& block)
{
    Outgoing::setOwner(link, block, "outgoingLinks", "sourceBlock");
}

void Relations::setDestination(Link& link, const BlockPtr& block)
{
    Incoming::setOwner(link, block, "incomingLinks", "destinationBlock");
}

void Relations::setBlocks(Canvas& canvas, const BlockList& blocks)
{
    CanvasBlocks::setList(canvas, blocks, "blocks", "canvas");
}

void Relations::setLinks(Canvas& canvas, const LinkList& links)
{
    CanvasLinks::setList(canvas, links, "links", "canvas");
}

void Relations::setOutgoing(CalculationBlock& block, const LinkList& links)
{
    Outgoing::setList(block, links, "outgoingLinks", "sourceBlock");
}

void Relations::setIncoming(CalculationBlock& block, const LinkList& links)
{
    Incoming::setList(block, links, "incomingLinks", "destinationBlock");
}

void Relations::shareContext(ModelContext* a, ModelContext* b, const CanvasPtr& canvas, const BlockPtr& block,
                             const LinkPtr& link)
{
    // Attaching a detached record to a stored one stores it (and what hangs off it).
    if (a == b)
        return;
    ModelContext* target = a ? a : b;
    if (!target || (a && b))
        return; // both detached, or two different stores: nothing to share
    target->adoptReachable(canvas, block, link);
}
