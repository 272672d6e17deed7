#include "Views/Settings/SettingsView.h"

#include "Models/CalcSettings.h"
#include "Platform/Defaults.h"
#include "Services/SettingsForm.h"
#include "Views/Settings/SettingsSymbols.h"
#include "Views/Settings/SettingsViewParts.h"

#include <QAbstractButton>
#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QToolButton>
#include <QVBoxLayout>
#include <QVariantAnimation>

namespace SettingsLook {

QColor toneColor(Tone tone)
{
    switch (tone) {
    case Tone::primary:
        return QColor(236, 236, 238);
    case Tone::secondary:
        return QColor(235, 235, 245, 153);
    case Tone::tertiary:
        return QColor(235, 235, 245, 96);
    case Tone::quaternary:
        return QColor(235, 235, 245, 64);
    }
    return {};
}

QColor accentColor()
{
    return QColor(0x0a, 0x84, 0xff);
}

QLabel* caption(const QString& text, int pixelSize, Tone tone, QWidget* parent, int weight)
{
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setPixelSize(pixelSize);
    font.setWeight(QFont::Weight(weight));
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, toneColor(tone));
    label->setPalette(palette);
    return label;
}

QHBoxLayout* titledRow(const QString& title, int pixelSize, QWidget* parent)
{
    auto* row = new QHBoxLayout;
    row->addWidget(caption(title, pixelSize, Tone::primary, parent));
    row->addStretch(1);
    return row;
}

QWidget* divider(QWidget* parent)
{
    auto* line = new QWidget(parent);
    line->setFixedHeight(1);
    line->setAutoFillBackground(true);
    QPalette palette = line->palette();
    palette.setColor(QPalette::Window, QColor(255, 255, 255, 30));
    line->setPalette(palette);
    return line;
}

QString fieldStyleSheet()
{
    return QStringLiteral("QLineEdit { background: rgba(255, 255, 255, 13); border: none; border-radius: 4px;"
                          " padding: 4px 8px; font-size: 13px; }"
                          " QLineEdit:focus { background: rgba(255, 255, 255, 26); }");
}

QString checkboxStyleSheet()
{
    return QStringLiteral("QCheckBox { spacing: 0px; }");
}

} // namespace SettingsLook

namespace {

// A tab title on a rounded background that fades to the accent colour while
// the tab is chosen.
class TabButton : public QAbstractButton {
public:
    TabButton(const QString& title, QWidget* parent)
        : QAbstractButton(parent)
    {
        setText(title);
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::TabFocus);
        m_animation->setDuration(SettingsView::tabAnimationMilliseconds);
        m_animation->setEasingCurve(QEasingCurve::InOutQuad);
        QObject::connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
            m_highlight = value.toReal();
            setProperty("highlight", m_highlight);
            update();
        });
    }

    void setChosen(bool chosen, bool animated)
    {
        QFont f = font();
        f.setPixelSize(12);
        f.setWeight(chosen ? QFont::DemiBold : QFont::Normal);
        setFont(f);
        setProperty("chosen", chosen);
        const qreal target = chosen ? 1.0 : 0.0;
        m_animation->stop();
        if (animated && m_highlight != target) {
            m_animation->setStartValue(m_highlight);
            m_animation->setEndValue(target);
            m_animation->start();
        } else {
            m_highlight = target;
            setProperty("highlight", m_highlight);
        }
        updateGeometry();
        update();
    }
    qreal highlight() const { return m_highlight; }
    bool isAnimating() const { return m_animation->state() == QAbstractAnimation::Running; }

    QSize sizeHint() const override
    {
        QFont f = font();
        f.setWeight(QFont::DemiBold); // the same width chosen or not
        const QFontMetrics metrics(f);
        return {metrics.horizontalAdvance(text()) + 24, metrics.height() + 12};
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QColor fill = SettingsLook::accentColor();
        fill.setAlphaF(m_highlight);
        p.setPen(Qt::NoPen);
        p.setBrush(fill);
        p.drawRoundedRect(QRectF(rect()), 6, 6);
        const QColor from = SettingsLook::toneColor(SettingsLook::Tone::secondary);
        const QColor text = QColor::fromRgbF(from.redF() + (1 - from.redF()) * m_highlight,
                                             from.greenF() + (1 - from.greenF()) * m_highlight,
                                             from.blueF() + (1 - from.blueF()) * m_highlight,
                                             from.alphaF() + (1 - from.alphaF()) * m_highlight);
        p.setPen(text);
        p.setFont(font());
        p.drawText(rect(), Qt::AlignCenter, QAbstractButton::text());
        if (hasFocus()) {
            p.setPen(QPen(SettingsLook::accentColor().lighter(130), 1));
            p.setBrush(Qt::NoBrush);
            p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
        }
    }

private:
    qreal m_highlight = 0;
    QVariantAnimation* m_animation = new QVariantAnimation(this);
};

} // namespace

const QStringList& SettingsView::tabs()
{
    return SettingsForm::tabTitles();
}

SettingsView::SettingsView(QWidget* parent)
    : SettingsView({}, CalcSettings::shared(), Defaults::standard(), parent)
{
}

SettingsView::SettingsView(std::function<void()> onDismiss, CalcSettings& settings, QWidget* parent)
    : SettingsView(std::move(onDismiss), settings, Defaults::standard(), parent)
{
}

SettingsView::SettingsView(std::function<void()> onDismiss, CalcSettings& settings, Defaults& defaults,
                           QWidget* parent)
    : QWidget(parent)
    , m_onDismiss(std::move(onDismiss))
    , m_settings(settings)
    , m_defaults(defaults)
{
    setObjectName(QStringLiteral("SettingsView"));
    setWindowTitle(QStringLiteral("Settings"));
    build();
}

SettingsView::~SettingsView()
{
    commitTypedRates();
    // After that no field of a view that is going may reach it.
    for (QObject* child : findChildren<QObject*>())
        child->disconnect(this);
}

// A rate typed but not committed yet is kept, as leaving its field would keep
// it: the window may close (or the card go) without the field losing focus.
void SettingsView::commitTypedRates()
{
    for (int i = 0; i < int(m_taxRows.size()); ++i) {
        QLineEdit* field = m_taxRows[i].rate;
        if (field && field->isModified())
            commitRate(i);
    }
}

void SettingsView::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    commitTypedRates();
}

void SettingsView::build()
{
    setFocusPolicy(Qt::ClickFocus);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    // As wide as fixed, as tall as the shown tab: a window or card follows its content.
    column->setSizeConstraint(QLayout::SetFixedSize);
    setFixedWidth(480);

    column->addWidget(buildTabStrip());
    column->addWidget(SettingsLook::divider(this));
    auto* host = new QWidget(this);
    host->setObjectName(QStringLiteral("tabContentHost"));
    host->setFixedWidth(480);
    m_contentLayout = new QVBoxLayout(host);
    m_contentLayout->setContentsMargins(0, 0, 0, 0);
    m_contentLayout->setSpacing(0);
    column->addWidget(host);

    connect(&m_defaults, &Defaults::changed, this, &SettingsView::defaultsChanged);
    showTab(0, false);
}

QWidget* SettingsView::buildTabStrip()
{
    auto* strip = new QWidget(this);
    auto* row = new QHBoxLayout(strip);
    row->setContentsMargins(16, 12, 16, 12);
    row->setSpacing(0);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(2);
    for (int i = 0; i < tabs().size(); ++i) {
        auto* button = new TabButton(tabs()[i], strip);
        button->setObjectName(QStringLiteral("tab%1").arg(i));
        connect(button, &QAbstractButton::clicked, this, [this, i] { setSelectedTab(i); });
        buttons->addWidget(button);
        m_tabButtons.append(button);
    }
    row->addLayout(buttons);
    row->addStretch(1);

    m_closeButton = new QToolButton(strip);
    m_closeButton->setObjectName(QStringLiteral("closeButton"));
    m_closeButton->setToolTip(QStringLiteral("Close"));
    m_closeButton->setAccessibleName(QStringLiteral("Close"));
    m_closeButton->setCursor(Qt::PointingHandCursor);
    m_closeButton->setFixedSize(24, 24);
    m_closeButton->setIconSize(QSize(12, 12));
    m_closeButton->setIcon(settingsSymbolIcon(QStringLiteral("xmark"),
                                              SettingsLook::toneColor(SettingsLook::Tone::secondary), 12));
    m_closeButton->setStyleSheet(QStringLiteral(
        "QToolButton { background: rgba(255, 255, 255, 26); border: none; border-radius: 12px; }"
        " QToolButton:hover { background: rgba(255, 255, 255, 46); }"));
    connect(m_closeButton, &QToolButton::clicked, this, [this] {
        if (m_onDismiss)
            m_onDismiss();
    });
    row->addWidget(m_closeButton, 0, Qt::AlignVCenter);
    return strip;
}

void SettingsView::setSelectedTab(int index)
{
    if (index == m_selectedTab || index < 0 || index >= tabs().size())
        return;
    showTab(index, true);
    Q_EMIT selectedTabChanged(index);
}

void SettingsView::showTab(int index, bool animated)
{
    m_selectedTab = index;
    for (int i = 0; i < m_tabButtons.size(); ++i)
        static_cast<TabButton*>(m_tabButtons[i])->setChosen(i == index, animated);

    for (int i = 0; i < int(m_pages.size()); ++i) {
        if (m_pages[i] && i != index)
            m_pages[i]->hide();
    }
    if (!m_pages[index]) {
        m_pages[index] = buildTab(index);
        m_contentLayout->addWidget(m_pages[index]);
    } else {
        // A tab shows the settings as they are now, e.g. the time to the next refresh.
        refreshTab(index);
    }
    QWidget* page = m_pages[index];
    page->show();

    if (m_contentFade)
        m_contentFade->stop();
    if (!animated)
        return;
    // The new content fades in; its effect goes when the fade ends.
    auto* effect = new QGraphicsOpacityEffect(page);
    effect->setOpacity(0);
    page->setGraphicsEffect(effect);
    auto* fade = new QVariantAnimation(this);
    fade->setDuration(tabAnimationMilliseconds);
    fade->setEasingCurve(QEasingCurve::InOutQuad);
    fade->setStartValue(0.0);
    fade->setEndValue(1.0);
    QPointer<QWidget> target(page);
    connect(fade, &QVariantAnimation::valueChanged, effect, [effect](const QVariant& value) {
        effect->setOpacity(value.toReal());
    });
    connect(fade, &QAbstractAnimation::finished, this, [target] {
        if (target)
            target->setGraphicsEffect(nullptr);
    });
    connect(fade, &QAbstractAnimation::destroyed, this, [target] {
        if (target)
            target->setGraphicsEffect(nullptr);
    });
    m_contentFade = fade;
    fade->start(QAbstractAnimation::DeleteWhenStopped);
}

QWidget* SettingsView::buildTab(int index)
{
    switch (index) {
    case 0:
        return buildTaxContent();
    case 1:
        return buildCurrencyContent();
    case 2:
        return buildSyncContent();
    default:
        return buildInterfaceContent();
    }
}

void SettingsView::refreshTab(int index)
{
    switch (index) {
    case 0:
        refreshTaxRows();
        break;
    case 1:
        refreshCurrencies();
        refreshInterval();
        refreshRatesStatus();
        refreshLoading();
        refreshRatesError();
        break;
    case 2:
        refreshSync();
        break;
    default:
        refreshInterface();
        break;
    }
}

QAbstractButton* SettingsView::tabButton(int index) const
{
    return index >= 0 && index < m_tabButtons.size() ? m_tabButtons[index] : nullptr;
}

QAbstractButton* SettingsView::closeButton() const
{
    return m_closeButton;
}

QWidget* SettingsView::tabContent(int index) const
{
    return index >= 0 && index < int(m_pages.size()) ? m_pages[index] : nullptr;
}

bool SettingsView::isAnimatingTabChange() const
{
    for (QAbstractButton* button : m_tabButtons) {
        if (static_cast<TabButton*>(button)->isAnimating())
            return true;
    }
    return m_contentFade && m_contentFade->state() == QAbstractAnimation::Running;
}

void SettingsView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    // Rates are shown in the locale's number format, and follow it.
    if (event->type() == QEvent::LocaleChange && m_pages[0])
        refreshTaxRows();
}

void SettingsView::keyPressEvent(QKeyEvent* event)
{
    // Escape closes, as the close button does; a field or an open list that
    // takes Escape for itself keeps it.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        m_closeButton->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void SettingsView::defaultsChanged(const QString& key)
{
    if (m_pages[3])
        refreshInterface();
    if (m_pages[2] && key == QLatin1String("iCloudSyncEnabled"))
        refreshSync();
}
