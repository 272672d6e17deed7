#include "Views/Canvas/CalculatorKeypad.h"

#include "Models/CalcSettings.h"

#include <QEasingCurve>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>
#include <QVariantAnimation>

namespace {

QColor withAlpha(QColor color, double alpha)
{
    color.setAlphaF(color.alphaF() * alpha);
    return color;
}

QString decimalSeparator()
{
    return CalcSettings::shared().decimalStyle() == DecimalStyle::germanComma ? QStringLiteral(",")
                                                                               : QStringLiteral(".");
}

} // namespace

KeypadButton::KeypadButton(const QString& symbol, KeypadButtonStyle style, const QColor& accentColor,
                           std::function<void()> action, double buttonSize, QWidget* parent)
    : QAbstractButton(parent)
    , m_style(style)
    , m_accentColor(accentColor)
    , m_buttonSize(buttonSize)
    , m_animation(new QVariantAnimation(this))
{
    setText(symbol);
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(sizeHint());
    m_animation->setDuration(KeypadButtonPressStyle::durationMs);
    m_animation->setEasingCurve(QEasingCurve::OutCubic);
    connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_pressProgress = value.toDouble();
        update();
    });
    connect(this, &QAbstractButton::pressed, this, [this] { animatePress(true); });
    connect(this, &QAbstractButton::released, this, [this] { animatePress(false); });
    if (action)
        connect(this, &QAbstractButton::clicked, this, [action = std::move(action)] { action(); });

    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    switch (style) {
    case KeypadButtonStyle::equals:
        font.setPixelSize(24);
        font.setWeight(QFont::Medium);
        break;
    case KeypadButtonStyle::operator_:
        font.setPixelSize(22);
        font.setWeight(QFont::Medium);
        break;
    case KeypadButtonStyle::number:
    case KeypadButtonStyle::function:
        font.setPixelSize(20);
        font.setWeight(QFont::Normal);
        break;
    }
    setFont(font);
}

void KeypadButton::setSymbol(const QString& symbol)
{
    setText(symbol);
    update();
}

void KeypadButton::setForeground(const QColor& color)
{
    m_foreground = color;
    update();
}

QSize KeypadButton::sizeHint() const
{
    const int side = int(std::ceil(m_buttonSize));
    return {side, side};
}

void KeypadButton::animatePress(bool pressed)
{
    m_animation->stop();
    m_animation->setStartValue(m_pressProgress);
    m_animation->setEndValue(pressed ? 1.0 : 0.0);
    m_animation->start();
}

void KeypadButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    const double scale = 1 - (1 - KeypadButtonPressStyle::pressedScale) * m_pressProgress;
    painter.setOpacity(1 - (1 - KeypadButtonPressStyle::pressedOpacity) * m_pressProgress);
    const QPointF centre = QRectF(rect()).center();
    painter.translate(centre);
    painter.scale(scale, scale);
    painter.translate(-centre);

    const bool accented = m_style == KeypadButtonStyle::operator_ || m_style == KeypadButtonStyle::equals;
    const QRectF key(0, 0, m_buttonSize, m_buttonSize);
    QPainterPath shape;
    shape.addRoundedRect(key.adjusted(0.75, 0.75, -0.75, -0.75), 12, 12);
    painter.setClipPath(shape);
    painter.setPen(accented ? m_accentColor : withAlpha(m_foreground, 0.9));
    painter.drawText(key, Qt::AlignCenter, text());
    painter.setClipping(false);
    painter.setPen(QPen(accented ? withAlpha(m_accentColor, 0.6) : withAlpha(m_foreground, 0.15), 1.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(shape);
}

CalculatorKeypad::CalculatorKeypad(std::function<void(const QString&)> onKeyTap, std::function<void()> onDelete,
                                   std::function<void()> onEquals, const QColor& accentBlue, double buttonSpacing,
                                   QWidget* parent)
    : QWidget(parent)
    , m_onKeyTap(std::move(onKeyTap))
    , m_onDelete(std::move(onDelete))
    , m_onEquals(std::move(onEquals))
    , m_accentBlue(accentBlue)
    , m_buttonSpacing(buttonSpacing)
{
    setFocusPolicy(Qt::NoFocus);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(12, 12, 12, 12);
    column->setSpacing(int(buttonSpacing));
    column->setAlignment(Qt::AlignCenter);

    using Style = KeypadButtonStyle;
    auto tap = [this](const QString& text) {
        return [this, text] {
            if (m_onKeyTap)
                m_onKeyTap(text);
        };
    };
    struct Key {
        QString symbol;
        Style style;
        std::function<void()> action;
    };
    const QList<QList<Key>> rows{
        {{QStringLiteral("⌫"), Style::function, [this] { if (m_onDelete) m_onDelete(); }},
         {QStringLiteral("("), Style::function, tap(QStringLiteral("("))},
         {QStringLiteral(")"), Style::function, tap(QStringLiteral(")"))},
         {QStringLiteral("÷"), Style::operator_, tap(QStringLiteral("÷"))}},
        {{QStringLiteral("7"), Style::number, tap(QStringLiteral("7"))},
         {QStringLiteral("8"), Style::number, tap(QStringLiteral("8"))},
         {QStringLiteral("9"), Style::number, tap(QStringLiteral("9"))},
         {QStringLiteral("×"), Style::operator_, tap(QStringLiteral("×"))}},
        {{QStringLiteral("4"), Style::number, tap(QStringLiteral("4"))},
         {QStringLiteral("5"), Style::number, tap(QStringLiteral("5"))},
         {QStringLiteral("6"), Style::number, tap(QStringLiteral("6"))},
         {QStringLiteral("−"), Style::operator_, tap(QStringLiteral("−"))}},
        {{QStringLiteral("1"), Style::number, tap(QStringLiteral("1"))},
         {QStringLiteral("2"), Style::number, tap(QStringLiteral("2"))},
         {QStringLiteral("3"), Style::number, tap(QStringLiteral("3"))},
         {QStringLiteral("+"), Style::operator_, tap(QStringLiteral("+"))}},
        {{QStringLiteral("0"), Style::number, tap(QStringLiteral("0"))},
         // The decimal key follows the number style; its text is set below.
         {QString(), Style::number, [this] { if (m_onKeyTap) m_onKeyTap(m_decimal->symbol()); }},
         {QStringLiteral("%"), Style::function, tap(QStringLiteral(" % "))},
         {QStringLiteral("="), Style::equals, [this] { if (m_onEquals) m_onEquals(); }}},
    };
    for (const QList<Key>& keys : rows) {
        auto* line = new QHBoxLayout;
        line->setSpacing(int(buttonSpacing));
        line->setAlignment(Qt::AlignVCenter);
        for (const Key& key : keys) {
            auto* button = new KeypadButton(key.symbol, key.style, accentBlue, key.action, buttonSize, this);
            line->addWidget(button);
            m_buttons.append(button);
            if (key.symbol.isEmpty())
                m_decimal = button;
        }
        column->addLayout(line);
    }
    updateDecimalKey();
    connect(&CalcSettings::shared(), &CalcSettings::decimalStyleChanged, this, &CalculatorKeypad::updateDecimalKey);
    setFixedSize(sizeHint());
}

KeypadButton* CalculatorKeypad::button(const QString& symbol) const
{
    for (KeypadButton* key : m_buttons) {
        if (key->symbol() == symbol)
            return key;
    }
    return nullptr;
}

void CalculatorKeypad::setForeground(const QColor& color)
{
    for (KeypadButton* key : m_buttons)
        key->setForeground(color);
}

void CalculatorKeypad::updateDecimalKey()
{
    m_decimal->setSymbol(decimalSeparator());
}
