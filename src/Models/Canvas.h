#pragma once

#include "Models/RecordPointers.h"

#include <QDateTime>
#include <QString>
#include <QUuid>
#include <optional>
#include <unordered_map>

// One canvas: a named list of rows and the links between them.
// Owned through CanvasPtr; rows and links belong to it (deleted with it).
class Canvas : public std::enable_shared_from_this<Canvas> {
public:
    static CanvasPtr create(const QString& name, double viewportOffsetX, double viewportOffsetY,
                            double viewportScale);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    QUuid id() const { return m_id; }
    void setId(const QUuid& id);
    QString name() const { return m_name; }
    void setName(const QString& name);
    QDateTime createdAt() const { return m_createdAt; }
    void setCreatedAt(const QDateTime& date);
    QDateTime modifiedAt() const { return m_modifiedAt; }
    void setModifiedAt(const QDateTime& date);
    std::optional<QString> titleColorHex() const { return m_titleColorHex; }
    void setTitleColorHex(const std::optional<QString>& hex);
    double viewportOffsetX() const { return m_viewportOffsetX; }
    void setViewportOffsetX(double value);
    double viewportOffsetY() const { return m_viewportOffsetY; }
    void setViewportOffsetY(double value);
    double viewportScale() const { return m_viewportScale; }
    void setViewportScale(double value);

    // Rows in stored order (not table order). Appending a row sets its canvas;
    // a row is in the list at most once. Removing a row clears its canvas but
    // does not delete it.
    const BlockList& blocks() const { return m_blocks; }
    void setBlocks(const BlockList& blocks);
    void appendBlock(const BlockPtr& block);
    void removeBlock(const BlockPtr& block);

    const LinkList& links() const { return m_links; }
    // Where the link stands in links(), or -1. The positions are worked out
    // once after each change of the list.
    qsizetype indexOfLink(const Link* link) const;
    void setLinks(const LinkList& links);
    void appendLink(const LinkPtr& link);
    void removeLink(const LinkPtr& link);

    // Marks the canvas as modified now.
    void touch();

    // Stored in a context (inserted or attached to a stored record).
    ModelContext* context() const { return m_context; }
    bool isDeleted() const { return m_deleted; }

private:
    Canvas() = default;
    friend class Relations;
    friend class ModelContext;
    friend class StoreReader;
    // appendedOnly: a list property grew by one member at its end.
    void changed(const char* property, bool valueChanged = true, bool appendedOnly = false);

    QUuid m_id;
    QString m_name;
    QDateTime m_createdAt;
    QDateTime m_modifiedAt;
    std::optional<QString> m_titleColorHex;
    double m_viewportOffsetX = 0;
    double m_viewportOffsetY = 0;
    double m_viewportScale = 1;
    BlockList m_blocks;
    LinkList m_links;
    mutable std::unordered_map<const Link*, qsizetype> m_linkPositions;
    mutable bool m_linkPositionsValid = false;

    ModelContext* m_context = nullptr;
    qint64 m_pk = 0;
    bool m_deleted = false;
};
