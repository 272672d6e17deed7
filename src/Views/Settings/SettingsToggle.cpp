#include "Views/Settings/SettingsToggle.h"

#include "Platform/Defaults.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>

namespace {

// The small switch: a pill with a knob, accent-coloured while on.
class SwitchControl : public QAbstractButton {
public:
    explicit SwitchControl(QWidget* parent)
        : QAbstractButton(parent)
    {
        setCheckable(true);
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::TabFocus);
        setAccessibleName(QStringLiteral("switch"));
    }
    QSize sizeHint() const override { return {32, 18}; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF track = QRectF(rect()).adjusted(1, 1, -1, -1);
        const qreal radius = track.height() / 2;
        QColor fill = isChecked() ? palette().color(QPalette::Highlight) : QColor(255, 255, 255, 40);
        if (!isEnabled())
            fill.setAlphaF(fill.alphaF() * 0.5);
        p.setPen(Qt::NoPen);
        p.setBrush(fill);
        p.drawRoundedRect(track, radius, radius);
        const qreal knob = track.height() - 4;
        const qreal x = isChecked() ? track.right() - 2 - knob : track.left() + 2;
        p.setBrush(QColor(245, 245, 247));
        p.drawEllipse(QRectF(x, track.top() + 2, knob, knob));
        if (hasFocus()) {
            p.setPen(QPen(palette().color(QPalette::Highlight).lighter(130), 1.5));
            p.setBrush(Qt::NoBrush);
            p.drawRoundedRect(track, radius, radius);
        }
    }
};

} // namespace

SettingsToggle::SettingsToggle(const QString& title, QWidget* parent)
    : QWidget(parent)
    , m_title(new QLabel(title, this))
    , m_switch(new SwitchControl(this))
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    QFont font = m_title->font();
    font.setPixelSize(13);
    m_title->setFont(font);
    m_switch->setAccessibleName(title);
    row->addWidget(m_title, 0, Qt::AlignVCenter);
    row->addStretch(1);
    row->addWidget(m_switch, 0, Qt::AlignVCenter);
    // clicked, not toggled: showing a value is no change by the user.
    connect(m_switch, &QAbstractButton::clicked, this, &SettingsToggle::toggledByUser);
}

QString SettingsToggle::title() const
{
    return m_title->text();
}

bool SettingsToggle::isOn() const
{
    return m_switch->isChecked();
}

void SettingsToggle::setOn(bool on)
{
    m_switch->setChecked(on);
}

void SettingsToggle::bindTo(Defaults& defaults, const QString& key, bool defaultValue)
{
    setOn(defaults.boolValue(key).value_or(defaultValue));
    connect(this, &SettingsToggle::toggledByUser, this,
            [&defaults, key](bool on) { defaults.setValue(key, on); });
    connect(&defaults, &Defaults::changed, this, [this, &defaults, key, defaultValue](const QString& changed) {
        if (changed == key)
            setOn(defaults.boolValue(key).value_or(defaultValue));
    });
}
