#include "Views/Canvas/TextFieldBridges.h"

#include "Services/TextFit.h"

#include "Views/Window/ViewTeardown.h"

#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>

#include <limits>

// ---- ClickableTextField ----

ClickableTextField::ClickableTextField(QWidget* parent)
    : QLineEdit(parent)
{
    // Not the default 32,767: a longer imported title is kept whole.
    setMaxLength(std::numeric_limits<int>::max());
}

void ClickableTextField::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        // Editing starts with this click, not the second one.
        if (!hasFocus())
            setFocus(Qt::MouseFocusReason);
        if (onActivate)
            onActivate();
    }
    QLineEdit::mousePressEvent(event);
}

void ClickableTextField::keyPressEvent(QKeyEvent* event)
{
    QLineEdit::keyPressEvent(event);
    // QLineEdit passes Return on after reporting it; the owner would then
    // act on the same key (the editor adds a row).
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        event->accept();
}

void ClickableTextField::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    if (event->reason() != Qt::PopupFocusReason && onEditingEnded)
        onEditingEnded();
}

void ClickableTextField::paintEvent(QPaintEvent* event)
{
    const QRect area = rect().adjusted(2, 0, -2, 0);
    if (hasFocus()) {
        QLineEdit::paintEvent(event);
        return;
    }
    // Only the start that can show is measured: a title can be as long as
    // an imported file made it.
    const QString shown = TextFit(QFontMetricsF(font())).elidedRight(text(), area.width());
    if (shown == text()) {
        QLineEdit::paintEvent(event);
        return;
    }
    // Not being edited and too long: cut at the end with an ellipsis.
    QPainter painter(this);
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::Text));
    painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter, shown);
}

void ClickableTextField::contextMenuEvent(QContextMenuEvent* event)
{
    // While not editing, the owner's menu applies (the title colour menu).
    if (!hasFocus()) {
        event->ignore();
        return;
    }
    QLineEdit::contextMenuEvent(event);
}

// ---- InlineTitleField ----

InlineTitleField::InlineTitleField(QWidget* parent)
    : QWidget(parent)
    , m_field(new ClickableTextField(this))
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_field);

    QFont font = m_field->font();
    font.setPixelSize(32);
    font.setWeight(QFont::Bold);
    m_field->setFont(font);
    m_field->setFrame(false);
    m_field->setAttribute(Qt::WA_MacShowFocusRect, false);
    QPalette palette = m_field->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    m_field->setPalette(palette);
    m_field->setAutoFillBackground(false);

    m_field->onActivate = [this] { setEditing(true); };
    connect(m_field, &QLineEdit::textEdited, this, &InlineTitleField::textEdited);
    connect(m_field, &QLineEdit::returnPressed, this, [this] {
        setEditing(false);
        // The keyboard goes back to the view around the title; with no focus
        // anywhere the next keys would go nowhere.
        QWidget* next = parentWidget();
        while (next && next->focusPolicy() == Qt::NoFocus)
            next = next->parentWidget();
        if (next)
            next->setFocus(Qt::OtherFocusReason);
        else
            m_field->clearFocus();
    });
    m_field->onEditingEnded = [this] {
        setEditing(false);
        m_field->setCursorPosition(0);
    };
}

InlineTitleField::~InlineTitleField()
{
    // Closing the window moves the focus out of the field after this is gone.
    m_field->onActivate = nullptr;
    m_field->onEditingEnded = nullptr;
    disconnectChildren(this);
}

QString InlineTitleField::text() const
{
    return m_field->text();
}

void InlineTitleField::setText(const QString& text)
{
    if (m_field->text() != text && !m_field->hasFocus())
        m_field->setText(text);
    if (!m_field->hasFocus())
        m_field->setCursorPosition(0);
}

void InlineTitleField::setTitleColor(const QColor& color)
{
    m_titleColor = color;
    QPalette palette = m_field->palette();
    palette.setColor(QPalette::Text, color);
    palette.setColor(QPalette::Base, Qt::transparent);
    m_field->setPalette(palette);
    m_field->update();
}

void InlineTitleField::setEditing(bool editing)
{
    if (m_isEditing == editing)
        return;
    m_isEditing = editing;
    Q_EMIT editingChanged(editing);
}

// ---- NativeTextField ----

NativeTextField::NativeTextField(QWidget* parent)
    : QLineEdit(parent)
{
    setFrame(false);
    setAttribute(Qt::WA_MacShowFocusRect, false);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    setPalette(palette);
    connect(this, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (onTextChanged)
            onTextChanged(text);
    });
    connect(this, &QLineEdit::returnPressed, this, [this] {
        if (onCommit)
            onCommit();
    });
}

void NativeTextField::setTextColor(const QColor& color)
{
    QPalette palette = this->palette();
    palette.setColor(QPalette::Text, color);
    setPalette(palette);
}

void NativeTextField::setBoundText(const QString& text)
{
    if (this->text() != text)
        setText(text);
}

void NativeTextField::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    if (onFocusChange)
        onFocusChange(true);
}

void NativeTextField::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    if (onCommit)
        onCommit();
    if (onFocusChange)
        onFocusChange(false);
}
