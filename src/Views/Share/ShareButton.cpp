#include "Views/Share/ShareButton.h"

#include "Models/Canvas.h"
#include "Views/Window/Appearance.h"
#include "Views/Share/CanvasExportController.h"
#include "Views/Window/PointerHover.h"

#include <algorithm>

#include <QCursor>
#include <QMainWindow>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const QColor secondaryText(0x8e, 0x8e, 0x93);

// Line symbols for the rows that the shared symbol set does not draw.
void drawSymbol(QPainter& p, const QString& name, const QRectF& box, const QColor& color)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(color, 1.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    const double s = std::min(box.width(), box.height());
    const QRectF r(box.center().x() - s / 2, box.center().y() - s / 2, s, s);
    if (name == QLatin1String("printer")) {
        p.drawRect(QRectF(r.left() + s * 0.28, r.top() + s * 0.1, s * 0.44, s * 0.25));
        p.drawRoundedRect(QRectF(r.left() + s * 0.1, r.top() + s * 0.35, s * 0.8, s * 0.35), 2, 2);
        p.drawRect(QRectF(r.left() + s * 0.28, r.top() + s * 0.58, s * 0.44, s * 0.32));
    } else if (name == QLatin1String("doc.richtext")) {
        p.drawRoundedRect(QRectF(r.left() + s * 0.2, r.top() + s * 0.08, s * 0.6, s * 0.84), 2, 2);
        for (const double y : {0.32, 0.5, 0.68})
            p.drawLine(QPointF(r.left() + s * 0.32, r.top() + s * y), QPointF(r.left() + s * 0.68, r.top() + s * y));
    } else if (name == QLatin1String("person.2")) {
        p.drawEllipse(QRectF(r.left() + s * 0.12, r.top() + s * 0.18, s * 0.28, s * 0.28));
        p.drawArc(QRectF(r.left() + s * 0.02, r.top() + s * 0.52, s * 0.48, s * 0.5), 0, 180 * 16);
        p.drawEllipse(QRectF(r.left() + s * 0.56, r.top() + s * 0.18, s * 0.28, s * 0.28));
        p.drawArc(QRectF(r.left() + s * 0.46, r.top() + s * 0.52, s * 0.48, s * 0.5), 0, 180 * 16);
    } else {
        symbolIcon(name, color, int(s)).paint(&p, r.toRect());
    }
    p.restore();
}

QWidget* contentOf(QWidget* window)
{
    if (auto* main = qobject_cast<QMainWindow*>(window))
        return main->centralWidget();
    return window;
}

// The share menu opens at what opened it: below the share button while that
// shows, else at the pointer, kept inside the window's content (a menu
// reached by keyboard may leave the pointer anywhere).
std::pair<QWidget*, QPoint> shareMenuAnchor(QWidget* shareButton, QWidget* content)
{
    if (shareButton && shareButton->isVisible())
        return {shareButton, QPoint(0, shareButton->height())};
    const QPoint pointer = content->mapFromGlobal(QCursor::pos());
    const QRect area = content->rect();
    return {content, QPoint(std::clamp(pointer.x(), area.left(), area.right()),
                            std::clamp(pointer.y(), area.top(), area.bottom()))};
}

} // namespace

void scheduleShareAction(CanvasExportController* controller, const CanvasPtr& canvas, ShareAction action,
                         int delayMilliseconds, QWidget* shareButton)
{
    if (!controller || !canvas)
        return;
    const QPointer<CanvasExportController> guard(controller);
    const std::weak_ptr<Canvas> weak = canvas;
    const QPointer<QWidget> button(shareButton);
    QTimer::singleShot(delayMilliseconds, controller, [guard, weak, action, button] {
        const CanvasPtr canvas = weak.lock();
        if (!guard || !canvas || canvas->isDeleted())
            return;
        QWidget* window = guard->keyWindow();
        if (!window)
            return;
        QWidget* content = contentOf(window);
        switch (action) {
        case ShareAction::print:
            guard->printCanvas(canvas, content);
            break;
        case ShareAction::exportPDF:
            guard->savePDF(canvas, window);
            break;
        case ShareAction::sharePDF:
            if (content) {
                const auto [anchor, point] = shareMenuAnchor(button, content);
                guard->sharePDF(canvas, anchor, point);
            }
            break;
        case ShareAction::shareCanvas:
            if (content) {
                const auto [anchor, point] = shareMenuAnchor(button, content);
                guard->shareCanvas(canvas, anchor, point);
            }
            break;
        }
    });
}

ShareMenuItem::ShareMenuItem(const QString& symbol, const QString& title, const QString& hint, QWidget* parent)
    : QAbstractButton(parent)
    , m_symbol(symbol)
    , m_hint(hint)
    , m_hover(new PointerHover(this))
{
    setText(title);
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::NoFocus);
}

QSize ShareMenuItem::sizeHint() const
{
    return {200, std::max(20, fontMetrics().height()) + 16};
}

void ShareMenuItem::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const bool hovered = m_hover->isHovered();
    const QRect area = rect();
    if (hovered || isDown())
        p.fillRect(area, palette().color(QPalette::Highlight));
    const QColor ink = hovered ? palette().color(QPalette::HighlightedText) : palette().color(QPalette::ButtonText);
    const QRect content = area.adjusted(12, 8, -12, -8);
    drawSymbol(p, m_symbol, QRectF(content.left(), content.top(), 20, content.height()).adjusted(2, 1, -2, -1), ink);
    QRect titleBox = content.adjusted(20 + 6, 0, 0, 0);
    if (!m_hint.isEmpty()) {
        QFont hintFont = font();
        hintFont.setPixelSize(12);
        p.setFont(hintFont);
        p.setPen(hovered ? ink : secondaryText);
        p.drawText(content, Qt::AlignRight | Qt::AlignVCenter, m_hint);
        titleBox.setRight(content.right() - QFontMetrics(hintFont).horizontalAdvance(m_hint) - 6);
    }
    p.setFont(font());
    p.setPen(ink);
    p.drawText(titleBox, Qt::AlignLeft | Qt::AlignVCenter, fontMetrics().elidedText(text(), Qt::ElideRight, titleBox.width()));
}

ShareMenuPopover::ShareMenuPopover(QWidget* parent)
    : QFrame(parent, Qt::Popup)
{
    setObjectName(QStringLiteral("shareMenu"));
    setFrameShape(QFrame::StyledPanel);
    setFixedWidth(200);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 8, 0, 8);
    column->setSpacing(0);
    auto addItem = [&](ShareAction action, const QString& symbol, const QString& title, const QString& hint) {
        auto* item = new ShareMenuItem(symbol, title, hint, this);
        item->setObjectName(title);
        connect(item, &QAbstractButton::clicked, this, [this, action] { Q_EMIT chosen(action); });
        column->addWidget(item);
        m_items.append({action, item});
        ++m_rows;
    };
    auto addSeparator = [&] {
        auto* line = new QFrame(this);
        line->setFrameShape(QFrame::HLine);
        line->setFrameShadow(QFrame::Plain);
        line->setStyleSheet(QStringLiteral("color: rgba(255, 255, 255, 40);"));
        column->addSpacing(4);
        column->addWidget(line);
        column->addSpacing(4);
        ++m_rows;
    };
    // Only keys that work here are hinted: Ctrl+P prints; nothing binds a
    // key to the PDF export.
    addItem(ShareAction::print, QStringLiteral("printer"), QStringLiteral("Print..."), QStringLiteral("Ctrl+P"));
    addSeparator();
    addItem(ShareAction::exportPDF, QStringLiteral("doc.richtext"), QStringLiteral("Export PDF..."), QString());
    addItem(ShareAction::sharePDF, QStringLiteral("square.and.arrow.up"), QStringLiteral("Share PDF..."), QString());
    addSeparator();
    addItem(ShareAction::shareCanvas, QStringLiteral("person.2"), QStringLiteral("Share Canvas..."), QString());
}

ShareMenuItem* ShareMenuPopover::item(ShareAction action) const
{
    for (const auto& entry : m_items) {
        if (entry.first == action)
            return entry.second;
    }
    return nullptr;
}

int ShareMenuPopover::rowCount() const
{
    return m_rows;
}

void ShareMenuPopover::hideEvent(QHideEvent* event)
{
    QFrame::hideEvent(event);
    Q_EMIT closed();
}

const QString ShareButton::toolTipText = QStringLiteral("Share or Print");

ShareButton::ShareButton(const CanvasPtr& canvas, CanvasExportController* controller, QWidget* parent)
    : QToolButton(parent)
    , m_canvas(canvas)
    , m_controller(controller)
    , m_hover(new PointerHover(this))
{
    setObjectName(QStringLiteral("shareButton"));
    setToolTip(toolTipText);
    setIcon(symbolIcon(QStringLiteral("square.and.arrow.up"), secondaryText));
    setAutoRaise(true);
    setCheckable(false);
    setStyleSheet(QStringLiteral("QToolButton { border: none; padding: 6px; border-radius: 6px; background: transparent; }"
                                 "QToolButton:hover { background: rgba(255, 255, 255, 26); }"));
    m_popover = new ShareMenuPopover(this);
    connect(m_popover, &ShareMenuPopover::chosen, this, &ShareButton::choose);
    connect(m_popover, &ShareMenuPopover::closed, this, [this] { m_showingMenu = false; });
    connect(this, &QToolButton::clicked, this, &ShareButton::openMenu);
}

void ShareButton::openMenu()
{
    // Opens, never toggles.
    m_showingMenu = true;
    if (m_popover->isVisible())
        return;
    m_popover->adjustSize();
    const QPoint below = mapToGlobal(QPoint(width() / 2 - m_popover->width() / 2, height() + 4));
    m_popover->move(below);
    m_popover->show();
}

void ShareButton::choose(ShareAction action)
{
    m_showingMenu = false;
    m_popover->hide();
    scheduleShareAction(m_controller, m_canvas.lock(), action, m_delay, this);
}

bool ShareButton::isHovered() const
{
    return m_hover->isHovered();
}
