#pragma once

#include "Models/RecordPointers.h"

#include <QAbstractButton>
#include <QFrame>
#include <QPointer>
#include <QToolButton>

class CanvasExportController;
class PointerHover;

enum class ShareAction { print, exportPDF, sharePDF, shareCanvas };

// Runs the action on the canvas delayMilliseconds from now, with the window
// that has the keyboard at that moment: print goes to its content, the PDF's
// save dialog to the window. The share menu opens below shareButton while
// that shows, else at the pointer. Nothing happens without a key window or
// when the canvas is gone by then.
void scheduleShareAction(CanvasExportController* controller, const CanvasPtr& canvas, ShareAction action,
                         int delayMilliseconds = 100, QWidget* shareButton = nullptr);

// One row of the share menu: symbol, title and, where a key works, its hint.
class ShareMenuItem : public QAbstractButton {
    Q_OBJECT
public:
    ShareMenuItem(const QString& symbol, const QString& title, const QString& hint, QWidget* parent = nullptr);
    QString hint() const { return m_hint; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_symbol;
    QString m_hint;
    PointerHover* m_hover;
};

// The small menu under the share button.
class ShareMenuPopover : public QFrame {
    Q_OBJECT
public:
    explicit ShareMenuPopover(QWidget* parent = nullptr);
    ShareMenuItem* item(ShareAction action) const;
    // Rows from top to bottom; separators count as rows.
    int rowCount() const;

Q_SIGNALS:
    void chosen(ShareAction action);
    void closed();

protected:
    void hideEvent(QHideEvent* event) override;

private:
    QList<QPair<ShareAction, ShareMenuItem*>> m_items;
    int m_rows = 0;
};

// The toolbar button that opens the share menu for one canvas. Its click
// only ever opens the menu; choosing an item closes it and runs the action
// a tenth of a second later.
class ShareButton : public QToolButton {
    Q_OBJECT
public:
    ShareButton(const CanvasPtr& canvas, CanvasExportController* controller, QWidget* parent = nullptr);

    static const QString toolTipText;

    bool showingMenu() const { return m_showingMenu; }
    bool isHovered() const;
    ShareMenuPopover* popover() const { return m_popover; }
    void choose(ShareAction action);
    void setActionDelay(int milliseconds) { m_delay = milliseconds; }

private:
    void openMenu();

    std::weak_ptr<Canvas> m_canvas;
    QPointer<CanvasExportController> m_controller;
    ShareMenuPopover* m_popover = nullptr;
    bool m_showingMenu = false;
    PointerHover* m_hover;
    int m_delay = 100;
};
