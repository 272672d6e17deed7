#pragma once

#include "Models/RecordPointers.h"

#include <QMetaType>
#include <QObject>
#include <QSet>
#include <QUuid>
#include <unordered_map>

// The live set of stored records. Records attached to it notify through its
// signals on every write; the writes of one event-loop turn are collected so
// that a store can save them as one transaction.
class ModelContext : public QObject {
    Q_OBJECT
public:
    explicit ModelContext(QObject* parent = nullptr);
    ~ModelContext() override;

    // Inserting a record also stores every record reachable from it.
    void insert(const CanvasPtr& canvas);
    void insert(const BlockPtr& block);
    void insert(const LinkPtr& link);

    // Deletion applies the delete rules: a canvas takes its rows and links
    // with it, a row the links it feeds; links into a row lose their
    // destination. Deleted records stay valid memory, marked deleted. Works
    // on stored and detached records alike (a stored one leaves its store).
    static void deleteRecord(const CanvasPtr& canvas);
    static void deleteRecord(const BlockPtr& block);
    static void deleteRecord(const LinkPtr& link);

    // All canvases in insertion order, and newest-modified first.
    QList<CanvasPtr> canvases() const;
    QList<CanvasPtr> canvasesByModifiedAt() const;
    CanvasPtr canvasWithId(const QUuid& id) const;
    int canvasCount() const { return int(m_canvases.size()); }
    int blockCount() const { return int(m_blocks.size()); }
    int linkCount() const { return int(m_links.size()); }

    // What changed since the last save.
    struct Changes {
        QList<CanvasPtr> canvases;
        QList<BlockPtr> blocks;
        QList<LinkPtr> links;
        QList<qint64> deletedCanvases;
        QList<qint64> deletedBlocks;
        QList<qint64> deletedLinks;
        bool isEmpty() const
        {
            return canvases.isEmpty() && blocks.isEmpty() && links.isEmpty() && deletedCanvases.isEmpty()
                && deletedBlocks.isEmpty() && deletedLinks.isEmpty();
        }
    };
    bool hasChanges() const;
    Changes pendingChanges() const;
    // Every stored record, as changes (for writing a whole new store).
    Changes allRecords() const;
    void clearChanges();

    // Persistent identity of a stored record (0 when not stored).
    static qint64 persistentId(const Canvas& canvas);
    static qint64 persistentId(const CalculationBlock& block);
    static qint64 persistentId(const Link& link);

Q_SIGNALS:
    // Immediately after each write of a stored property.
    void canvasChanged(Canvas* canvas, const char* property);
    void blockChanged(CalculationBlock* block, const char* property);
    void linkChanged(Link* link, const char* property);
    // Once per event-loop turn in which anything was written, inserted or deleted.
    void changed();
    // After changed(), when there are unsaved changes.
    void turnEnded();

private:
    friend class Relations;
    friend class Canvas;
    friend class CalculationBlock;
    friend class Link;
    friend class StoreReader;

    // appendedOnly: a list grew at its end, so no other member moved.
    void noteChanged(Canvas* canvas, const char* property, bool valueChanged, bool appendedOnly = false);
    void noteChanged(CalculationBlock* block, const char* property, bool valueChanged, bool appendedOnly = false);
    void noteChanged(Link* link, const char* property, bool valueChanged);
    void markDirty(CalculationBlock* block);
    void markDirty(Link* link);
    void scheduleTurnEnd();
    void endTurn();

    // Registration without notification (used when reading a store).
    void adopt(const CanvasPtr& canvas);
    void adopt(const BlockPtr& block);
    void adopt(const LinkPtr& link);
    void adoptReachable(const CanvasPtr& canvas, const BlockPtr& block, const LinkPtr& link);
    template <class Record>
    void adoptRecord(const std::shared_ptr<Record>& record,
                     std::unordered_map<Record*, std::shared_ptr<Record>>& registry, QSet<Record*>& dirty);
    template <class Record>
    void forgetRecord(Record* record, std::unordered_map<Record*, std::shared_ptr<Record>>& registry,
                      QSet<Record*>& dirty, QList<qint64>& deleted);
    void forget(Canvas* canvas);
    void forget(CalculationBlock* block);
    void forget(Link* link);

    std::unordered_map<Canvas*, CanvasPtr> m_canvases;
    std::unordered_map<CalculationBlock*, BlockPtr> m_blocks;
    std::unordered_map<Link*, LinkPtr> m_links;
    QSet<Canvas*> m_dirtyCanvases;
    QSet<CalculationBlock*> m_dirtyBlocks;
    QSet<Link*> m_dirtyLinks;
    // Owners whose list changed other than at its end: every member still
    // stored is part of the next save. Gathered when the changes are asked
    // for, so removing the members of a long list one by one stays linear.
    QSet<Canvas*> m_reorderedBlockLists;
    QSet<Canvas*> m_reorderedLinkLists;
    QSet<CalculationBlock*> m_reorderedOutgoing;
    QSet<CalculationBlock*> m_reorderedIncoming;
    QList<qint64> m_deletedCanvases;
    QList<qint64> m_deletedBlocks;
    QList<qint64> m_deletedLinks;
    qint64 m_nextPk = 1;
    bool m_turnScheduled = false;
};

Q_DECLARE_OPAQUE_POINTER(Canvas*)
Q_DECLARE_OPAQUE_POINTER(CalculationBlock*)
Q_DECLARE_OPAQUE_POINTER(Link*)
Q_DECLARE_METATYPE(Canvas*)
Q_DECLARE_METATYPE(CalculationBlock*)
Q_DECLARE_METATYPE(Link*)
