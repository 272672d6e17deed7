// Key presses that reach the canvas rather than a field, and the small
// editing actions they (and the keypad) use on the selected row.

#include "Views/Canvas/CanvasKey.h"
#include "Views/Canvas/CanvasRowSteps.h"
#include "Views/Canvas/CanvasView.h"
#include "Views/Canvas/CanvasViewWidgets.h"

#include "Models/CalcSettings.h"
#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"

#include <QKeyEvent>
#include <QTextBoundaryFinder>
#include <QUndoStack>

bool CanvasView::handleKeyPress(QKeyEvent* event)
{
    return handleKeyPress(CanvasKey::from(*event));
}

// True while no field, title or inline label editor owns the keyboard, so
// that the canvas's commands (and its Ctrl chords) apply.
bool CanvasView::canvasTakesKeys() const
{
    return !(m_isEditingCanvasTitle || m_focusedBlockID || m_isEditingPartLabel || m_isEditingNumber);
}

// Ctrl+Z/C/V/X on the canvas are the editor's. Claiming them keeps any
// window shortcut on the same keys from firing as well; a focused field
// claims them itself for its own text undo and clipboard.
bool CanvasView::claimsShortcut(QKeyEvent* event) const
{
    const CanvasKey key = CanvasKey::from(*event);
    if (!key.command)
        return false;
    const QString letter = key.characters.toLower();
    const bool chord = letter == QLatin1String("z") || letter == QLatin1String("c") || letter == QLatin1String("v")
        || letter == QLatin1String("x");
    return chord && canvasTakesKeys();
}

bool CanvasView::handleKeyPress(const CanvasKey& key)
{
    qCInfo(canvasLogger).noquote() << QStringLiteral("🔑 handleKeyPress: char='%1' focused=%2 editLabel=%3 editNum=%4")
                                          .arg(key.characters)
                                          .arg(int(isCanvasFocused()))
                                          .arg(int(m_isEditingPartLabel))
                                          .arg(int(m_isEditingNumber));
    qCInfo(canvasLogger).noquote() << QStringLiteral("   selectedBlockID=%1 multiCount=%2")
                                          .arg(m_selectedBlockID ? m_selectedBlockID->toString(QUuid::WithoutBraces)
                                                                 : QStringLiteral("nil"))
                                          .arg(m_selectedBlockIDs.size());

    if (m_isEditingCanvasTitle)
        return false;

    const BlockPtr selected = blockWithId(m_selectedBlockID);
    const auto handled = [this] {
        refresh();
        return true;
    };

    // An expression field has the keyboard: only Escape is the canvas's.
    if (m_focusedBlockID) {
        if (key.key == CanvasKey::Named::escape && selected) {
            selected->setIsEditing(false);
            setFocusedBlockID(std::nullopt);
            m_canvas->touch();
            return handled();
        }
        return false;
    }

    if (m_isEditingPartLabel || m_isEditingNumber) {
        qCCritical(canvasLogger).noquote() << QStringLiteral("   ⚠️ Returning .ignored - editing label/number active");
        return false;
    }

    // A text row being edited has no field of its own in this table: the
    // canvas is its editor, so its keys go on like any row's (ignoring them
    // would drop what the user types after Return or Tab). Escape ends it.
    if (selected && selected->isTextBlock() && selected->isEditing() && key.key == CanvasKey::Named::escape) {
        selected->setIsEditing(false);
        m_canvas->touch();
        return handled();
    }

    if (key.command) {
        const QString letter = key.characters.toLower();
        if (letter == QLatin1String("z")) {
            if (key.shift)
                redo();
            else
                undo();
            return handled();
        }
        if (letter == QLatin1String("c")) {
            copySelectedRows();
            return handled();
        }
        if (letter == QLatin1String("v")) {
            pasteRows();
            return handled();
        }
        if (letter == QLatin1String("x")) {
            copySelectedRows();
            deleteSelection();
            return handled();
        }
    }

    if (key.option) {
        if (key.key == CanvasKey::Named::upArrow) {
            moveRowsUp();
            return handled();
        }
        if (key.key == CanvasKey::Named::downArrow) {
            moveRowsDown();
            return handled();
        }
    }

    switch (key.key) {
    case CanvasKey::Named::returnKey:
        finishEditing();
        if (editorMode())
            addNewLine();
        else
            deselectAll();
        return handled();
    case CanvasKey::Named::escape:
        finishEditing();
        deselectAll();
        return handled();
    case CanvasKey::Named::tab: {
        finishEditing();
        if (!editorMode() && !(selected && selected->result())) {
            addNewBlock(); // a step of its own
            return handled();
        }
        const qsizetype before = m_canvas->blocks().size();
        if (editorMode())
            addBlockToCurrentLine();
        else
            createLinkedBlockBelow(selected);
        // Every row Tab adds is one step, whichever way it was placed.
        if (m_undoStack && m_canvas->blocks().size() > before)
            m_undoStack->push(
                CanvasRowSteps::addedRows(m_canvas, {m_canvas->blocks().last()->id()}, QStringLiteral("Add Block")));
        return handled();
    }
    default:
        break;
    }

    if (key.isBackspaceCharacters()) {
        if (m_focusedLabelBlockID)
            return false;
        if (key.command) {
            deleteSelection();
            return handled();
        }
        // While the label is being typed (the expression empty or still the
        // keyword's sum), Backspace takes from the label.
        if (selected && selected->isLabelEditing() && !selected->label().isEmpty()
            && (selected->expression().isEmpty() || holdsKeywordSum(selected))) {
            deleteFromSelectedLabel();
            return true;
        }
        if (selected && selected->isEditing() && !selected->expression().isEmpty()) {
            deleteFromSelectedBlock(); // redraws the row it changed
            return true;
        }
        return handled();
    }

    if (key.key == CanvasKey::Named::deleteKey) {
        if (m_focusedLabelBlockID || !key.command)
            return false;
        deleteSelectedBlock();
        return handled();
    }

    // A chord the canvas has no command for types nothing (Ctrl+D is not "d").
    if (key.isChord()) {
        qCCritical(canvasLogger).noquote() << QStringLiteral("   ❌ Key not handled: '%1'").arg(key.characters);
        return false;
    }

    if (!isPrintableText(key.characters)) {
        qCCritical(canvasLogger).noquote() << QStringLiteral("   ❌ Key not handled: '%1'").arg(key.characters);
        return false;
    }
    // A key may type several characters (a composed one, a text pasted by
    // an input tool): each goes where one typed alone would.
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, key.characters);
    qsizetype from = 0;
    while (finder.toNextBoundary() > 0) {
        typeOnCanvas(key.characters.mid(from, finder.position() - from));
        from = finder.position();
    }
    return true;
}

// What is typed goes where the row is: into the label while its expression
// is empty (until a character starts the expression), into the expression
// once that holds text, so that the row reads as the same keys typed into
// its two fields. Both redraw what they changed, bringing the row into view.
void CanvasView::typeOnCanvas(const QString& character)
{
    const BlockPtr selected = blockWithId(m_selectedBlockID);
    const auto typedIntoLabel = [this](const QString& text) {
        scrollToSelection();
        appendToSelectedLabel(text);
    };
    // The sum keyword typed as the label filled the expression: letters
    // typed after it go on into the label ("Summe Q1", "Summenausgleich",
    // which ends the sum); what starts an expression replaces the sum
    // ("Summe 100 + 50").
    if (selected && selected->isLabelEditing() && isSumKeyword(selected->label()) && holdsKeywordSum(selected)) {
        if (!startsCanvasExpression(selected->label(), character)) {
            typedIntoLabel(character);
            return;
        }
        takeKeywordSumAway(selected);
        typeOnCanvas(character);
        return;
    }

    if (!selected || selected->expression().isEmpty()) {
        const QString label = selected ? selected->label() : QString();
        if (!startsCanvasExpression(label, character)) {
            if (selected) {
                // A leading blank would only shift the label.
                if (character != QLatin1String(" ") || !label.isEmpty())
                    typedIntoLabel(character);
            } else if (character != QLatin1String(" ")) {
                // A letter starts a row as a digit does, in its label.
                createNewBlockWithInput(QString());
                typedIntoLabel(character);
            }
            return;
        }
        // Typed characters are stored as typed, as the field keeps them.
        QString text = character;
        if (selected) {
            // What the engine reads with the amount goes with it: a
            // function name ("sqrt(", "sqrt 16"), a currency ("CHF 50").
            qsizetype end = expressionStartInLabel(label, character);
            text.prepend(label.mid(end));
            // The blank that ended the label is not part of it.
            while (end > 0 && label.at(end - 1).isSpace())
                --end;
            if (end < label.size())
                selected->setLabel(label.left(end));
        }
        scrollToSelection();
        appendToSelectedBlock(text, false);
    } else {
        scrollToSelection();
        appendToSelectedBlock(character, false);
    }
    if (character == QLatin1String("#"))
        openPickerAfterTypedHash();
}

// Ctrl+X and Ctrl+Backspace: the multi-selection when there is one, else the
// selected row.
void CanvasView::deleteSelection()
{
    if (!m_selectedBlockIDs.isEmpty())
        deleteSelectedBlocks();
    else
        deleteSelectedBlock();
}

void CanvasView::appendToSelectedLabel(const QString& text)
{
    const BlockPtr selected = blockWithId(m_selectedBlockID);
    if (!selected)
        return;
    selected->setIsLabelEditing(true);
    const QString before = selected->label();
    selected->setLabel(before + text);
    labelTyped(selected, before);
    rowContentChanged(selected, true);
    applyRefresh();
}

void CanvasView::deleteFromSelectedLabel()
{
    const BlockPtr selected = blockWithId(m_selectedBlockID);
    if (!selected || selected->label().isEmpty())
        return;
    const QString before = selected->label();
    // One user-perceived character, as Backspace in the expression.
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, before);
    finder.toEnd();
    selected->setLabel(before.left(std::max<qsizetype>(0, finder.toPreviousBoundary())));
    labelTyped(selected, before);
    scrollToSelection();
    rowContentChanged(selected, true);
    applyRefresh();
}

void CanvasView::openPickerAfterTypedHash()
{
    const BlockPtr selected = blockWithId(m_selectedBlockID);
    // After a sum keyword "#" went into the label: nothing to pick for.
    if (!selected || !selected->expression().endsWith(QLatin1Char('#')))
        return;
    // The picker belongs to the field: keys then go to the list and on
    // into the expression.
    setFocusedBlockID(selected->id());
    m_expressionField->end(false);
    m_linkAutocompleteBlockID = selected->id();
    setShowLinkAutocomplete(true);
}

void CanvasView::scrollToSelection()
{
    if (m_selectedBlockID)
        m_scrollTarget = m_selectedBlockID;
}

void CanvasView::deselectAll()
{
    if (const BlockPtr selected = blockWithId(m_selectedBlockID)) {
        selected->setIsSelected(false);
        selected->setIsEditing(false);
        selected->setIsLabelEditing(false);
    }
    // The multi-selection too: left highlighted, Ctrl+Backspace would delete it.
    m_selectedBlockIDs.clear();
    setSelectedBlockID(std::nullopt);
}
