#pragma once

#include <QObject>

class QAbstractButton;
class QPainter;
class QWidget;

// Follows the pointer entering and leaving one widget and repaints the
// widget on each change. A widget owns one instead of overriding its enter
// and leave events.
class PointerHover : public QObject {
    Q_OBJECT
public:
    explicit PointerHover(QWidget* widget);

    bool isHovered() const { return m_hovered; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_widget;
    bool m_hovered = false;
};

// The small symbol buttons of the toolbar and the settings card: their
// size, and their look with a faint rounded background under the pointer
// and the icon centred.
QSize symbolButtonSizeHint(const QAbstractButton& button);
void paintSymbolButton(QPainter& p, const QAbstractButton& button, bool hovered, qreal iconOpacity = 1.0);
