#include "Views/Window/Appearance.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPixmap>
#include <QProxyStyle>
#include <QStyleOptionMenuItem>
#include <QStyleFactory>

namespace {

QColor menuDividerColor(const QPalette& palette)
{
    // A fifth of the way from the menu's ground to its text: plain on a
    // dark menu and on a light one alike.
    const QColor ground = palette.color(QPalette::Base);
    const QColor text = palette.color(QPalette::Text);
    auto mix = [](int from, int to) { return from + (to - from) / 5; };
    return QColor(mix(ground.red(), text.red()), mix(ground.green(), text.green()), mix(ground.blue(), text.blue()));
}

// Fusion with dividers a person can see: its own are a faint shade of black,
// lost on a dark menu. Every menu of the program is drawn by this one style.
class ProgramStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override
    {
        const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        if (element == CE_MenuItem && item && item->menuItemType == QStyleOptionMenuItem::Separator
            && item->text.isEmpty()) {
            painter->save();
            painter->setPen(QPen(menuDividerColor(option->palette), 1));
            const qreal y = item->rect.center().y() + 0.5;
            const int margin = 6;
            painter->drawLine(QPointF(item->rect.left() + margin, y), QPointF(item->rect.right() - margin, y));
            painter->restore();
            return;
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }
};

} // namespace

void applyDarkAppearance(QApplication& app)
{
    app.setStyle(new ProgramStyle(QStyleFactory::create(QStringLiteral("Fusion"))));
    QPalette palette;
    const QColor window(0x1e, 0x1e, 0x20);
    const QColor base(0x16, 0x16, 0x18);
    const QColor text(0xec, 0xec, 0xee);
    const QColor accent(0x0a, 0x84, 0xff);
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::AlternateBase, QColor(0x24, 0x24, 0x27));
    palette.setColor(QPalette::ToolTipBase, QColor(0x2c, 0x2c, 0x2e));
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::PlaceholderText, QColor(0x8e, 0x8e, 0x93));
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, QColor(0x2c, 0x2c, 0x2e));
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::BrightText, Qt::white);
    palette.setColor(QPalette::Light, QColor(0x3a, 0x3a, 0x3c));
    palette.setColor(QPalette::Midlight, QColor(0x32, 0x32, 0x34));
    palette.setColor(QPalette::Mid, QColor(0x26, 0x26, 0x28));
    palette.setColor(QPalette::Dark, QColor(0x10, 0x10, 0x12));
    palette.setColor(QPalette::Shadow, Qt::black);
    palette.setColor(QPalette::Highlight, accent);
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Link, accent);
    const QColor disabled(0x6e, 0x6e, 0x73);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, disabled);
    palette.setColor(QPalette::Disabled, QPalette::Highlight, QColor(0x3a, 0x3a, 0x3c));
    app.setPalette(palette);
}

QIcon drawnIcon(int size, const std::function<bool(QPainter&)>& draw)
{
    QIcon icon;
    for (const qreal scale : {1.0, 2.0}) {
        QPixmap pixmap(int(size * scale), int(size * scale));
        pixmap.setDevicePixelRatio(scale);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        const bool drawn = draw(p);
        p.end();
        if (!drawn)
            return QIcon();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QIcon symbolIcon(const QString& name, const QColor& color, int size)
{
    return drawnIcon(size, [&](QPainter& p) {
        const qreal s = size;
        QPen pen(color, s / 12.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        const qreal m = s * 0.15; // margin
        const QRectF box(m, m, s - 2 * m, s - 2 * m);
        if (name == QLatin1String("plus")) {
            p.drawLine(QPointF(s / 2, m), QPointF(s / 2, s - m));
            p.drawLine(QPointF(m, s / 2), QPointF(s - m, s / 2));
        } else if (name == QLatin1String("square.grid.2x2")) {
            const qreal gap = s * 0.1;
            const qreal w = (box.width() - gap) / 2;
            for (int r = 0; r < 2; ++r)
                for (int c = 0; c < 2; ++c)
                    p.drawRoundedRect(QRectF(box.left() + c * (w + gap), box.top() + r * (w + gap), w, w), s * 0.05,
                                      s * 0.05);
        } else if (name == QLatin1String("pencil")) {
            QPainterPath path;
            path.moveTo(box.bottomLeft());
            path.lineTo(box.left() + s * 0.05, box.bottom() - s * 0.25);
            path.lineTo(box.right() - s * 0.2, box.top());
            path.lineTo(box.right(), box.top() + s * 0.2);
            path.lineTo(box.left() + s * 0.25, box.bottom() - s * 0.05);
            path.closeSubpath();
            p.drawPath(path);
        } else if (name == QLatin1String("plus.square.on.square")) {
            p.drawRoundedRect(QRectF(box.left(), box.top() + s * 0.2, box.width() * 0.75, box.height() * 0.75),
                              s * 0.08, s * 0.08);
            const QRectF front(box.left() + box.width() * 0.25, box.top(), box.width() * 0.75, box.height() * 0.75);
            p.drawRoundedRect(front, s * 0.08, s * 0.08);
            p.drawLine(QPointF(front.center().x(), front.top() + s * 0.15),
                       QPointF(front.center().x(), front.bottom() - s * 0.15));
            p.drawLine(QPointF(front.left() + s * 0.15, front.center().y()),
                       QPointF(front.right() - s * 0.15, front.center().y()));
        } else if (name == QLatin1String("square.and.arrow.up")) {
            QPainterPath tray;
            tray.moveTo(box.left() + s * 0.15, box.top() + s * 0.35);
            tray.lineTo(box.left(), box.top() + s * 0.35);
            tray.lineTo(box.bottomLeft());
            tray.lineTo(box.bottomRight());
            tray.lineTo(box.right(), box.top() + s * 0.35);
            tray.lineTo(box.right() - s * 0.15, box.top() + s * 0.35);
            p.drawPath(tray);
            p.drawLine(QPointF(s / 2, box.top()), QPointF(s / 2, box.bottom() - s * 0.25));
            p.drawLine(QPointF(s / 2, box.top()), QPointF(s / 2 - s * 0.17, box.top() + s * 0.17));
            p.drawLine(QPointF(s / 2, box.top()), QPointF(s / 2 + s * 0.17, box.top() + s * 0.17));
        } else if (name == QLatin1String("trash")) {
            p.drawLine(QPointF(box.left(), box.top() + s * 0.12), QPointF(box.right(), box.top() + s * 0.12));
            p.drawLine(QPointF(s * 0.4, box.top()), QPointF(s * 0.6, box.top()));
            QPainterPath can;
            can.moveTo(box.left() + s * 0.1, box.top() + s * 0.12);
            can.lineTo(box.left() + s * 0.18, box.bottom());
            can.lineTo(box.right() - s * 0.18, box.bottom());
            can.lineTo(box.right() - s * 0.1, box.top() + s * 0.12);
            p.drawPath(can);
        } else if (name == QLatin1String("exclamationmark.triangle")) {
            QPainterPath triangle;
            triangle.moveTo(s / 2, box.top());
            triangle.lineTo(box.right(), box.bottom());
            triangle.lineTo(box.left(), box.bottom());
            triangle.closeSubpath();
            p.drawPath(triangle);
            p.drawLine(QPointF(s / 2, box.top() + s * 0.3), QPointF(s / 2, box.bottom() - s * 0.22));
            p.drawPoint(QPointF(s / 2, box.bottom() - s * 0.1));
        }
        return true;
    });
}

QIcon colorDotIcon(const QColor& color, int size)
{
    return drawnIcon(size, [&](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        p.drawEllipse(QRectF(0.5, 0.5, size - 1, size - 1));
        return true;
    });
}
