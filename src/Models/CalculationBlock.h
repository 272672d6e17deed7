#pragma once

#include "Models/BlockType.h"
#include "Models/RecordPointers.h"

#include <QMap>
#include <QPointF>
#include <QString>
#include <QUuid>
#include <optional>

using PartMap = QMap<QString, QString>;

// One row of a canvas: label, expression, last result, box and colour.
class CalculationBlock : public std::enable_shared_from_this<CalculationBlock> {
public:
    static BlockPtr create(BlockType blockType, const QString& expression, const QString& textContent,
                           const QString& label, double positionX, double positionY, double width,
                           double height, const QString& colorHex);
    ~CalculationBlock();
    CalculationBlock(const CalculationBlock&) = delete;
    CalculationBlock& operator=(const CalculationBlock&) = delete;

    QUuid id() const { return m_id; }
    void setId(const QUuid& id);
    BlockType blockType() const { return m_blockType; }
    void setBlockType(BlockType type);
    QString label() const { return m_label; }
    void setLabel(const QString& label);
    QString textContent() const { return m_textContent; }
    void setTextContent(const QString& text);
    const PartMap& partLabels() const { return m_partLabels; }
    void setPartLabels(const PartMap& labels);
    const PartMap& partColors() const { return m_partColors; }
    void setPartColors(const PartMap& colors);
    QString expression() const { return m_expression; }
    void setExpression(const QString& expression);
    std::optional<double> result() const { return m_result; }
    void setResult(std::optional<double> result);
    bool hasError() const { return m_hasError; }
    void setHasError(bool hasError);
    std::optional<QString> errorMessage() const { return m_errorMessage; }
    void setErrorMessage(const std::optional<QString>& message);
    // Why the row failed and what could not be read, for its hover text.
    // Worked out anew with every evaluation: neither saved nor exported.
    QString errorDetail() const { return m_errorDetail; }
    void setErrorDetail(const QString& detail) { m_errorDetail = detail; }
    double positionX() const { return m_positionX; }
    void setPositionX(double x);
    double positionY() const { return m_positionY; }
    void setPositionY(double y);
    double width() const { return m_width; }
    void setWidth(double width);
    double height() const { return m_height; }
    void setHeight(double height);
    QString colorHex() const { return m_colorHex; }
    void setColorHex(const QString& hex);
    bool isSelected() const { return m_isSelected; }
    void setIsSelected(bool selected);
    bool isEditing() const { return m_isEditing; }
    void setIsEditing(bool editing);
    bool isLabelEditing() const { return m_isLabelEditing; }
    void setIsLabelEditing(bool editing);

    // The owning canvas; setting it moves the row into that canvas's blocks.
    CanvasPtr canvas() const { return m_canvas.lock(); }
    void setCanvas(const CanvasPtr& canvas);

    // Links this row feeds (it is their source) and links into it.
    const LinkList& outgoingLinks() const { return m_outgoingLinks; }
    void setOutgoingLinks(const LinkList& links);
    void appendOutgoingLink(const LinkPtr& link);
    void removeOutgoingLink(const LinkPtr& link);
    const LinkList& incomingLinks() const { return m_incomingLinks; }
    void setIncomingLinks(const LinkList& links);
    void appendIncomingLink(const LinkPtr& link);
    void removeIncomingLink(const LinkPtr& link);

    bool isTextBlock() const { return m_blockType == BlockType::text; }
    // Middle of the box's right edge: where a link drag starts.
    QPointF rightConnectionPoint() const { return {m_positionX + m_width, m_positionY + m_height * 0.5}; }

    // Labels and colours of the numbers of the expression, by number index.
    // Writes use the index key ("n3"); an entry under the number's own text
    // is an older form, read as a fallback and dropped by every write.
    static QString tokenKey(int index);
    std::optional<QString> getPartLabel(int index, const QString& value) const;
    void setPartLabel(const std::optional<QString>& label, int index, const QString& value);
    std::optional<QString> getPartColor(int index, const QString& value) const;
    void setPartColor(const std::optional<QString>& color, int index, const QString& value);

    ModelContext* context() const { return m_context; }
    bool isDeleted() const { return m_deleted; }

private:
    CalculationBlock() = default;
    friend class Relations;
    friend class ModelContext;
    friend class StoreReader;
    // appendedOnly: a list property grew by one member at its end.
    void changed(const char* property, bool valueChanged = true, bool appendedOnly = false);

    QUuid m_id;
    BlockType m_blockType = BlockType::calculation;
    QString m_label;
    QString m_textContent;
    PartMap m_partLabels;
    PartMap m_partColors;
    QString m_expression;
    std::optional<double> m_result;
    bool m_hasError = false;
    std::optional<QString> m_errorMessage;
    QString m_errorDetail;
    double m_positionX = 0;
    double m_positionY = 0;
    double m_width = 0;
    double m_height = 0;
    QString m_colorHex;
    bool m_isSelected = false;
    bool m_isEditing = false;
    bool m_isLabelEditing = false;
    std::weak_ptr<Canvas> m_canvas;
    LinkList m_outgoingLinks;
    LinkList m_incomingLinks;

    ModelContext* m_context = nullptr;
    qint64 m_pk = 0;
    bool m_deleted = false;
};
