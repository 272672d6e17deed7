#include "Views/Window/PanelSlide.h"

#include <QVariantAnimation>
#include <QWidget>

PanelSlide::PanelSlide(QWidget* panel, Extent extent, std::function<int()> fullExtent, QObject* owner)
    : QObject(owner)
    , m_panel(panel)
    , m_extent(extent)
    , m_fullExtent(std::move(fullExtent))
    , m_animation(new QVariantAnimation(this))
    , m_shown(!panel->isHidden())
{
    m_animation->setEasingCurve(QEasingCurve::InOutQuad);
    connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        if (isSliding())
            fix(value.toInt());
    });
    connect(m_animation, &QAbstractAnimation::finished, this, &PanelSlide::finish);
}

bool PanelSlide::isSliding() const
{
    return m_animation->state() != QAbstractAnimation::Stopped;
}

void PanelSlide::show(int durationMs)
{
    if (m_shown)
        return;
    const int from = currentExtent();
    m_shown = true;
    m_animation->stop();
    const int to = m_fullExtent();
    if (durationMs <= 0 || from >= to) {
        release();
        m_panel->show();
        Q_EMIT settled(true);
        return;
    }
    fix(from);
    m_panel->show();
    m_animation->setDuration(durationMs);
    m_animation->setStartValue(from);
    m_animation->setEndValue(to);
    m_animation->start();
}

void PanelSlide::hide(int durationMs)
{
    if (!m_shown)
        return;
    const int from = currentExtent();
    m_shown = false;
    m_animation->stop();
    if (durationMs <= 0 || from <= 0) {
        release();
        m_panel->hide();
        Q_EMIT settled(false);
        return;
    }
    fix(from);
    m_animation->setDuration(durationMs);
    m_animation->setStartValue(from);
    m_animation->setEndValue(0);
    m_animation->start();
}

int PanelSlide::currentExtent() const
{
    if (isSliding())
        return m_animation->currentValue().toInt();
    return m_shown ? m_fullExtent() : 0;
}

void PanelSlide::fix(int extent)
{
    if (!m_fixed) {
        m_ownMinimum = m_extent == Extent::height ? m_panel->minimumHeight() : m_panel->minimumWidth();
        m_ownMaximum = m_extent == Extent::height ? m_panel->maximumHeight() : m_panel->maximumWidth();
        m_fixed = true;
    }
    if (m_extent == Extent::height)
        m_panel->setFixedHeight(extent);
    else
        m_panel->setFixedWidth(extent);
    Q_EMIT extentChanged(extent);
}

void PanelSlide::release()
{
    if (!m_fixed)
        return;
    m_fixed = false;
    if (m_extent == Extent::height) {
        m_panel->setMinimumHeight(m_ownMinimum);
        m_panel->setMaximumHeight(m_ownMaximum);
    } else {
        m_panel->setMinimumWidth(m_ownMinimum);
        m_panel->setMaximumWidth(m_ownMaximum);
    }
}

void PanelSlide::finish()
{
    if (!m_shown)
        m_panel->hide();
    release();
    Q_EMIT settled(m_shown);
}
