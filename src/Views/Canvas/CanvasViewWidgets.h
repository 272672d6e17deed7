#pragma once

// Widgets private to CanvasView.

#include <QLineEdit>
#include <QWidget>
#include <functional>

class CanvasView;

// The painted table: header on top (a child widget), rows, the tappable area.
// It draws and forwards pointer events to the editor; it keeps no state.
class CanvasTableSurface : public QWidget {
    Q_OBJECT
public:
    CanvasTableSurface(CanvasView* view, QWidget* parent);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    CanvasView* m_view;
};

// The line edit laid over the focused row's label or expression. Navigation
// keys are offered to onKey first; a key it takes never reaches the field or
// the window (Tab included, which is caught before focus traversal).
class RowTextField : public QLineEdit {
    Q_OBJECT
public:
    explicit RowTextField(QWidget* parent);

    std::function<bool(QKeyEvent*)> onKey;
    std::function<void(Qt::FocusReason)> onFocusOut;

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
};
