#pragma once

#include "Models/RecordPointers.h"

#include <QString>
#include <QUuid>
#include <optional>

// Carries the result of sourceBlock into the placeholder placeholderName of
// destinationBlock's expression.
class Link : public std::enable_shared_from_this<Link> {
public:
    // Setting the two rows puts the link into their link lists at once.
    static LinkPtr create(const BlockPtr& sourceBlock, const BlockPtr& destinationBlock,
                          const QString& placeholderName, const QString& colorHex);
    ~Link();
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    QUuid id() const { return m_id; }
    void setId(const QUuid& id);
    BlockPtr sourceBlock() const { return m_sourceBlock.lock(); }
    void setSourceBlock(const BlockPtr& block);
    BlockPtr destinationBlock() const { return m_destinationBlock.lock(); }
    void setDestinationBlock(const BlockPtr& block);
    QString placeholderName() const { return m_placeholderName; }
    void setPlaceholderName(const QString& name);
    CanvasPtr canvas() const { return m_canvas.lock(); }
    void setCanvas(const CanvasPtr& canvas);
    QString colorHex() const { return m_colorHex; }
    void setColorHex(const QString& hex);

    // The source row's result; none without a source row or its result.
    std::optional<double> sourceValue() const;

    ModelContext* context() const { return m_context; }
    bool isDeleted() const { return m_deleted; }

private:
    Link() = default;
    friend class Relations;
    friend class ModelContext;
    friend class StoreReader;
    void changed(const char* property, bool valueChanged = true);

    QUuid m_id;
    std::weak_ptr<CalculationBlock> m_sourceBlock;
    std::weak_ptr<CalculationBlock> m_destinationBlock;
    QString m_placeholderName;
    std::weak_ptr<Canvas> m_canvas;
    QString m_colorHex;

    ModelContext* m_context = nullptr;
    qint64 m_pk = 0;
    bool m_deleted = false;
};
