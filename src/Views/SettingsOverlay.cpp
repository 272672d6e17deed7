#include "Views/SettingsOverlay.h"

#include "Models/CalcSettings.h"
#include "Platform/Defaults.h"
#include "Views/SettingsView.h"

#include <QApplication>
#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>
#include <QVariantAnimation>

SettingsOverlay::SettingsOverlay(QWidget* host)
    : SettingsOverlay(host, CalcSettings::shared(), Defaults::standard())
{
}

SettingsOverlay::SettingsOverlay(QWidget* host, CalcSettings& settings, Defaults& defaults)
    : QWidget(host)
    , m_host(host)
    , m_settings(settings)
    , m_defaults(defaults)
{
    setObjectName(QStringLiteral("SettingsOverlay"));
    m_card = new QWidget(this);
    m_card->setObjectName(QStringLiteral("settingsCard"));
    m_card->setAttribute(Qt::WA_StyledBackground);
    m_card->setStyleSheet(QStringLiteral("#settingsCard { background: palette(window); border-radius: 12px; }"));
    auto* cardLayout = new QVBoxLayout(m_card);
    cardLayout->setContentsMargins(0, 0, 0, 0);
    cardLayout->setSizeConstraint(QLayout::SetFixedSize);
    m_card->installEventFilter(this);
    host->installEventFilter(this);
    hide();
}

SettingsOverlay::~SettingsOverlay()
{
    if (m_host)
        m_host->removeEventFilter(this);
}

void SettingsOverlay::setPresented(bool presented)
{
    if (presented == m_presented) {
        return;
    }
    m_presented = presented;
    if (presented) {
        // Opening again during the fade: the old card goes at once.
        if (m_fade)
            m_fade->stop();
        setGraphicsEffect(nullptr);
        delete m_view;
        m_view = new SettingsView([this] { setPresented(false); }, m_settings, m_defaults, m_card);
        m_card->layout()->addWidget(m_view);
        coverHost();
        raise();
        show();
        placeCard();
        // Keys go to the card, not to the canvas beneath it.
        m_focusBefore = QApplication::focusWidget();
        m_view->setFocus(Qt::OtherFocusReason);
    } else {
        auto* effect = new QGraphicsOpacityEffect(this);
        setGraphicsEffect(effect);
        auto* fade = new QVariantAnimation(this);
        fade->setDuration(fadeOutMilliseconds);
        fade->setEasingCurve(QEasingCurve::OutQuad);
        fade->setStartValue(1.0);
        fade->setEndValue(0.0);
        connect(fade, &QVariantAnimation::valueChanged, effect,
                [effect](const QVariant& value) { effect->setOpacity(value.toReal()); });
        connect(fade, &QAbstractAnimation::finished, this, &SettingsOverlay::finishClosing);
        m_fade = fade;
        fade->start(QAbstractAnimation::DeleteWhenStopped);
    }
    Q_EMIT presentedChanged(presented);
}

bool SettingsOverlay::isFading() const
{
    return m_fade && m_fade->state() == QAbstractAnimation::Running;
}

void SettingsOverlay::finishClosing()
{
    if (m_presented)
        return;
    hide();
    setGraphicsEffect(nullptr);
    if (m_view)
        m_view->deleteLater();
    m_view = nullptr;
    if (m_focusBefore && m_focusBefore->isVisible())
        m_focusBefore->setFocus(Qt::OtherFocusReason);
}

void SettingsOverlay::coverHost()
{
    if (m_host)
        setGeometry(m_host->rect());
}

void SettingsOverlay::placeCard()
{
    m_card->adjustSize();
    const QSize size = m_card->sizeHint();
    m_card->setGeometry((width() - size.width()) / 2, cardTopMargin, size.width(), size.height());
    update();
}

bool SettingsOverlay::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_host && event->type() == QEvent::Resize && isVisible()) {
        coverHost();
        placeCard();
    } else if (watched == m_card && (event->type() == QEvent::LayoutRequest || event->type() == QEvent::Resize)) {
        // The card follows its tab's height.
        if (event->type() == QEvent::LayoutRequest)
            QMetaObject::invokeMethod(this, [this] { placeCard(); }, Qt::QueuedConnection);
        else
            update();
    }
    return QWidget::eventFilter(watched, event);
}

void SettingsOverlay::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), QColor(0, 0, 0, 77));
    // The card's shadow: black, soft, 10 below the card.
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const QRectF card = QRectF(m_card->geometry()).translated(0, 10);
    const int steps = 10;
    for (int i = steps; i > 0; --i) {
        const qreal spread = 20.0 * i / steps;
        QColor shade(0, 0, 0, int(77.0 / steps));
        p.setBrush(shade);
        p.drawRoundedRect(card.adjusted(-spread, -spread, spread, spread), 12 + spread, 12 + spread);
    }
}

void SettingsOverlay::mousePressEvent(QMouseEvent* event)
{
    // Presses inside the card, between its controls, land here too.
    if (m_card->geometry().contains(event->position().toPoint())) {
        event->accept();
        return;
    }
    if (event->button() == Qt::LeftButton)
        setPresented(false);
    event->accept();
}
