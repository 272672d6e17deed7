#include "Views/Settings/SettingsOverlay.h"

#include "Models/CalcSettings.h"
#include "Platform/Defaults.h"
#include "Views/Settings/SettingsView.h"

#include <QApplication>
#include <algorithm>
#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QScrollBar>
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
    // In a window too short for the card its content scrolls.
    m_scroll = new QScrollArea(m_card);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setWidgetResizable(false);
    m_scroll->setAttribute(Qt::WA_TranslucentBackground);
    m_scroll->viewport()->setAutoFillBackground(false);
    cardLayout->addWidget(m_scroll);
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
        delete m_scroll->takeWidget();
        m_view = new SettingsView([this] { setPresented(false); }, m_settings, m_defaults);
        m_view->installEventFilter(this);
        m_scroll->setWidget(m_view);
        // The scroll area fills its widget; the card's rounded background shows instead.
        m_view->setAutoFillBackground(false);
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
    if (QWidget* view = m_scroll->takeWidget())
        view->deleteLater();
    m_view = nullptr;
    if (m_focusBefore && m_focusBefore->isVisible())
        m_focusBefore->setFocus(Qt::OtherFocusReason);
}

// Over a main window the backdrop covers everything below its menu bar,
// the toolbar included, so nothing beneath the card can be reached.
void SettingsOverlay::coverHost()
{
    if (!m_host)
        return;
    QRect area = m_host->rect();
    if (auto* window = qobject_cast<QMainWindow*>(m_host)) {
        const QWidget* menuBar = window->menuWidget();
        if (menuBar && !menuBar->isHidden())
            area.setTop(menuBar->geometry().bottom() + 1);
    }
    setGeometry(area);
}

void SettingsOverlay::placeCard()
{
    if (!m_view)
        return;
    const QSize content = m_view->sizeHint();
    const int room = std::max(120, height() - cardTopMargin - 20);
    const int cardHeight = std::min(content.height(), room);
    const int scrollBar = content.height() > room ? m_scroll->verticalScrollBar()->sizeHint().width() : 0;
    const int cardWidth = content.width() + scrollBar;
    m_card->setGeometry((width() - cardWidth) / 2, cardTopMargin, cardWidth, cardHeight);
    update();
}

bool SettingsOverlay::eventFilter(QObject* watched, QEvent* event)
{
    // The type first: a view being torn down still sends events, and taking
    // its guarded pointer then would read a half-destroyed object.
    if (event->type() != QEvent::Resize)
        return QWidget::eventFilter(watched, event);
    if (watched == m_host && isVisible()) {
        coverHost();
        placeCard();
    } else if (watched != m_host) {
        // The card follows its tab's height.
        placeCard();
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
