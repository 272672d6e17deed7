// The Tax Rates and Currency tabs of the settings view.

#include "Views/Settings/SettingsView.h"

#include "Models/CalcSettings.h"
#include "Services/SettingsForm.h"
#include "Views/Window/ColumnLayout.h"
#include "Views/Settings/SettingsSymbols.h"
#include "Views/Settings/SettingsViewParts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGraphicsOpacityEffect>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPainter>
#include <QToolButton>
#include <QVBoxLayout>
#include <QVariantAnimation>

using SettingsLook::Tone;

namespace {

// The small turning arc shown while rates are fetched.
class ActivitySpinner : public QWidget {
public:
    explicit ActivitySpinner(QWidget* parent)
        : QWidget(parent)
    {
        setFixedSize(12, 12);
        m_turn.setStartValue(0.0);
        m_turn.setEndValue(360.0);
        m_turn.setDuration(900);
        m_turn.setLoopCount(-1);
        QObject::connect(&m_turn, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
            m_angle = value.toReal();
            update();
        });
    }

protected:
    void showEvent(QShowEvent*) override { m_turn.start(); }
    void hideEvent(QHideEvent*) override { m_turn.stop(); }
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(SettingsLook::toneColor(Tone::secondary), 1.6, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5), int(-m_angle * 16), 270 * 16);
    }

private:
    QVariantAnimation m_turn;
    qreal m_angle = 0;
};

QCheckBox* plainCheckbox(QWidget* parent, const QString& accessibleName)
{
    auto* box = new QCheckBox(parent);
    box->setStyleSheet(SettingsLook::checkboxStyleSheet());
    box->setAccessibleName(accessibleName);
    box->setCursor(Qt::PointingHandCursor);
    return box;
}

} // namespace

// ---- Tax Rates ----

QWidget* SettingsView::buildTaxContent()
{
    auto* page = new QWidget;
    auto* column = namedColumn(page, QStringLiteral("taxContent"), 20, 12);

    for (int i = 0; i < int(m_taxRows.size()); ++i) {
        TaxRow& taxRow = m_taxRows[i];
        taxRow.row = new QWidget(page);
        taxRow.row->setObjectName(QStringLiteral("taxRow%1").arg(i));
        auto* row = new QHBoxLayout(taxRow.row);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(12);

        taxRow.enabled = plainCheckbox(taxRow.row, QStringLiteral("Enabled"));
        taxRow.enabled->setObjectName(QStringLiteral("taxEnabled%1").arg(i));
        taxRow.label = new QLineEdit(taxRow.row);
        taxRow.label->setObjectName(QStringLiteral("taxLabel%1").arg(i));
        taxRow.label->setPlaceholderText(QStringLiteral("Label"));
        taxRow.label->setStyleSheet(SettingsLook::fieldStyleSheet());
        taxRow.label->setFixedWidth(120);
        taxRow.rate = new QLineEdit(taxRow.row);
        taxRow.rate->setObjectName(QStringLiteral("taxRate%1").arg(i));
        taxRow.rate->setStyleSheet(SettingsLook::fieldStyleSheet());
        taxRow.rate->setFixedWidth(50);
        taxRow.rate->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        taxRow.rate->setAccessibleName(QStringLiteral("Rate"));

        auto* rateBox = new QHBoxLayout;
        rateBox->setSpacing(4);
        rateBox->addWidget(taxRow.rate);
        rateBox->addWidget(SettingsLook::caption(QStringLiteral("%"), 13, Tone::secondary, taxRow.row));

        row->addWidget(taxRow.enabled);
        row->addWidget(taxRow.label);
        row->addLayout(rateBox);
        row->addStretch(1);

        // A dimmed row stays fully usable.
        taxRow.dim = new QGraphicsOpacityEffect(taxRow.row);
        taxRow.dim->setOpacity(1.0);
        taxRow.row->setGraphicsEffect(taxRow.dim);

        // Each edit changes one field of one rate; the settings save the list.
        connect(taxRow.enabled, &QCheckBox::clicked, this, [this, i](bool on) {
            QList<CalcSettings::TaxRate> rates = m_settings.taxRates();
            if (i >= rates.size())
                return;
            rates[i].isEnabled = on;
            m_settings.setTaxRates(rates);
        });
        connect(taxRow.label, &QLineEdit::textEdited, this, [this, i](const QString& text) {
            QList<CalcSettings::TaxRate> rates = m_settings.taxRates();
            if (i >= rates.size())
                return;
            const std::optional<QString> refusal = SettingsForm::taxLabelRefusal(text, rates[i].label);
            m_taxLabelRefusal->setText(refusal.value_or(QString()));
            m_taxLabelRefusal->setVisible(refusal.has_value());
            if (refusal)
                return;
            rates[i].label = text;
            m_settings.setTaxRates(rates);
        });
        // A label that was not taken gives way to the one in force.
        connect(taxRow.label, &QLineEdit::editingFinished, this, [this, i] {
            if (i < m_settings.taxRates().size() && m_taxRows[i].label->text() != m_settings.taxRates()[i].label)
                m_taxRows[i].label->setText(m_settings.taxRates()[i].label);
        });
        connect(taxRow.rate, &QLineEdit::editingFinished, this, [this, i] { commitRate(i); });
        column->addWidget(taxRow.row);
    }

    m_taxLabelRefusal = SettingsLook::caption(QString(), 10, Tone::primary, page);
    m_taxLabelRefusal->setObjectName(QStringLiteral("taxLabelRefusal"));
    m_taxLabelRefusal->setWordWrap(true);
    QPalette red = m_taxLabelRefusal->palette();
    red.setColor(QPalette::WindowText, QColor(0xff, 0x45, 0x3a));
    m_taxLabelRefusal->setPalette(red);
    m_taxLabelRefusal->hide();
    column->addWidget(m_taxLabelRefusal);

    auto* hint = SettingsLook::caption(QStringLiteral("Type # to insert tax rates in calculations"), 11,
                                       Tone::tertiary, page);
    hint->setContentsMargins(0, 4, 0, 0);
    column->addWidget(hint);

    connect(&m_settings, &CalcSettings::taxRatesChanged, page, [this] { refreshTaxRows(); });
    refreshTaxRows();
    return page;
}

void SettingsView::refreshTaxRows()
{
    const QList<CalcSettings::TaxRate>& rates = m_settings.taxRates();
    const int shown = SettingsForm::taxRateRowCount(rates);
    for (int i = 0; i < int(m_taxRows.size()); ++i) {
        TaxRow& taxRow = m_taxRows[i];
        if (!taxRow.row)
            return;
        taxRow.row->setVisible(i < shown);
        if (i >= shown)
            continue;
        const CalcSettings::TaxRate& rate = rates[i];
        taxRow.enabled->setChecked(rate.isEnabled);
        // Only a change made elsewhere differs; the field being typed in keeps its cursor.
        if (taxRow.label->text() != rate.label)
            taxRow.label->setText(rate.label);
        const bool typing = taxRow.rate->hasFocus() && taxRow.rate->isModified();
        if (!typing)
            taxRow.rate->setText(SettingsForm::taxRateFieldText(rate.rate, locale()));
        taxRow.dim->setOpacity(rate.isEnabled ? 1.0 : 0.5);
    }
}

void SettingsView::commitRate(int index)
{
    TaxRow& taxRow = m_taxRows[index];
    const std::optional<double> typed = SettingsForm::parseTaxRate(taxRow.rate->text(), locale());
    QList<CalcSettings::TaxRate> rates = m_settings.taxRates();
    taxRow.rate->setModified(false);
    if (typed && index < rates.size() && rates[index].rate != *typed) {
        rates[index].rate = *typed;
        m_settings.setTaxRates(rates);
    }
    // Shows the stored rate: the typed one in the locale's own form, or the
    // old one again when the text was no number.
    if (index < m_settings.taxRates().size())
        taxRow.rate->setText(SettingsForm::taxRateFieldText(m_settings.taxRates()[index].rate, locale()));
}

// ---- Currency ----

QWidget* SettingsView::buildCurrencyContent()
{
    auto* page = new QWidget;
    auto* column = namedColumn(page, QStringLiteral("currencyContent"), 20, 16);

    auto* grid = new QGridLayout;
    grid->setVerticalSpacing(8);
    const QList<CalcSettings::Currency>& currencies = CalcSettings::supportedCurrencies();
    for (int i = 0; i < currencies.size(); ++i) {
        const CalcSettings::Currency& currency = currencies[i];
        auto* cell = new QWidget(page);
        auto* row = new QHBoxLayout(cell);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(6);
        auto* box = plainCheckbox(cell, currency.code);
        box->setObjectName(QStringLiteral("currency") + currency.code);
        auto* symbol = SettingsLook::caption(currency.symbol, 12, Tone::primary, cell, QFont::Medium);
        symbol->setFixedWidth(24);
        symbol->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        row->addWidget(box);
        row->addWidget(symbol);
        row->addWidget(SettingsLook::caption(currency.code, 11, Tone::secondary, cell));
        grid->addWidget(cell, i / 3, i % 3, Qt::AlignCenter);
        grid->setColumnStretch(i % 3, 1);
        const QString code = currency.code;
        connect(box, &QCheckBox::clicked, this, [this, code](bool on) {
            const QStringList codes = SettingsForm::withCurrency(m_settings.enabledCurrencyCodes(), code, on);
            if (codes != m_settings.enabledCurrencyCodes())
                m_settings.setEnabledCurrencyCodes(codes);
        });
        m_currencyBoxes.append(box);
    }
    column->addLayout(grid);
    column->addWidget(SettingsLook::divider(page));

    auto* intervalRow = SettingsLook::titledRow(QStringLiteral("Automatische Aktualisierung"), 12, page);
    m_interval = new QComboBox(page);
    m_interval->setObjectName(QStringLiteral("refreshInterval"));
    m_interval->setFixedWidth(140);
    for (const auto& option : SettingsForm::refreshIntervalOptions())
        m_interval->addItem(option.title, option.hours);
    // activated, not currentIndexChanged: showing the stored value writes nothing.
    connect(m_interval, &QComboBox::activated, this, [this](int index) {
        const auto& options = SettingsForm::refreshIntervalOptions();
        if (index >= 0 && index < options.size())
            m_settings.setAutoRefreshIntervalHours(options[index].hours);
    });
    intervalRow->addWidget(m_interval);
    column->addLayout(intervalRow);
    column->addWidget(SettingsLook::divider(page));

    auto* statusRow = new QHBoxLayout;
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    m_ratesStatus = SettingsLook::caption(QString(), 12, Tone::secondary, page);
    m_ratesStatus->setObjectName(QStringLiteral("ratesStatus"));
    m_nextRefresh = SettingsLook::caption(QString(), 10, Tone::quaternary, page);
    m_nextRefresh->setObjectName(QStringLiteral("nextRefresh"));
    texts->addWidget(m_ratesStatus);
    texts->addWidget(m_nextRefresh);
    statusRow->addLayout(texts);
    statusRow->addStretch(1);

    m_refreshButton = new QToolButton(page);
    m_refreshButton->setObjectName(QStringLiteral("refreshRates"));
    m_refreshButton->setAutoRaise(true);
    m_refreshButton->setCursor(Qt::PointingHandCursor);
    m_refreshButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_refreshButton->setIconSize(QSize(11, 11));
    m_refreshButton->setStyleSheet(QStringLiteral(
        "QToolButton { color: rgba(235, 235, 245, 153); font-size: 11px; border: none; padding: 2px 4px; }"
        " QToolButton:hover { color: rgba(235, 235, 245, 220); }"));
    m_refreshButton->setMinimumSize(QSize(24, 20));
    auto* spinnerBox = new QHBoxLayout(m_refreshButton);
    spinnerBox->setContentsMargins(0, 0, 0, 0);
    m_spinner = new ActivitySpinner(m_refreshButton);
    m_spinner->setObjectName(QStringLiteral("refreshSpinner"));
    m_spinner->hide();
    spinnerBox->addWidget(m_spinner, 0, Qt::AlignCenter);
    connect(m_refreshButton, &QToolButton::clicked, this, [this] { m_settings.refreshExchangeRates(); });
    statusRow->addWidget(m_refreshButton, 0, Qt::AlignVCenter);
    column->addLayout(statusRow);

    m_ratesError = SettingsLook::caption(QString(), 10, Tone::primary, page);
    m_ratesError->setObjectName(QStringLiteral("ratesError"));
    m_ratesError->setWordWrap(true);
    m_ratesError->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QPalette red = m_ratesError->palette();
    red.setColor(QPalette::WindowText, QColor(0xff, 0x45, 0x3a));
    m_ratesError->setPalette(red);
    column->addWidget(m_ratesError);

    connect(&m_settings, &CalcSettings::enabledCurrencyCodesChanged, page, [this] { refreshCurrencies(); });
    connect(&m_settings, &CalcSettings::autoRefreshIntervalHoursChanged, page, [this] {
        refreshInterval();
        refreshRatesStatus();
    });
    connect(&m_settings, &CalcSettings::exchangeRatesChanged, page, [this] { refreshRatesStatus(); });
    connect(&m_settings, &CalcSettings::isLoadingRatesChanged, page, [this] { refreshLoading(); });
    connect(&m_settings, &CalcSettings::ratesErrorChanged, page, [this] { refreshRatesError(); });

    refreshCurrencies();
    refreshInterval();
    refreshRatesStatus();
    refreshLoading();
    refreshRatesError();
    return page;
}

void SettingsView::refreshCurrencies()
{
    const QStringList& codes = m_settings.enabledCurrencyCodes();
    const QList<CalcSettings::Currency>& currencies = CalcSettings::supportedCurrencies();
    for (int i = 0; i < m_currencyBoxes.size(); ++i)
        m_currencyBoxes[i]->setChecked(codes.contains(currencies[i].code));
}

void SettingsView::refreshInterval()
{
    // A stored interval the menu does not offer shows no choice and stays stored.
    const std::optional<int> index = SettingsForm::refreshIntervalIndex(m_settings.autoRefreshIntervalHours());
    m_interval->setCurrentIndex(index.value_or(-1));
}

void SettingsView::refreshRatesStatus()
{
    const SettingsForm::RatesStatus status = SettingsForm::ratesStatus(m_settings, locale());
    m_ratesStatus->setText(status.text);
    QFont font = m_ratesStatus->font();
    font.setPixelSize(status.loaded ? 11 : 12);
    m_ratesStatus->setFont(font);
    QPalette palette = m_ratesStatus->palette();
    palette.setColor(QPalette::WindowText, SettingsLook::toneColor(status.loaded ? Tone::tertiary : Tone::secondary));
    m_ratesStatus->setPalette(palette);
    m_nextRefresh->setText(status.nextRefresh.value_or(QString()));
    m_nextRefresh->setVisible(status.nextRefresh.has_value());
}

void SettingsView::refreshLoading()
{
    const bool loading = m_settings.isLoadingRates();
    m_refreshButton->setEnabled(!loading);
    m_spinner->setVisible(loading);
    if (loading) {
        m_refreshButton->setText(QString());
        m_refreshButton->setIcon(QIcon());
    } else {
        m_refreshButton->setText(QStringLiteral("Aktualisieren"));
        m_refreshButton->setIcon(
            settingsSymbolIcon(QStringLiteral("arrow.clockwise"), SettingsLook::toneColor(Tone::secondary), 11));
    }
}

void SettingsView::refreshRatesError()
{
    const std::optional<QString> error = m_settings.ratesError();
    m_ratesError->setText(error.value_or(QString()));
    m_ratesError->setVisible(error.has_value());
}
