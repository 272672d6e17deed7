#include "Views/Settings/SettingsSymbols.h"

#include "Views/Window/Appearance.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace {

QPainterPath cloudOutline(qreal s)
{
    // A flat-bottomed cloud in the lower three quarters of the square.
    QPainterPath path;
    const qreal base = s * 0.78;
    path.moveTo(s * 0.26, base);
    path.arcTo(QRectF(s * 0.06, s * 0.42, s * 0.36, s * 0.36), 270, -180);
    path.arcTo(QRectF(s * 0.22, s * 0.2, s * 0.42, s * 0.42), 160, -150);
    path.arcTo(QRectF(s * 0.56, s * 0.4, s * 0.38, s * 0.38), 110, -200);
    path.closeSubpath();
    return path;
}

void drawGear(QPainter& p, qreal s)
{
    const QPointF c(s / 2, s / 2);
    QPainterPath teeth;
    const int count = 8;
    for (int i = 0; i < count * 2; ++i) {
        const qreal angle = M_PI * i / count;
        const qreal r = (i % 2 == 0) ? s * 0.44 : s * 0.34;
        const QPointF point(c.x() + r * std::cos(angle), c.y() + r * std::sin(angle));
        if (i == 0)
            teeth.moveTo(point);
        else
            teeth.lineTo(point);
    }
    teeth.closeSubpath();
    p.drawPath(teeth);
    p.drawEllipse(c, s * 0.13, s * 0.13);
}

void drawCheck(QPainter& p, const QPointF& a, const QPointF& b, const QPointF& c)
{
    QPainterPath path;
    path.moveTo(a);
    path.lineTo(b);
    path.lineTo(c);
    p.drawPath(path);
}

// Draws into a square of side s; false for a name this file does not know.
bool drawSymbol(QPainter& p, const QString& name, qreal s, const QColor& color)
{
    const qreal m = s * 0.15;
    if (name == QLatin1String("gearshape")) {
        drawGear(p, s);
    } else if (name == QLatin1String("xmark")) {
        p.drawLine(QPointF(m + s * 0.1, m + s * 0.1), QPointF(s - m - s * 0.1, s - m - s * 0.1));
        p.drawLine(QPointF(s - m - s * 0.1, m + s * 0.1), QPointF(m + s * 0.1, s - m - s * 0.1));
    } else if (name == QLatin1String("arrow.clockwise")) {
        const QRectF ring(m, m, s - 2 * m, s - 2 * m);
        p.drawArc(ring, 60 * 16, 300 * 16);
        const QPointF tip(ring.center().x() + ring.width() / 2 * std::cos(M_PI / 3),
                          ring.center().y() - ring.height() / 2 * std::sin(M_PI / 3));
        p.drawLine(tip, tip + QPointF(-s * 0.2, -s * 0.02));
        p.drawLine(tip, tip + QPointF(s * 0.02, -s * 0.2));
    } else if (name == QLatin1String("envelope.badge")) {
        const QRectF box(m * 0.6, s * 0.28, s * 0.72, s * 0.52);
        p.drawRect(box);
        drawCheck(p, box.topLeft(), QPointF(box.center().x(), box.center().y() + s * 0.04), box.topRight());
        p.setBrush(color);
        p.drawEllipse(QPointF(s * 0.8, s * 0.26), s * 0.13, s * 0.13);
    } else if (name == QLatin1String("checkmark.circle.fill") || name == QLatin1String("xmark.circle.fill")) {
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        p.drawEllipse(QRectF(s * 0.06, s * 0.06, s * 0.88, s * 0.88));
        QPen mark(Qt::white, s / 9.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        p.setPen(mark);
        p.setBrush(Qt::NoBrush);
        if (name.startsWith(QLatin1String("checkmark"))) {
            drawCheck(p, QPointF(s * 0.3, s * 0.52), QPointF(s * 0.44, s * 0.66), QPointF(s * 0.7, s * 0.36));
        } else {
            p.drawLine(QPointF(s * 0.34, s * 0.34), QPointF(s * 0.66, s * 0.66));
            p.drawLine(QPointF(s * 0.66, s * 0.34), QPointF(s * 0.34, s * 0.66));
        }
    } else if (name == QLatin1String("cloud") || name.contains(QLatin1String("icloud"))) {
        p.drawPath(cloudOutline(s));
        const QPointF c(s * 0.5, s * 0.6);
        const qreal r = s * 0.1;
        if (name == QLatin1String("checkmark.icloud")) {
            drawCheck(p, c + QPointF(-r, 0), c + QPointF(-r * 0.2, r * 0.8), c + QPointF(r * 1.2, -r));
        } else if (name == QLatin1String("xmark.icloud")) {
            p.drawLine(c + QPointF(-r, -r), c + QPointF(r, r));
            p.drawLine(c + QPointF(r, -r), c + QPointF(-r, r));
        } else if (name == QLatin1String("exclamationmark.icloud")) {
            p.drawLine(c + QPointF(0, -r * 1.3), c + QPointF(0, r * 0.3));
            p.drawPoint(c + QPointF(0, r * 1.2));
        } else if (name == QLatin1String("arrow.triangle.2.circlepath.icloud")) {
            const QRectF ring(c.x() - r * 1.2, c.y() - r * 1.2, r * 2.4, r * 2.4);
            p.drawArc(ring, 30 * 16, 130 * 16);
            p.drawArc(ring, 210 * 16, 130 * 16);
        } else if (name == QLatin1String("icloud.slash")) {
            p.drawLine(QPointF(s * 0.12, s * 0.14), QPointF(s * 0.88, s * 0.9));
        } else if (name != QLatin1String("cloud")) {
            return false;
        }
    } else {
        return false;
    }
    return true;
}

} // namespace

QIcon settingsSymbolIcon(const QString& name, const QColor& color, int size)
{
    const QIcon icon = drawnIcon(size, [&](QPainter& p) {
        p.setPen(QPen(color, size / 12.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        return drawSymbol(p, name, size, color);
    });
    return icon.isNull() ? symbolIcon(name, color, size) : icon;
}
