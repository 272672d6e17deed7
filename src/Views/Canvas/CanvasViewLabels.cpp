// Number labels and colours: the small label above a number of an
// expression, edited inline, and the number's menu. Decoration only: nothing
// here evaluates a row.

#include "Views/Canvas/CanvasView.h"
#include "Engine/ExpressionParts.h"
#include "Engine/ExpressionText.h"
#include "Views/Canvas/CanvasViewWidgets.h"

#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"

#include <QFontMetricsF>
#include <QIcon>
#include <QKeyEvent>
#include <QMenu>
#include <QStyle>
#include <QTimer>

namespace {


void touchOwner(const BlockPtr& block)
{
    if (const CanvasPtr owner = block->canvas())
        owner->touch();
}

// Labels and colours by the number as shown: a row labelled under the
// older count keeps each on the number it was given (ExpressionParts).
std::optional<QString> numberLabel(const CalculationBlock& block, int index, const QString& value)
{
    return block.getPartLabel(ExpressionParts::storedNumberIndex(block, index, CalcSettings::shared().decimalStyle()),
                              value);
}
std::optional<QString> numberColor(const CalculationBlock& block, int index, const QString& value)
{
    return block.getPartColor(ExpressionParts::storedNumberIndex(block, index, CalcSettings::shared().decimalStyle()),
                              value);
}
void setNumberLabel(CalculationBlock& block, const std::optional<QString>& label, int index, const QString& value)
{
    ExpressionParts::adoptShownNumbering(block, CalcSettings::shared().decimalStyle());
    block.setPartLabel(label, index, value);
    ExpressionParts::dropIdleNumbering(block);
}
void setNumberColor(CalculationBlock& block, const std::optional<QString>& color, int index, const QString& value)
{
    ExpressionParts::adoptShownNumbering(block, CalcSettings::shared().decimalStyle());
    block.setPartColor(color, index, value);
    ExpressionParts::dropIdleNumbering(block);
}

} // namespace

QWidget* CanvasView::numberLabelEditor() const
{
    return m_numberLabelField;
}

void CanvasView::startEditingNumberLabel(const QString& value, int index, const BlockPtr& block)
{
    // Replaces an edit open on another number; its text is dropped.
    m_editingLabelForValue = value;
    m_editingLabelIndex = index;
    m_editingLabelBlockID = block->id();
    m_editingLabelText = numberLabel(*block, index, value).value_or(QString());
    m_isEditingPartLabel = true;
    if (m_numberLabelField)
        m_numberLabelField->hide(); // placed afresh, with the new text
    placeNumberLabelField();
    QTimer::singleShot(100, this, [this] {
        m_isLabelFieldFocused = true;
        if (m_numberLabelField && m_numberLabelField->isVisible())
            m_numberLabelField->setFocus(Qt::OtherFocusReason);
    });
    m_table->update();
}

void CanvasView::finishEditingNumberLabel(const QString& value, int index, const BlockPtr& block)
{
    const QString label = ExpressionText::trimmedSpacesAndTabs(m_editingLabelText);
    setNumberLabel(*block, label.isEmpty() ? std::nullopt : std::optional<QString>(label), index, value);
    // Also when nothing changed: the user confirmed an edit.
    touchOwner(block);
    cancelEditingNumberLabel();
}

void CanvasView::clearNumberLabelEditState()
{
    m_editingLabelForValue.reset();
    m_editingLabelIndex.reset();
    m_editingLabelBlockID.reset();
    m_editingLabelText.clear();
    m_isEditingPartLabel = false;
}

void CanvasView::cancelEditingNumberLabel()
{
    clearNumberLabelEditState();
    const bool hadFocus = m_numberLabelField && m_numberLabelField->hasFocus();
    placeNumberLabelField();
    if (hadFocus)
        setFocus(Qt::OtherFocusReason); // keys go back to the canvas
    refresh();
}

void CanvasView::setEditingLabelText(const QString& text)
{
    m_editingLabelText = text;
    if (m_numberLabelField && m_numberLabelField->text() != text)
        m_numberLabelField->setText(text);
    placeNumberLabelField();
}

void CanvasView::placeNumberLabelField()
{
    if (!m_isEditingPartLabel) {
        if (m_numberLabelField)
            m_numberLabelField->hide();
        return;
    }
    if (!m_numberLabelField) {
        m_numberLabelField = new RowTextField(m_table);
        m_numberLabelField->hide();
        m_numberLabelField->setAlignment(Qt::AlignCenter);
        QFont labelFont = font();
        labelFont.setPixelSize(11);
        labelFont.setWeight(QFont::Medium);
        m_numberLabelField->setFont(labelFont);
        m_numberLabelField->setTextMargins(0, 0, 0, 0);
        m_numberLabelField->setContentsMargins(0, 0, 0, 0);
        // Grows with its text.
        connect(m_numberLabelField, &QLineEdit::textEdited, this, &CanvasView::setEditingLabelText);
        m_numberLabelField->onKey = [this](QKeyEvent* event) {
            switch (event->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
                if (const BlockPtr block = blockWithId(m_editingLabelBlockID))
                    finishEditingNumberLabel(m_editingLabelForValue.value_or(QString()),
                                             m_editingLabelIndex.value_or(0), block);
                else
                    cancelEditingNumberLabel();
                return true;
            case Qt::Key_Escape:
                cancelEditingNumberLabel();
                return true;
            default:
                return false;
            }
        };
        m_numberLabelField->onFocusOut = [this](Qt::FocusReason reason) {
            if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason)
                m_isLabelFieldFocused = false;
        };
    }

    // Shown only where the number is drawn: not while the row's expression
    // is being typed in, nor once the number is gone.
    const BlockPtr block = blockWithId(m_editingLabelBlockID);
    if (!block) {
        // The row is gone, and its label edit with it: the canvas takes keys again.
        clearNumberLabelEditState();
        m_numberLabelField->hide();
        return;
    }
    const int index = indexOfBlock(block->id());
    std::optional<PartBox> number;
    const bool typing = m_expressionField->isVisible() && m_focusedBlockID == m_editingLabelBlockID;
    if (index >= 0 && !typing) {
        for (const PartBox& box : layoutExpression(block, expressionRect(index), true)) {
            if (box.part.part.kind == TableExpressionPart::Kind::number && box.part.numberIndex == m_editingLabelIndex
                && box.part.part.text == m_editingLabelForValue) {
                number = box;
                break;
            }
        }
    }
    if (!number) {
        if (!typing) {
            // The number was edited away: nothing could finish this edit, and
            // the canvas would ignore every key while it stays open.
            clearNumberLabelEditState();
        }
        m_numberLabelField->hide();
        return;
    }

    const QFontMetricsF metrics(m_numberLabelField->font());
    // As wide as the label, but no wider than the table: the field scrolls.
    const double widest = std::max(40.0, double(m_table->width()));
    const double width = std::clamp(TextFit(metrics).boundedAdvance(m_editingLabelText, widest) + 12, 40.0, widest);
    const double height = metrics.height() + 2;
    const double left = std::max(expressionRect(index).left(), number->box.center().x() - width / 2);
    m_numberLabelField->setGeometry(QRectF(left, number->box.top() - 16, width, height).toAlignedRect());
    QPalette colors = m_numberLabelField->palette();
    QColor text = number->color;
    text.setAlphaF(0.9);
    colors.setColor(QPalette::Text, text);
    colors.setColor(QPalette::Base, Qt::transparent);
    m_numberLabelField->setPalette(colors);
    const bool newlyShown = m_numberLabelField->isHidden();
    if (newlyShown || !m_numberLabelField->hasFocus())
        m_numberLabelField->setText(m_editingLabelText);
    m_numberLabelField->show();
    m_numberLabelField->raise();
    if (newlyShown && isVisible()) {
        m_isLabelFieldFocused = true;
        m_numberLabelField->setFocus(Qt::OtherFocusReason);
    }
}

QMenu* CanvasView::createNumberPartMenu(const BlockPtr& block, const QString& value, int index, QWidget* parent)
{
    auto* menu = new QMenu(parent);
    const bool hasLabel = !numberLabel(*block, index, value).value_or(QString()).isEmpty();
    QAction* edit = menu->addAction(QIcon::fromTheme(QStringLiteral("tag")),
                                    hasLabel ? QStringLiteral("Edit Label") : QStringLiteral("Add Label"));
    connect(edit, &QAction::triggered, this,
            [this, block, value, index] { startEditingNumberLabel(value, index, block); });
    if (hasLabel) {
        QAction* remove = menu->addAction(style()->standardIcon(QStyle::SP_TrashIcon), QStringLiteral("Remove Label"));
        connect(remove, &QAction::triggered, this, [this, block, value, index] {
            setNumberLabel(*block, std::nullopt, index, value);
            touchOwner(block);
            refresh();
        });
    }
    menu->addSeparator();
    QMenu* colors = menu->addMenu(QStringLiteral("Color"));
    for (const QString& hex : blockColors()) {
        QAction* item = colors->addAction(circleIcon(hex), colorName(hex));
        connect(item, &QAction::triggered, this, [this, block, value, index, hex] {
            setNumberColor(*block, hex, index, value);
            touchOwner(block);
            refresh();
        });
    }
    // Also for a colour text that does not read: it is stored, so it can go.
    if (numberColor(*block, index, value)) {
        colors->addSeparator();
        QAction* reset = colors->addAction(QStringLiteral("Reset to Default"));
        connect(reset, &QAction::triggered, this, [this, block, value, index] {
            setNumberColor(*block, std::nullopt, index, value);
            touchOwner(block);
            refresh();
        });
    }
    return menu;
}
