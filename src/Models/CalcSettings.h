#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QUuid>
#include <chrono>
#include <functional>
#include <optional>

class Defaults;
class QNetworkAccessManager;
class QNetworkReply;

// How typed numbers are read.
enum class DecimalStyle { germanComma, usPeriod };
QString rawValue(DecimalStyle style);
std::optional<DecimalStyle> decimalStyleFromRawValue(const QString& raw); // exact match only
QString displayName(DecimalStyle style);
QList<DecimalStyle> allDecimalStyles();

// The user's calculation preferences, the exchange-rate table and the row
// clipboard. One shared instance; every persisted property writes itself back
// to the defaults database on assignment.
class CalcSettings : public QObject {
    Q_OBJECT
public:
    enum class SettingsTab { general = 0, taxRates = 1, currency = 2, appearance = 3, sync = 4 };
    static std::optional<SettingsTab> settingsTabFromRawValue(int raw);

    struct TaxRate {
        QUuid id = QUuid::createUuid();
        QString label;
        double rate = 0;
        bool isEnabled = true;
        bool operator==(const TaxRate&) const = default;
    };

    struct ExchangeRates {
        QString baseCurrency;
        QHash<QString, double> rates;
        QDateTime lastUpdated;
        static ExchangeRates empty(); // "EUR", no rates, distant past
        bool operator==(const ExchangeRates&) const = default;
    };

    struct Currency {
        QString code;
        QString name;
        QString symbol;
        bool operator==(const Currency&) const = default;
    };

    // Detached copies of rows and the links among them, for copy and paste.
    struct CopiedBlock {
        QUuid id;
        QString blockType;
        QString expression;
        QString textContent;
        QString label;
        QString colorHex;
        QMap<QString, QString> partLabels;
        QMap<QString, QString> partColors;
        double relativeY = 0;
        bool operator==(const CopiedBlock&) const = default;
    };
    struct CopiedLink {
        QUuid sourceBlockID;
        QUuid destinationBlockID;
        QString placeholderName;
        bool operator==(const CopiedLink&) const = default;
    };
    struct RowClipboard {
        QList<CopiedBlock> blocks;
        QList<CopiedLink> links;
        QDateTime copyDate;
        bool operator==(const RowClipboard&) const = default;
    };

    static CalcSettings& shared();
    // For tests and tools: settings over a given defaults database.
    explicit CalcSettings(Defaults& defaults, QObject* parent = nullptr);
    ~CalcSettings() override;

    SettingsTab selectedSettingsTab() const { return m_selectedSettingsTab; }
    void setSelectedSettingsTab(SettingsTab tab);

    const QList<TaxRate>& taxRates() const { return m_taxRates; }
    // A list holding a non-finite rate is refused whole: it could not be stored.
    void setTaxRates(const QList<TaxRate>& rates);

    const ExchangeRates& exchangeRates() const { return m_exchangeRates; }
    void setExchangeRates(const ExchangeRates& rates);
    bool isLoadingRates() const { return m_isLoadingRates; }
    std::optional<QString> ratesError() const { return m_ratesError; }

    int autoRefreshIntervalHours() const { return m_autoRefreshIntervalHours; }
    void setAutoRefreshIntervalHours(int hours);

    const QStringList& enabledCurrencyCodes() const { return m_enabledCurrencyCodes; }
    void setEnabledCurrencyCodes(const QStringList& codes);

    DecimalStyle decimalStyle() const { return m_decimalStyle; }
    void setDecimalStyle(DecimalStyle style);

    const std::optional<RowClipboard>& rowClipboard() const { return m_rowClipboard; }
    void setRowClipboard(const std::optional<RowClipboard>& clipboard);

    static const QList<Currency>& supportedCurrencies();
    QList<Currency> enabledCurrencies() const;
    // The rates switched on whose labels can be used: a label needs a letter,
    // or it would stand for a number in every expression.
    QList<TaxRate> enabledTaxRates() const;
    static bool isUsableTaxLabel(const QString& label);

    // Exchange rates.
    bool ratesNeedRefresh() const;
    std::optional<QString> timeUntilNextRefresh() const;
    void refreshRatesIfNeeded();
    // Calls onFinished when this refresh (or the one it joined) has ended.
    void refreshExchangeRates(std::function<void()> onFinished = {});
    std::optional<double> convert(double amount, const QString& from, const QString& to) const;
    // Where the rates are fetched from: defaults key, environment, built-in default.
    QUrl exchangeRateServiceURL() const;
    // Longest wait for the exchange-rate answer (60 s); tests shorten it.
    void setRatesTransferTimeout(std::chrono::milliseconds timeout) { m_transferTimeout = timeout; }
    // Largest exchange-rate answer read; a larger one is abandoned.
    static constexpr qint64 maximumRatesReplySize = 1024 * 1024;

Q_SIGNALS:
    void selectedSettingsTabChanged();
    void taxRatesChanged();
    void exchangeRatesChanged();
    void isLoadingRatesChanged();
    void ratesErrorChanged();
    void autoRefreshIntervalHoursChanged();
    void enabledCurrencyCodesChanged();
    void decimalStyleChanged();
    void rowClipboardChanged();

private:
    void load();
    void saveTaxRates();
    void saveEnabledCurrencies();
    void saveExchangeRates();
    void setLoadingRates(bool loading);
    void setRatesError(const std::optional<QString>& error);
    void finishRefresh(QNetworkReply* reply);
    void abandonOversizedReply(QNetworkReply* reply);

    Defaults& m_defaults;
    SettingsTab m_selectedSettingsTab = SettingsTab::general;
    QList<TaxRate> m_taxRates;
    ExchangeRates m_exchangeRates;
    bool m_isLoadingRates = false;
    std::optional<QString> m_ratesError;
    int m_autoRefreshIntervalHours = 1;
    QStringList m_enabledCurrencyCodes;
    DecimalStyle m_decimalStyle = DecimalStyle::germanComma;
    std::optional<RowClipboard> m_rowClipboard;

    QNetworkAccessManager* m_network = nullptr;
    QNetworkReply* m_pendingReply = nullptr;
    QList<std::function<void()>> m_refreshWaiters;
    std::chrono::milliseconds m_transferTimeout = std::chrono::seconds(60);
    bool m_replyTooLarge = false;
};
