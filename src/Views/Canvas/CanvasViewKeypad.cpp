// The keypad beside the table: its wiring to the selected row and how it
// moves in from the trailing edge.

#include "Views/Canvas/CalculatorKeypad.h"
#include "Views/Canvas/CanvasView.h"
#include "Views/Canvas/CanvasViewWidgets.h"

#include "Platform/Defaults.h"

#include <QApplication>
#include <QVBoxLayout>
#include <QVariantAnimation>

void CanvasView::buildKeypad()
{
    // Every key ends with the open field showing what the row now holds.
    auto syncSelected = [this] {
        if (const BlockPtr selected = blockWithId(m_selectedBlockID))
            syncExpressionField(selected);
    };
    m_keypad = new CalculatorKeypad(
        [this, syncSelected](const QString& text) {
            appendToSelectedBlock(text, true);
            syncSelected();
        },
        [this, syncSelected] {
            deleteFromSelectedBlock();
            syncSelected();
        },
        [this] { finishEditing(); }, QColor::fromRgbF(0.3, 0.6, 0.9, 1.0), 6, m_keypadSlot);
    // White keys would vanish on the light canvas.
    m_keypad->setForeground(canvasLightMode() ? Qt::black : Qt::white);

    // A click on a key looks for a focused widget up its parents before it
    // would give the editor focus; standing in for whatever in the editor
    // holds focus, the keypad keeps that focus where it is.
    connect(qApp, &QApplication::focusChanged, m_outsideSignals, [this](QWidget*, QWidget* now) {
        if (now && (now == this || isAncestorOf(now)) && now != m_keypad->focusProxy())
            m_keypad->setFocusProxy(now);
    });

    connect(&Defaults::standard(), &Defaults::changed, m_outsideSignals, [this](const QString& key) {
        if (key == QLatin1String("canvasLightMode"))
            m_keypad->setForeground(canvasLightMode() ? Qt::black : Qt::white);
    });

    auto* layout = new QVBoxLayout(m_keypadSlot);
    layout->setContentsMargins(0, 0, 0, 0);
    // The slot may be narrower than the keypad while it slides in.
    layout->setSizeConstraint(QLayout::SetNoConstraint);
    layout->addWidget(m_keypad, 0, Qt::AlignLeft | Qt::AlignVCenter);
    m_keypadSlot->setFixedWidth(0);

    auto* slide = new QVariantAnimation(m_keypadSlot);
    slide->setObjectName(QStringLiteral("keypadSlide"));
    slide->setDuration(250);
    slide->setEasingCurve(QEasingCurve::OutCubic);
    connect(slide, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { m_keypadSlot->setFixedWidth(value.toInt()); });
    connect(slide, &QVariantAnimation::finished, this, [this] {
        if (!m_showKeypad)
            m_keypadSlot->setVisible(false);
    });
}

void CanvasView::presentKeypad(bool show)
{
    auto* slide = m_keypadSlot->findChild<QVariantAnimation*>(QStringLiteral("keypadSlide"));
    const int full = m_keypad->width();
    slide->stop();
    if (!isVisible()) {
        // Nothing to watch: take the end state at once.
        m_keypadSlot->setFixedWidth(show ? full : 0);
        m_keypadSlot->setVisible(show);
        return;
    }
    if (show)
        m_keypadSlot->setVisible(true);
    slide->setStartValue(m_keypadSlot->width());
    slide->setEndValue(show ? full : 0);
    slide->start();
}
