#pragma once

// The on-screen keypad: twenty keys that report which key was pressed. It
// holds no state and its keys never take keyboard focus, so typing goes on
// in whatever field had it.

#include <QAbstractButton>
#include <QColor>
#include <QList>
#include <QWidget>
#include <functional>

class QVariantAnimation;

enum class KeypadButtonStyle { number, function, operator_, equals };

// The pressed look of a key: scaled about its centre and dimmed while held.
struct KeypadButtonPressStyle {
    static constexpr double pressedScale = 0.95;
    static constexpr double pressedOpacity = 0.7;
    static constexpr int durationMs = 100; // ease-out
};

class KeypadButton : public QAbstractButton {
    Q_OBJECT
public:
    KeypadButton(const QString& symbol, KeypadButtonStyle style, const QColor& accentColor,
                 std::function<void()> action, double buttonSize, QWidget* parent = nullptr);

    QString symbol() const { return text(); }
    void setSymbol(const QString& symbol);
    KeypadButtonStyle style() const { return m_style; }
    // Label and outline colour of number and function keys (white on the
    // dark canvas, black on the light one).
    void setForeground(const QColor& color);
    // 0 at rest, 1 fully pressed.
    double pressProgress() const { return m_pressProgress; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void animatePress(bool pressed);

    KeypadButtonStyle m_style;
    QColor m_accentColor;
    QColor m_foreground = Qt::white;
    double m_buttonSize;
    double m_pressProgress = 0;
    QVariantAnimation* m_animation;
};

class CalculatorKeypad : public QWidget {
    Q_OBJECT
public:
    CalculatorKeypad(std::function<void(const QString&)> onKeyTap, std::function<void()> onDelete,
                     std::function<void()> onEquals, const QColor& accentBlue, double buttonSpacing,
                     QWidget* parent = nullptr);

    static constexpr double buttonSize = 52;

    const QList<KeypadButton*>& buttons() const { return m_buttons; }
    KeypadButton* button(const QString& symbol) const;
    // The decimal key shows and sends the separator of the current number style.
    KeypadButton* decimalButton() const { return m_decimal; }
    void setForeground(const QColor& color);

private:
    void updateDecimalKey();

    std::function<void(const QString&)> m_onKeyTap;
    std::function<void()> m_onDelete;
    std::function<void()> m_onEquals;
    QColor m_accentBlue;
    double m_buttonSpacing;
    QList<KeypadButton*> m_buttons;
    KeypadButton* m_decimal = nullptr;
};
