#pragma once

#include <QColor>
#include <QFont>
#include <QLineEdit>
#include <QWidget>
#include <functional>

// A line edit that starts editing with the first click and reports it.
class ClickableTextField : public QLineEdit {
    Q_OBJECT
public:
    explicit ClickableTextField(QWidget* parent = nullptr);

    // Called on every press of the left button in the field.
    std::function<void()> onActivate;
    // Called when the field loses focus other than to a popup.
    std::function<void()> onEditingEnded;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
};

// The canvas title in the editor's header: large bold type, no frame; cut
// with an ellipsis while not edited. Every keystroke reports the whole text.
class InlineTitleField : public QWidget {
    Q_OBJECT
public:
    explicit InlineTitleField(QWidget* parent = nullptr);
    ~InlineTitleField() override;

    QString text() const;
    // Ignored while the title is being edited, so typing is never overwritten.
    void setText(const QString& text);
    QColor titleColor() const { return m_titleColor; }
    void setTitleColor(const QColor& color);
    bool isEditing() const { return m_isEditing; }
    ClickableTextField* field() const { return m_field; }

Q_SIGNALS:
    void textEdited(const QString& text);
    void editingChanged(bool editing);

private:
    void setEditing(bool editing);

    ClickableTextField* m_field;
    QColor m_titleColor;
    bool m_isEditing = false;
};

// General single-line field: placeholder, font and colour of the caller's
// choice, a commit callback and a focus callback (commit comes first).
class NativeTextField : public QLineEdit {
    Q_OBJECT
public:
    explicit NativeTextField(QWidget* parent = nullptr);

    void setTextColor(const QColor& color);
    // Replaces the text, also while the field is being edited.
    void setBoundText(const QString& text);

    std::function<void(const QString&)> onTextChanged;
    std::function<void()> onCommit;
    std::function<void(bool)> onFocusChange;

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
};
