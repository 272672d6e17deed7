#include "Views/Canvas/CanvasExpressionEditor.h"

#include "Engine/CalculatorEngine.h"
#include "Engine/EngineCatalogue.h"
#include "Engine/ExpressionText.h"
#include "Engine/LinkToken.h"
#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/Link.h"

#include <QFocusEvent>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QTimer>

#include <algorithm>
#include <limits>

namespace {


// The token's name: the inner text split once at ":", empty pieces dropped,
// first piece, spaces and tabs trimmed.
QString tokenName(const QString& inner)
{
    const qsizetype colon = inner.indexOf(QLatin1Char(':'));
    QStringList pieces = colon < 0 ? QStringList{inner} : QStringList{inner.left(colon), inner.mid(colon + 1)};
    pieces.removeAll(QString());
    return pieces.isEmpty() ? QString() : ExpressionText::trimmedSpacesAndTabs(pieces.first());
}

} // namespace

// ---- The widget ----

CanvasExpressionEditor::CanvasExpressionEditor(const BlockPtr& block, const QColor& blockColor,
                                               std::function<void()> onSubmit,
                                               std::function<void(const QString&)> onExpressionChange,
                                               QWidget* parent)
    : QLineEdit(parent)
    , m_block(block)
    , m_blockColor(blockColor)
    , m_onSubmit(std::move(onSubmit))
    , m_onExpressionChange(std::move(onExpressionChange))
    , m_coordinator(this)
{
    setFrame(false);
    // Not the default 32,767 characters: a longer expression is kept whole.
    setMaxLength(std::numeric_limits<int>::max());
    setAttribute(Qt::WA_MacShowFocusRect, false);
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(20);
    font.setWeight(QFont::Normal);
    setFont(font);
    setPlaceholderText(QString());
    applyTextColor();
    connect(this, &QLineEdit::textEdited, this, [this] { m_coordinator.textDidChange(this); });
    m_coordinator.updateDisplayText(this);
    // Once in a window, the field takes focus with the caret at the end.
    QTimer::singleShot(0, this, [this] {
        if (!window() || !window()->isVisible())
            return;
        setFocus(Qt::OtherFocusReason);
        selectAll();
        setCursorPosition(int(text().size()));
    });
}

void CanvasExpressionEditor::applyTextColor()
{
    QPalette colors = palette();
    colors.setColor(QPalette::Text, m_blockColor);
    colors.setColor(QPalette::Base, Qt::transparent);
    setPalette(colors);
}

void CanvasExpressionEditor::setBlockColor(const QColor& color)
{
    m_blockColor = color;
    applyTextColor();
}

void CanvasExpressionEditor::refreshFromModel()
{
    // What is being typed is never overwritten by a change of the model.
    if (!m_coordinator.isEditing)
        m_coordinator.updateDisplayText(this);
    applyTextColor();
}

void CanvasExpressionEditor::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    m_coordinator.isEditing = true;
}

void CanvasExpressionEditor::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    m_coordinator.isEditing = false;
}

void CanvasExpressionEditor::keyPressEvent(QKeyEvent* event)
{
    const bool plain = !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (m_onSubmit)
            m_onSubmit();
        event->accept();
        return;
    case Qt::Key_Backspace:
        if (plain && m_coordinator.handleAtomicDelete(this, false)) {
            event->accept();
            return;
        }
        break;
    case Qt::Key_Delete:
        if (plain && m_coordinator.handleAtomicDelete(this, true)) {
            event->accept();
            return;
        }
        break;
    default:
        break;
    }
    QLineEdit::keyPressEvent(event);
}

std::optional<QString> CanvasExpressionEditor::detectCurrency(const QString& text)
{
    const std::optional<QString> code = CalculatorEngine::resultCurrencyCode(text);
    if (!code)
        return std::nullopt;
    return EngineCatalogue::shownMark(*code).toString();
}

// ---- The coordinator ----

CanvasExpressionEditor::Coordinator::Coordinator(CanvasExpressionEditor* parent)
    : parent(parent)
{
}

void CanvasExpressionEditor::Coordinator::updateDisplayText(QLineEdit* field)
{
    actualExpression = parent->block()->expression();
    DisplayText built = buildDisplayText(actualExpression);
    displayText = built.text;
    placeholderMappings = built.mappings;
    field->setText(displayText);
}

CanvasExpressionEditor::Coordinator::DisplayText
CanvasExpressionEditor::Coordinator::buildDisplayText(const QString& expression) const
{
    DisplayText result;
    qsizetype i = 0;
    while (i < expression.size()) {
        if (expression[i] == QLatin1Char('{')) {
            const qsizetype close = expression.indexOf(QLatin1Char('}'), i + 1);
            if (close >= 0) {
                const QString name = tokenName(expression.mid(i + 1, close - i - 1));
                const QString value = getResolvedValue(name);
                const int start = int(result.text.size());
                result.text += value;
                result.mappings.append({{start, int(result.text.size())}, {int(i), int(close + 1)}, name});
                i = close + 1;
                continue;
            }
        }
        result.text += expression[i];
        ++i;
    }
    return result;
}

QString CanvasExpressionEditor::Coordinator::getResolvedValue(const QString& name) const
{
    const BlockPtr& block = parent->block();
    const LinkPtr found = LinkToken::linkFor(*block, name);
    const std::optional<double> value = found ? found->sourceValue() : std::nullopt;
    if (!value)
        return QStringLiteral("?");
    QString text = CalculatorEngine::formatResult(*value);
    if (const BlockPtr source = found->sourceBlock()) {
        if (const std::optional<QString> mark = detectCurrency(source->expression()))
            text += QChar(0x2009) + *mark;
    }
    return text;
}

std::optional<CanvasExpressionEditor::Coordinator::TextDiff>
CanvasExpressionEditor::Coordinator::findTextDifference(const QString& oldText, const QString& newText,
                                                        std::optional<int> caret)
{
    const int oldLength = int(oldText.size());
    const int newLength = int(newText.size());
    const int common = std::min(oldLength, newLength);
    int prefix = 0;
    while (prefix < common && oldText[prefix] == newText[prefix])
        ++prefix;
    int suffix = 0;
    while (suffix < common && oldText[oldLength - 1 - suffix] == newText[newLength - 1 - suffix])
        ++suffix;
    if (caret) {
        // The edited stretch of the new text ends at the caret.
        suffix = std::min(suffix, std::max(0, newLength - *caret));
        prefix = std::min(prefix, common - suffix);
    } else {
        suffix = std::min(suffix, common - prefix);
    }
    // Never cut a surrogate pair in two.
    if (prefix > 0 && oldText[prefix - 1].isHighSurrogate())
        --prefix;
    if (suffix > 0 && oldText[oldLength - suffix].isLowSurrogate())
        --suffix;
    const int removed = oldLength - prefix - suffix;
    const QString inserted = newText.mid(prefix, newLength - prefix - suffix);
    if (removed == 0 && inserted.isEmpty())
        return std::nullopt;
    TextDiff diff;
    diff.position = prefix;
    diff.removedLength = removed;
    diff.insertedText = inserted;
    diff.type = removed == 0 ? TextDiffType::insertion
        : inserted.isEmpty() ? TextDiffType::deletion
                             : TextDiffType::replacement;
    return diff;
}

int CanvasExpressionEditor::Coordinator::displayToActualPosition(int offset) const
{
    int result = offset;
    for (const PlaceholderMapping& mapping : placeholderMappings) {
        if (mapping.displayRange.upper <= offset)
            result += mapping.actualRange.length() - mapping.displayRange.length();
        else if (mapping.displayRange.lower < offset)
            result = mapping.actualRange.upper;
    }
    return result;
}

QString CanvasExpressionEditor::Coordinator::convertDisplayToActual(const QString& newDisplayText,
                                                                    const QString& oldDisplayText,
                                                                    std::optional<int> caret) const
{
    if (placeholderMappings.isEmpty())
        return newDisplayText;
    const std::optional<TextDiff> diff = findTextDifference(oldDisplayText, newDisplayText, caret);
    if (!diff)
        return actualExpression;
    const int start = diff->position;
    const int end = start + diff->removedLength;
    const int length = int(actualExpression.size());

    // Shown values the edit reaches into.
    QList<PlaceholderMapping> touched;
    int insideValues = 0;
    for (const PlaceholderMapping& mapping : placeholderMappings) {
        const TextRange& shown = mapping.displayRange;
        const bool reached = end > start ? (start < shown.upper && end > shown.lower)
                                         : (shown.lower < start && start < shown.upper);
        if (reached) {
            touched.append(mapping);
            insideValues += std::min(end, shown.upper) - std::max(start, shown.lower);
        }
    }
    if (touched.isEmpty()) {
        const int from = std::clamp(displayToActualPosition(start), 0, length);
        const int to = std::clamp(displayToActualPosition(end), from, length);
        return actualExpression.left(from) + diff->insertedText + actualExpression.mid(to);
    }
    // A changed value takes its whole token with it. The typed text is kept
    // only when the edit also covered characters outside the values (a
    // selection across a value and its neighbours).
    const int from = start >= touched.first().displayRange.lower ? touched.first().actualRange.lower
                                                                 : displayToActualPosition(start);
    const int to = end <= touched.last().displayRange.upper ? touched.last().actualRange.upper
                                                             : displayToActualPosition(end);
    const int clampedFrom = std::clamp(from, 0, length);
    const int clampedTo = std::clamp(to, clampedFrom, length);
    const bool outsideValues = (end - start) > insideValues;
    return actualExpression.left(clampedFrom) + (outsideValues ? diff->insertedText : QString())
        + actualExpression.mid(clampedTo);
}

void CanvasExpressionEditor::Coordinator::textDidChange(QLineEdit* field)
{
    const QString expression = convertDisplayToActual(field->text(), displayText, field->cursorPosition());
    const BlockPtr& block = parent->block();
    block->setExpression(expression);
    actualExpression = expression;
    if (parent->m_onExpressionChange)
        parent->m_onExpressionChange(expression);
    CalculatorEngine::shared().evaluateBlock(block);
    const DisplayText built = buildDisplayText(expression);
    displayText = built.text;
    placeholderMappings = built.mappings;
    if (field->text() != displayText) {
        const int caret = field->cursorPosition();
        field->setText(displayText);
        field->setCursorPosition(std::min(caret, int(displayText.size())));
    }
}

bool CanvasExpressionEditor::Coordinator::handleAtomicDelete(QLineEdit* field, bool forward)
{
    if (field->hasSelectedText())
        return false;
    const int caret = field->cursorPosition();
    for (const PlaceholderMapping& mapping : placeholderMappings) {
        const TextRange& shown = mapping.displayRange;
        const bool hit = forward ? shown.lower == caret : (shown.lower < caret && caret <= shown.upper);
        if (!hit)
            continue;
        const PlaceholderMapping removed = mapping; // the list is rebuilt below
        deletePlaceholder(removed);
        updateTextView(field, forward ? caret : removed.displayRange.lower);
        return true;
    }
    return false;
}

void CanvasExpressionEditor::Coordinator::deletePlaceholder(const PlaceholderMapping& mapping)
{
    // Only the token goes; its Link stays in the model.
    const int length = int(actualExpression.size());
    const int from = std::clamp(mapping.actualRange.lower, 0, length);
    const int to = std::clamp(mapping.actualRange.upper, from, length);
    actualExpression.remove(from, to - from);
    const BlockPtr& block = parent->block();
    block->setExpression(actualExpression);
    if (parent->m_onExpressionChange)
        parent->m_onExpressionChange(actualExpression);
    CalculatorEngine::shared().evaluateBlock(block);
}

void CanvasExpressionEditor::Coordinator::updateTextView(QLineEdit* field, int cursorPos)
{
    const DisplayText built = buildDisplayText(actualExpression);
    displayText = built.text;
    placeholderMappings = built.mappings;
    field->setText(displayText);
    field->setCursorPosition(std::min(cursorPos, int(displayText.size())));
}
