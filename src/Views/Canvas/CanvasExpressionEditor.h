#pragma once

// A single-line editor of one row's expression that shows each link token
// as the current value of the row it links to. Edits of the shown text are
// carried back onto the stored expression; a shown value is deleted whole.
//
// Offsets count UTF-16 code units, as QLineEdit does; a surrogate pair is
// never split by the edit mapping.

#include "Models/RecordPointers.h"

#include <QColor>
#include <QLineEdit>
#include <QList>
#include <QString>
#include <functional>
#include <optional>

class CanvasExpressionEditor : public QLineEdit {
    Q_OBJECT
public:
    CanvasExpressionEditor(const BlockPtr& block, const QColor& blockColor, std::function<void()> onSubmit,
                           std::function<void(const QString&)> onExpressionChange, QWidget* parent = nullptr);

    // Half-open range [lower, upper).
    struct TextRange {
        int lower = 0;
        int upper = 0;
        int length() const { return upper - lower; }
        bool operator==(const TextRange&) const = default;
    };

    // Keeps the shown text and the expression in step.
    class Coordinator {
    public:
        struct PlaceholderMapping {
            TextRange displayRange; // the shown value in the display text
            TextRange actualRange;  // the whole token, braces included, in the expression
            QString placeholder;
            bool operator==(const PlaceholderMapping&) const = default;
        };
        enum class TextDiffType { insertion, deletion, replacement };
        // What changed between two display texts: removedLength characters
        // at position of the old text replaced by insertedText.
        struct TextDiff {
            int position = 0;
            int removedLength = 0;
            QString insertedText;
            TextDiffType type = TextDiffType::insertion;
        };
        struct DisplayText {
            QString text;
            QList<PlaceholderMapping> mappings;
        };

        explicit Coordinator(CanvasExpressionEditor* parent);

        CanvasExpressionEditor* parent;
        bool isEditing = false;
        QList<PlaceholderMapping> placeholderMappings;
        QString displayText;
        QString actualExpression;

        // Reads the row's expression and shows it in the field.
        void updateDisplayText(QLineEdit* field);
        DisplayText buildDisplayText(const QString& expression) const;
        // A token's shown value: the linked row's result with its currency
        // mark, or "?" when there is none.
        QString getResolvedValue(const QString& name) const;
        // The expression after the display text changed from oldDisplayText
        // to newDisplayText; caret is where the caret stands after the edit
        // (it tells apart edits that would read alike, such as a digit typed
        // before a value that starts with that digit).
        QString convertDisplayToActual(const QString& newDisplayText, const QString& oldDisplayText,
                                       std::optional<int> caret = std::nullopt) const;
        int displayToActualPosition(int offset) const;
        // Common prefix and common suffix of the two texts; none when equal.
        static std::optional<TextDiff> findTextDifference(const QString& oldText, const QString& newText,
                                                          std::optional<int> caret = std::nullopt);
        // Backspace or Delete next to a shown value removes its token; false
        // when the field should delete as usual.
        bool handleAtomicDelete(QLineEdit* field, bool forward);
        void deletePlaceholder(const PlaceholderMapping& mapping);
        void updateTextView(QLineEdit* field, int cursorPos);
        // A typed change of the field's text.
        void textDidChange(QLineEdit* field);
    };

    // The mark of the currency the engine reads the text's value in.
    static std::optional<QString> detectCurrency(const QString& text);

    const BlockPtr& block() const { return m_block; }
    Coordinator& coordinator() { return m_coordinator; }
    QColor blockColor() const { return m_blockColor; }
    void setBlockColor(const QColor& color);
    // Shows the row afresh, unless the user is typing in the field.
    void refreshFromModel();

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void applyTextColor();

    BlockPtr m_block;
    QColor m_blockColor;
    std::function<void()> m_onSubmit;
    std::function<void(const QString&)> m_onExpressionChange;
    Coordinator m_coordinator;
};
