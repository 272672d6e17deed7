#include "Models/CalcSettings.h"
#include "Engine/EngineCatalogue.h"

#include "Models/Identifiers.h"
#include "Platform/Defaults.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QtDebug>
#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace {

const QString taxRatesKey = QStringLiteral("taxRates");
const QString exchangeRatesKey = QStringLiteral("exchangeRates");
const QString enabledCurrencyCodesKey = QStringLiteral("enabledCurrencyCodes");
const QString autoRefreshHoursKey = QStringLiteral("exchangeRateAutoRefreshHours");
const QString decimalStyleKey = QStringLiteral("decimalStyle");
const QString serviceURLKey = QStringLiteral("exchangeRateServiceURL");
const char* const serviceURLEnvironment = "QUILLSHEET_EXCHANGE_RATE_URL";
const QString defaultServiceURL = QStringLiteral("https://api.exchangerate-api.com");

const QString unreadableDataText =
    QStringLiteral("The data couldn’t be read because it isn’t in the correct format.");
const QString timedOutText = QStringLiteral("The request timed out.");
const QString tooLargeText = QStringLiteral("The exchange-rate answer is larger than 1 MiB and was not read.");

// Stored dates count seconds from 2001-01-01 00:00:00 UTC.
qint64 referenceDateMSecs()
{
    static const qint64 msecs =
        QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC).toMSecsSinceEpoch();
    return msecs;
}

std::optional<double> encodeDate(const QDateTime& date)
{
    if (!date.isValid())
        return std::nullopt;
    return double(date.toMSecsSinceEpoch() - referenceDateMSecs()) / 1000.0;
}

std::optional<QDateTime> decodeDate(const QJsonValue& value)
{
    if (!value.isDouble())
        return std::nullopt;
    const double seconds = value.toDouble();
    // Beyond some 30 million years the milliseconds would no longer fit.
    if (!std::isfinite(seconds) || std::fabs(seconds) > 1e15)
        return std::nullopt;
    const QDateTime date = QDateTime::fromMSecsSinceEpoch(
        std::llround(seconds * 1000.0) + referenceDateMSecs(), Qt::UTC);
    if (!date.isValid())
        return std::nullopt;
    return date;
}

std::optional<QUuid> decodeUuid(const QJsonValue& value)
{
    if (!value.isString())
        return std::nullopt;
    const QString text = value.toString();
    if (text.size() != 36)
        return std::nullopt;
    const QUuid id = QUuid::fromString(text);
    if (id.isNull() && text != QLatin1String("00000000-0000-0000-0000-000000000000"))
        return std::nullopt;
    return id;
}

// No currency trades at a billionth or a trillion of another: a rate outside
// that range (negative, zero, tiny or huge) comes from a broken or hostile
// answer and would turn 100 EUR into -108 USD or 0 EUR.
bool isUsableRate(double rate)
{
    return std::isnormal(rate) && rate > 1e-9 && rate < 1e12;
}

// A JSON object of usable rates; any other member value fails the whole table.
std::optional<QHash<QString, double>> decodeRateTable(const QJsonValue& value)
{
    if (!value.isObject())
        return std::nullopt;
    QHash<QString, double> rates;
    const QJsonObject object = value.toObject();
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!it.value().isDouble() || !isUsableRate(it.value().toDouble()))
            return std::nullopt;
        rates.insert(it.key(), it.value().toDouble());
    }
    return rates;
}

std::optional<QByteArray> encodeTaxRates(const QList<CalcSettings::TaxRate>& rates)
{
    QJsonArray array;
    for (const auto& rate : rates) {
        // JSON has no NaN or infinity; Qt would write null and lose the list at the next start.
        if (!std::isfinite(rate.rate))
            return std::nullopt;
        array.append(QJsonObject{
            {QStringLiteral("id"), uuidString(rate.id)},
            {QStringLiteral("label"), rate.label},
            {QStringLiteral("rate"), rate.rate},
            {QStringLiteral("isEnabled"), rate.isEnabled},
        });
    }
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

std::optional<QList<CalcSettings::TaxRate>> decodeTaxRates(const QByteArray& data)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return std::nullopt;
    QList<CalcSettings::TaxRate> rates;
    for (const QJsonValue& element : document.array()) {
        if (!element.isObject())
            return std::nullopt;
        const QJsonObject object = element.toObject();
        const auto id = decodeUuid(object.value(QStringLiteral("id")));
        const QJsonValue label = object.value(QStringLiteral("label"));
        const QJsonValue rate = object.value(QStringLiteral("rate"));
        const QJsonValue isEnabled = object.value(QStringLiteral("isEnabled"));
        if (!id || !label.isString() || !rate.isDouble() || !isEnabled.isBool())
            return std::nullopt;
        rates.append(CalcSettings::TaxRate{*id, label.toString(), rate.toDouble(), isEnabled.toBool()});
    }
    return rates;
}

std::optional<QByteArray> encodeExchangeRates(const CalcSettings::ExchangeRates& table)
{
    const auto lastUpdated = encodeDate(table.lastUpdated);
    if (!lastUpdated)
        return std::nullopt;
    QJsonObject rates;
    for (auto it = table.rates.begin(); it != table.rates.end(); ++it) {
        if (!std::isfinite(it.value()))
            return std::nullopt;
        rates.insert(it.key(), it.value());
    }
    const QJsonObject object{
        {QStringLiteral("baseCurrency"), table.baseCurrency},
        {QStringLiteral("rates"), rates},
        {QStringLiteral("lastUpdated"), *lastUpdated},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<CalcSettings::ExchangeRates> decodeExchangeRates(const QByteArray& data)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const QJsonValue base = object.value(QStringLiteral("baseCurrency"));
    const auto rates = decodeRateTable(object.value(QStringLiteral("rates")));
    const auto lastUpdated = decodeDate(object.value(QStringLiteral("lastUpdated")));
    if (!base.isString() || !rates || !lastUpdated)
        return std::nullopt;
    return CalcSettings::ExchangeRates{base.toString(), *rates, *lastUpdated};
}

// The web service's answer: "base" and "rates" are required, the rest is ignored.
std::optional<CalcSettings::ExchangeRates> decodeServiceAnswer(const QByteArray& body)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const QJsonValue base = object.value(QStringLiteral("base"));
    const auto rates = decodeRateTable(object.value(QStringLiteral("rates")));
    if (!base.isString() || !rates)
        return std::nullopt;
    return CalcSettings::ExchangeRates{base.toString(), *rates, Clock::now()};
}

QList<CalcSettings::TaxRate> defaultTaxRates()
{
    return {
        {QUuid::createUuid(), QStringLiteral("MwSt"), 19.0, true},
        {QUuid::createUuid(), QStringLiteral("MwSt reduziert"), 7.0, true},
        {QUuid::createUuid(), QStringLiteral("Tax 3"), 0.0, false},
    };
}

const QStringList defaultCurrencyCodes{QStringLiteral("EUR"), QStringLiteral("USD")};

} // namespace

// DecimalStyle

QString rawValue(DecimalStyle style)
{
    switch (style) {
    case DecimalStyle::germanComma:
        return QStringLiteral("germanComma");
    case DecimalStyle::usPeriod:
        return QStringLiteral("usPeriod");
    }
    return {};
}

std::optional<DecimalStyle> decimalStyleFromRawValue(const QString& raw)
{
    for (const DecimalStyle style : allDecimalStyles()) {
        if (raw == rawValue(style))
            return style;
    }
    return std::nullopt;
}

QString displayName(DecimalStyle style)
{
    switch (style) {
    case DecimalStyle::germanComma:
        return QStringLiteral("Deutsch (1.000,50)");
    case DecimalStyle::usPeriod:
        return QStringLiteral("US/UK (1,000.50)");
    }
    return {};
}

QList<DecimalStyle> allDecimalStyles()
{
    return {DecimalStyle::germanComma, DecimalStyle::usPeriod};
}

// CalcSettings

std::optional<CalcSettings::SettingsTab> CalcSettings::settingsTabFromRawValue(int raw)
{
    if (raw < int(SettingsTab::general) || raw > int(SettingsTab::sync))
        return std::nullopt;
    return SettingsTab(raw);
}

CalcSettings::ExchangeRates CalcSettings::ExchangeRates::empty()
{
    return {QStringLiteral("EUR"), {}, QDateTime(QDate(1, 1, 1), QTime(0, 0), Qt::UTC)};
}

CalcSettings& CalcSettings::shared()
{
    // Lives as long as the process; never destroyed, so no network object outlives the application.
    static CalcSettings* const instance = new CalcSettings(Defaults::standard());
    return *instance;
}

CalcSettings::CalcSettings(Defaults& defaults, QObject* parent)
    : QObject(parent)
    , m_defaults(defaults)
{
    load();
}

CalcSettings::~CalcSettings()
{
    if (m_pendingReply) {
        m_pendingReply->disconnect(this);
        m_pendingReply->abort();
    }
}

// Reads the defaults database only; nothing is written back and nobody is notified.
void CalcSettings::load()
{
    m_selectedSettingsTab = SettingsTab::general;
    m_isLoadingRates = false;
    m_ratesError.reset();
    m_rowClipboard.reset();

    const auto storedTaxRates = m_defaults.dataValue(taxRatesKey);
    const auto decodedTaxRates = storedTaxRates ? decodeTaxRates(*storedTaxRates) : std::nullopt;
    m_taxRates = decodedTaxRates ? *decodedTaxRates : defaultTaxRates();

    const auto storedRates = m_defaults.dataValue(exchangeRatesKey);
    const auto decodedRates = storedRates ? decodeExchangeRates(*storedRates) : std::nullopt;
    m_exchangeRates = decodedRates ? *decodedRates : ExchangeRates::empty();

    const auto codes = m_defaults.stringListValue(enabledCurrencyCodesKey);
    m_enabledCurrencyCodes = codes && !codes->isEmpty() ? *codes : defaultCurrencyCodes;

    // A stored 0 is the manual choice and stays manual.
    const auto hours = m_defaults.integerValue(autoRefreshHoursKey);
    m_autoRefreshIntervalHours = hours && *hours >= 0 && *hours <= std::numeric_limits<int>::max() ? int(*hours) : 1;

    const auto style = m_defaults.stringValue(decimalStyleKey);
    const auto decoded = style ? decimalStyleFromRawValue(*style) : std::nullopt;
    m_decimalStyle = decoded.value_or(DecimalStyle::germanComma);
}

void CalcSettings::setSelectedSettingsTab(SettingsTab tab)
{
    if (m_selectedSettingsTab == tab)
        return;
    m_selectedSettingsTab = tab;
    Q_EMIT selectedSettingsTabChanged();
}

void CalcSettings::setTaxRates(const QList<TaxRate>& rates)
{
    for (const auto& rate : rates) {
        if (!std::isfinite(rate.rate)) {
            qWarning() << "Refused tax rates: a rate is not a finite number";
            return;
        }
    }
    m_taxRates = rates;
    saveTaxRates();
    // The engine clears its compiled patterns on this, before anyone evaluates again.
    Q_EMIT taxRatesChanged();
}

void CalcSettings::saveTaxRates()
{
    if (const auto data = encodeTaxRates(m_taxRates))
        m_defaults.setValue(taxRatesKey, *data);
}

void CalcSettings::setExchangeRates(const ExchangeRates& rates)
{
    m_exchangeRates = rates;
    saveExchangeRates();
    Q_EMIT exchangeRatesChanged();
}

void CalcSettings::saveExchangeRates()
{
    if (const auto data = encodeExchangeRates(m_exchangeRates))
        m_defaults.setValue(exchangeRatesKey, *data);
}

void CalcSettings::setLoadingRates(bool loading)
{
    if (m_isLoadingRates == loading)
        return;
    m_isLoadingRates = loading;
    Q_EMIT isLoadingRatesChanged();
}

void CalcSettings::setRatesError(const std::optional<QString>& error)
{
    if (m_ratesError == error)
        return;
    m_ratesError = error;
    Q_EMIT ratesErrorChanged();
}

void CalcSettings::setAutoRefreshIntervalHours(int hours)
{
    const bool changed = m_autoRefreshIntervalHours != hours;
    m_autoRefreshIntervalHours = hours;
    m_defaults.setValue(autoRefreshHoursKey, hours);
    if (changed)
        Q_EMIT autoRefreshIntervalHoursChanged();
}

void CalcSettings::setEnabledCurrencyCodes(const QStringList& codes)
{
    const bool changed = m_enabledCurrencyCodes != codes;
    m_enabledCurrencyCodes = codes;
    saveEnabledCurrencies();
    if (changed)
        Q_EMIT enabledCurrencyCodesChanged();
}

void CalcSettings::saveEnabledCurrencies()
{
    m_defaults.setValue(enabledCurrencyCodesKey, m_enabledCurrencyCodes);
}

void CalcSettings::setDecimalStyle(DecimalStyle style)
{
    const bool changed = m_decimalStyle != style;
    m_decimalStyle = style;
    m_defaults.setValue(decimalStyleKey, rawValue(style));
    if (changed)
        Q_EMIT decimalStyleChanged();
}

void CalcSettings::setRowClipboard(const std::optional<RowClipboard>& clipboard)
{
    m_rowClipboard = clipboard;
    Q_EMIT rowClipboardChanged();
}

const QList<CalcSettings::Currency>& CalcSettings::supportedCurrencies()
{
    static const QList<Currency> currencies = [] {
        QList<Currency> offered;
        for (const EngineCatalogue::Currency& currency : EngineCatalogue::currencies()) {
            if (currency.offeredForRates)
                offered.append({currency.code.toString(), currency.englishName.toString(), currency.shown.toString()});
        }
        return offered;
    }();
    return currencies;
}

QList<CalcSettings::Currency> CalcSettings::enabledCurrencies() const
{
    QList<Currency> result;
    for (const QString& code : m_enabledCurrencyCodes) {
        for (const Currency& currency : supportedCurrencies()) {
            if (currency.code == code) {
                result.append(currency);
                break;
            }
        }
    }
    return result;
}

QList<CalcSettings::TaxRate> CalcSettings::enabledTaxRates() const
{
    QList<TaxRate> result;
    for (const TaxRate& rate : m_taxRates) {
        if (rate.isEnabled && isUsableTaxLabel(rate.label))
            result.append(rate);
    }
    return result;
}

bool CalcSettings::isUsableTaxLabel(const QString& label)
{
    return std::any_of(label.cbegin(), label.cend(), [](QChar c) { return c.isLetter(); });
}

// Exchange rates

bool CalcSettings::ratesNeedRefresh() const
{
    const int hours = m_autoRefreshIntervalHours;
    if (hours < 1)
        return false;
    const qint64 ageMSecs = m_exchangeRates.lastUpdated.msecsTo(Clock::now());
    return ageMSecs > qint64(hours) * 3600 * 1000;
}

std::optional<QString> CalcSettings::timeUntilNextRefresh() const
{
    const int hours = m_autoRefreshIntervalHours;
    if (hours < 1)
        return std::nullopt;
    const qint64 remainingMSecs = Clock::now().msecsTo(m_exchangeRates.lastUpdated) + qint64(hours) * 3600 * 1000;
    if (remainingMSecs <= 0)
        return QStringLiteral("Aktualisierung fällig");
    const qint64 seconds = remainingMSecs / 1000;
    const qint64 wholeHours = seconds / 3600;
    const qint64 minutes = (seconds % 3600) / 60;
    const QString prefix = QStringLiteral("Nächste Aktualisierung in ");
    if (seconds < 3600)
        return prefix + QString::number(minutes) + QLatin1Char('m');
    return prefix + QString::number(wholeHours) + QStringLiteral("h ") + QString::number(minutes) + QLatin1Char('m');
}

std::optional<double> CalcSettings::convert(double amount, const QString& from, const QString& to) const
{
    const auto& rates = m_exchangeRates.rates;
    if (rates.isEmpty())
        return std::nullopt;
    // A rate outside the usable range counts as missing.
    auto rateOf = [&rates](const QString& code) -> std::optional<double> {
        const auto it = rates.constFind(code);
        if (it == rates.cend() || !isUsableRate(it.value()))
            return std::nullopt;
        return it.value();
    };
    const QString source = from.toUpper();
    const QString target = to.toUpper();
    const QString& base = m_exchangeRates.baseCurrency;
    // The base is tested as the source first, so base to base needs its own entry.
    if (source == base) {
        const auto rate = rateOf(target);
        return rate ? std::optional<double>(amount * *rate) : std::nullopt;
    }
    if (target == base) {
        const auto rate = rateOf(source);
        return rate ? std::optional<double>(amount / *rate) : std::nullopt;
    }
    const auto sourceRate = rateOf(source);
    const auto targetRate = rateOf(target);
    if (!sourceRate || !targetRate)
        return std::nullopt;
    return (amount / *sourceRate) * *targetRate;
}

void CalcSettings::refreshRatesIfNeeded()
{
    if (ratesNeedRefresh() || m_exchangeRates.rates.isEmpty())
        refreshExchangeRates();
}

QUrl CalcSettings::exchangeRateServiceURL() const
{
    if (const auto configured = m_defaults.stringValue(serviceURLKey)) {
        const QUrl url(configured->trimmed());
        if (!configured->trimmed().isEmpty() && url.isValid())
            return url;
    }
    const QString fromEnvironment = qEnvironmentVariable(serviceURLEnvironment).trimmed();
    if (!fromEnvironment.isEmpty()) {
        const QUrl url(fromEnvironment);
        if (url.isValid())
            return url;
    }
    return QUrl(defaultServiceURL);
}

void CalcSettings::refreshExchangeRates(std::function<void()> onFinished)
{
    if (onFinished)
        m_refreshWaiters.append(std::move(onFinished));
    // One request at a time: a later call waits for the running one, so an
    // older answer can never overwrite a newer table.
    if (m_pendingReply)
        return;

    QUrl url = exchangeRateServiceURL();
    // Only a web service answers: any other address (file://, say) is a
    // configuration error, never something to read.
    const QString scheme = url.scheme().toLower();
    if ((scheme != u"http" && scheme != u"https") || url.host().isEmpty()) {
        setRatesError(QStringLiteral("The exchange-rate service address “%1” is not an http or https address.")
                          .arg(url.toDisplayString()));
        const auto waiters = std::exchange(m_refreshWaiters, {});
        for (const auto& waiter : waiters)
            waiter();
        return;
    }

    setLoadingRates(true);
    setRatesError(std::nullopt);
    m_replyTooLarge = false;

    if (!m_network)
        m_network = new QNetworkAccessManager(this);

    QString path = url.path();
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    url.setPath(path + QStringLiteral("/v4/latest/EUR"));

    QNetworkRequest request(url);
    request.setTransferTimeout(int(m_transferTimeout.count()));
    QNetworkReply* reply = m_network->get(request);
    m_pendingReply = reply;

    connect(reply, &QNetworkReply::metaDataChanged, this, [this, reply] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > maximumRatesReplySize)
            abandonOversizedReply(reply);
    });
    connect(reply, &QNetworkReply::downloadProgress, this, [this, reply](qint64 received, qint64) {
        if (received > maximumRatesReplySize)
            abandonOversizedReply(reply);
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { finishRefresh(reply); });
}

void CalcSettings::abandonOversizedReply(QNetworkReply* reply)
{
    if (reply != m_pendingReply || reply->isFinished())
        return;
    m_replyTooLarge = true;
    reply->abort();
}

void CalcSettings::finishRefresh(QNetworkReply* reply)
{
    if (reply != m_pendingReply)
        return;
    reply->deleteLater();

    std::optional<ExchangeRates> fetched;
    QString error;
    const QNetworkReply::NetworkError networkError = reply->error();
    const bool hasStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
    // Codes below 200 are connection, time-out and proxy failures; higher ones
    // come with an HTTP status, and the body of such an answer is still read.
    const bool transportFailed =
        !hasStatus || (networkError != QNetworkReply::NoError && networkError < QNetworkReply::ContentAccessDenied);

    if (m_replyTooLarge) {
        error = tooLargeText;
    } else if (transportFailed) {
        // We abort only oversized answers, so a cancellation here is the transfer time-out.
        error = networkError == QNetworkReply::OperationCanceledError ? timedOutText : reply->errorString();
    } else {
        const QByteArray body = reply->read(maximumRatesReplySize + 1);
        if (body.size() > maximumRatesReplySize) {
            error = tooLargeText;
        } else {
            fetched = decodeServiceAnswer(body);
            if (!fetched)
                error = unreadableDataText;
        }
    }

    // Until the flag is down, a call from a listener still joins this refresh.
    if (fetched)
        setExchangeRates(*fetched);
    else
        setRatesError(error);
    setLoadingRates(false);
    m_pendingReply = nullptr;

    // Taken first: a waiter may start the next refresh.
    const auto waiters = std::exchange(m_refreshWaiters, {});
    for (const auto& waiter : waiters)
        waiter();
}

// Meta-object code built with this file, so linking the class pulls in no other class's.
#include "moc_CalcSettings.cpp"
