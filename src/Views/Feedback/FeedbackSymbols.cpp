#include "Views/Feedback/FeedbackSymbols.h"

#include "Views/Window/Appearance.h"

#include <QPainter>
#include <QPainterPath>

namespace {

void drawEnvelopeBadge(QPainter& p, const QColor& color, qreal s)
{
    QPen pen(color, s / 14.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const QRectF envelope(s * 0.06, s * 0.26, s * 0.76, s * 0.56);
    p.drawRoundedRect(envelope, s * 0.07, s * 0.07);
    QPainterPath flap;
    flap.moveTo(envelope.left() + s * 0.04, envelope.top() + s * 0.05);
    flap.lineTo(envelope.center().x(), envelope.top() + envelope.height() * 0.55);
    flap.lineTo(envelope.right() - s * 0.04, envelope.top() + s * 0.05);
    p.drawPath(flap);
    // The badge sits on the corner, cut free from the envelope by a gap.
    const QPointF badge(s * 0.8, s * 0.24);
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawEllipse(badge, s * 0.22, s * 0.22);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.setBrush(color);
    p.drawEllipse(badge, s * 0.16, s * 0.16);
}

void drawFilledCircleWith(QPainter& p, const QColor& color, qreal s, bool check)
{
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawEllipse(QRectF(s * 0.06, s * 0.06, s * 0.88, s * 0.88));
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    QPen pen(Qt::black, s / 9.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    if (check) {
        QPainterPath mark;
        mark.moveTo(s * 0.3, s * 0.52);
        mark.lineTo(s * 0.44, s * 0.66);
        mark.lineTo(s * 0.7, s * 0.36);
        p.drawPath(mark);
    } else {
        p.drawLine(QPointF(s * 0.5, s * 0.28), QPointF(s * 0.5, s * 0.56));
        p.drawPoint(QPointF(s * 0.5, s * 0.72));
    }
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

} // namespace

QIcon feedbackSymbol(const QString& name, const QColor& color, int size)
{
    return drawnIcon(size, [&](QPainter& p) {
        if (name == QLatin1String("envelope.badge"))
            drawEnvelopeBadge(p, color, size);
        else if (name == QLatin1String("checkmark.circle.fill"))
            drawFilledCircleWith(p, color, size, true);
        else if (name == QLatin1String("exclamationmark.circle.fill"))
            drawFilledCircleWith(p, color, size, false);
        return true;
    });
}
