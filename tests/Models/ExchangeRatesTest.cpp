#include "support/LocalHttpServer.h"
#include "support/SettingsFixture.h"

#include <QDir>
#include <QNetworkProxy>
#include <QSignalSpy>
#include <QTcpServer>
#include <cmath>

namespace {

using Rates = CalcSettings::ExchangeRates;

const QString serviceKey = QStringLiteral("exchangeRateServiceURL");
const QString unreadable = QStringLiteral("The data couldn’t be read because it isn’t in the correct format.");
const QString prefix = QStringLiteral("Nächste Aktualisierung in ");

const QByteArray serviceAnswer =
    R"({"result":"success","base":"EUR","time_last_update_unix":1709596801,)"
    R"("rates":{"EUR":1,"USD":1.0834,"GBP":0.8551,"JPY":162.37}})";

QByteArray paddedAnswer(qsizetype size)
{
    QByteArray body = serviceAnswer;
    body.append(QByteArray(size - body.size(), ' '));
    return body;
}

} // namespace

class ExchangeRatesTest : public SettingsFixture {
protected:
    // A proxy from the environment must not carry test requests off this machine.
    void SetUp() override
    {
        SettingsFixture::SetUp();
        QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
    }

    // Settings pointed at the local server, with a known table in force.
    CalcSettings& openAgainstServer(const QUrl& base)
    {
        defaults->setValue(serviceKey, base.toString());
        CalcSettings& s = open();
        s.setExchangeRates(oldTable);
        return s;
    }

    bool finishes(CalcSettings& s) { return waitUntil([&] { return !s.isLoadingRates(); }); }

    void expectOldTableKept(CalcSettings& s)
    {
        EXPECT_EQ(s.exchangeRates(), oldTable);
        EXPECT_EQ(CalcSettings(*defaults).exchangeRates(), oldTable);
    }

    const Rates oldTable{QStringLiteral("EUR"), {{QStringLiteral("CHF"), 0.95}}, utc(2024, 1, 1)};
    LocalHttpServer server;
};

TEST_F(ExchangeRatesTest, ConvertPivotsOnTheStoredBase)
{
    CalcSettings& s = open();
    EXPECT_FALSE(s.convert(10, QStringLiteral("EUR"), QStringLiteral("USD"))); // empty table

    const double usd = 1.0834, gbp = 0.8551;
    s.setExchangeRates({QStringLiteral("EUR"),
                        {{QStringLiteral("USD"), usd}, {QStringLiteral("GBP"), gbp}, {QStringLiteral("XXX"), 0},
                         {QStringLiteral("NEG"), -usd}},
                        utc(2024, 1, 1)});
    EXPECT_EQ(s.convert(10, QStringLiteral("eur"), QStringLiteral("usd")), 10 * usd);
    EXPECT_EQ(s.convert(10, QStringLiteral("USD"), QStringLiteral("EUR")), 10 / usd);
    EXPECT_EQ(s.convert(10, QStringLiteral("Usd"), QStringLiteral("gbp")), (10 / usd) * gbp);
    EXPECT_EQ(s.convert(7, QStringLiteral("USD"), QStringLiteral("USD")), (7 / usd) * usd);
    EXPECT_FALSE(s.convert(10, QStringLiteral("EUR"), QStringLiteral("EUR"))); // no entry for the base itself
    EXPECT_FALSE(s.convert(10, QStringLiteral("EUR"), QStringLiteral("CHF")));
    EXPECT_FALSE(s.convert(10, QStringLiteral("CHF"), QStringLiteral("EUR")));
    EXPECT_FALSE(s.convert(10, QStringLiteral("CHF"), QStringLiteral("USD")));
    // Rates no currency has count as missing.
    EXPECT_FALSE(s.convert(10, QStringLiteral("XXX"), QStringLiteral("EUR")));
    EXPECT_FALSE(s.convert(100, QStringLiteral("EUR"), QStringLiteral("NEG")));
    EXPECT_FALSE(s.convert(100, QStringLiteral("NEG"), QStringLiteral("USD")));

    // Another base: conversions pivot on it; a lower-case stored base is not upper-cased.
    s.setExchangeRates({QStringLiteral("USD"), {{QStringLiteral("EUR"), 0.9}}, utc(2024, 1, 1)});
    EXPECT_EQ(s.convert(10, QStringLiteral("usd"), QStringLiteral("eur")), 10 * 0.9);
    s.setExchangeRates({QStringLiteral("eur"), {{QStringLiteral("USD"), usd}}, utc(2024, 1, 1)});
    EXPECT_FALSE(s.convert(10, QStringLiteral("eur"), QStringLiteral("usd")));
}

TEST_F(ExchangeRatesTest, StalenessNeedsStrictlyMoreThanTheInterval)
{
    const QDateTime now = utc(2024, 6, 1, 12);
    fixClock(now);
    CalcSettings& s = open();
    for (const int hours : {1, 6, 24}) {
        s.setAutoRefreshIntervalHours(hours);
        EXPECT_TRUE(s.ratesNeedRefresh()) << hours; // the empty table is from year 1
    }
    s.setAutoRefreshIntervalHours(0);
    EXPECT_FALSE(s.ratesNeedRefresh());

    s.setAutoRefreshIntervalHours(6);
    s.setExchangeRates({QStringLiteral("EUR"), {{QStringLiteral("USD"), 1.1}}, now.addSecs(-6 * 3600)});
    EXPECT_FALSE(s.ratesNeedRefresh());
    s.setExchangeRates({QStringLiteral("EUR"), {{QStringLiteral("USD"), 1.1}}, now.addMSecs(-6 * 3600 * 1000 - 1)});
    EXPECT_TRUE(s.ratesNeedRefresh());
    s.setAutoRefreshIntervalHours(-1);
    EXPECT_FALSE(s.ratesNeedRefresh());
}

TEST_F(ExchangeRatesTest, CountdownTexts)
{
    const QDateTime now = utc(2024, 6, 1, 12);
    fixClock(now);
    CalcSettings& s = open();
    EXPECT_EQ(s.timeUntilNextRefresh(), QStringLiteral("Aktualisierung fällig"));
    s.setAutoRefreshIntervalHours(0);
    EXPECT_FALSE(s.timeUntilNextRefresh());

    s.setAutoRefreshIntervalHours(1);
    const auto remaining = [&](int hours, qint64 remainingMSecs) {
        s.setAutoRefreshIntervalHours(hours);
        s.setExchangeRates({QStringLiteral("EUR"), {}, now.addMSecs(remainingMSecs - qint64(hours) * 3600 * 1000)});
        return s.timeUntilNextRefresh().value_or(QStringLiteral("<none>"));
    };
    EXPECT_EQ(remaining(1, 59 * 60 * 1000 + 59900), prefix + QStringLiteral("59m"));
    EXPECT_EQ(remaining(6, 3600 * 1000 + 500), prefix + QStringLiteral("1h 0m"));
    EXPECT_EQ(remaining(1, 400), prefix + QStringLiteral("0m"));
    EXPECT_EQ(remaining(1, 125 * 1000), prefix + QStringLiteral("2m"));
    EXPECT_EQ(remaining(24, (2 * 3600 + 2 * 60 + 2) * 1000), prefix + QStringLiteral("2h 2m"));
    EXPECT_EQ(remaining(24, (23 * 3600 + 59 * 60 + 59) * 1000), prefix + QStringLiteral("23h 59m"));
    EXPECT_EQ(remaining(1, 0), QStringLiteral("Aktualisierung fällig"));
    EXPECT_EQ(remaining(1, -1), QStringLiteral("Aktualisierung fällig"));
}

TEST_F(ExchangeRatesTest, ServiceAddressComesFromDefaultsThenEnvironment)
{
    CalcSettings& s = open();
    EXPECT_EQ(s.exchangeRateServiceURL(), QUrl(QStringLiteral("https://api.exchangerate-api.com")));
    qputenv("QUILLSHEET_EXCHANGE_RATE_URL", "http://127.0.0.1:9/env");
    EXPECT_EQ(s.exchangeRateServiceURL(), QUrl(QStringLiteral("http://127.0.0.1:9/env")));
    defaults->setValue(serviceKey, QStringLiteral("http://127.0.0.1:9/prefs"));
    EXPECT_EQ(s.exchangeRateServiceURL(), QUrl(QStringLiteral("http://127.0.0.1:9/prefs")));
    defaults->setValue(serviceKey, QString());
    EXPECT_EQ(s.exchangeRateServiceURL(), QUrl(QStringLiteral("http://127.0.0.1:9/env")));
    qunsetenv("QUILLSHEET_EXCHANGE_RATE_URL");
}

TEST_F(ExchangeRatesTest, SuccessfulRefreshReplacesTheWholeTable)
{
    const QDateTime now = utc(2024, 6, 1, 12, 30);
    fixClock(now);
    server.setAnswer({200, serviceAnswer});
    // A base with a path of its own keeps it.
    QUrl base = server.baseUrl();
    base.setPath(QStringLiteral("/mirror/"));
    CalcSettings& s = openAgainstServer(base);
    QSignalSpy table(&s, &CalcSettings::exchangeRatesChanged);
    QSignalSpy loading(&s, &CalcSettings::isLoadingRatesChanged);

    bool called = false;
    s.refreshExchangeRates([&] { called = true; });
    EXPECT_TRUE(s.isLoadingRates());
    ASSERT_TRUE(waitUntil([&] { return called; }));

    EXPECT_EQ(server.requestPaths(), QStringList{QStringLiteral("/mirror/v4/latest/EUR")});
    EXPECT_FALSE(s.isLoadingRates());
    EXPECT_FALSE(s.ratesError());
    const Rates expected{QStringLiteral("EUR"),
                         {{QStringLiteral("EUR"), 1}, {QStringLiteral("USD"), 1.0834},
                          {QStringLiteral("GBP"), 0.8551}, {QStringLiteral("JPY"), 162.37}},
                         now};
    EXPECT_EQ(s.exchangeRates(), expected); // CHF of the old table is gone
    EXPECT_EQ(table.count(), 1);
    EXPECT_EQ(loading.count(), 2);
    EXPECT_EQ(restart().exchangeRates(), expected);
}

TEST_F(ExchangeRatesTest, AnswerWithAnotherBaseIsTakenAsIs)
{
    server.setAnswer({200, R"({"base":"USD","rates":{"EUR":0.92}})"});
    CalcSettings& s = openAgainstServer(server.baseUrl());
    s.refreshExchangeRates();
    ASSERT_TRUE(finishes(s));
    EXPECT_EQ(s.exchangeRates().baseCurrency, QStringLiteral("USD"));
    EXPECT_EQ(s.convert(100, QStringLiteral("EUR"), QStringLiteral("USD")), 100 / 0.92);
}

TEST_F(ExchangeRatesTest, UnreadableAnswersKeepTheOldTable)
{
    const QList<LocalHttpServer::Answer> answers{
        {404, "<html><body><h1>Not Found</h1></body></html>", "text/html"},
        {200, "\x89PNG garbage \x00\x01", "application/octet-stream"},
        {200, R"({"base":"EUR"})"},
        {200, R"({"base":"EUR","rates":{"USD":"1.08"}})"},
        {200, R"({"base":null,"rates":{"USD":1.08}})"},
        {200, R"([{"base":"EUR","rates":{}}])"},
        {500, ""},
        // Rates no currency has: the whole answer goes, the good rates with it.
        {200, R"({"base":"EUR","rates":{"GBP":0.85,"USD":-1.08}})"},
        {200, R"({"base":"EUR","rates":{"USD":1e308}})"},
        {200, R"({"base":"EUR","rates":{"USD":0}})"},
        {200, R"({"base":"EUR","rates":{"USD":5e-324}})"},
        {200, R"({"base":"EUR","rates":{"USD":1e-9}})"},
        {200, R"({"base":"EUR","rates":{"USD":1e12}})"},
    };
    for (const auto& answer : answers) {
        SCOPED_TRACE(answer.body.toStdString());
        server.setAnswer(answer);
        CalcSettings& s = openAgainstServer(server.baseUrl());
        s.refreshExchangeRates();
        ASSERT_TRUE(finishes(s));
        EXPECT_EQ(s.ratesError(), unreadable);
        expectOldTableKept(s);
    }
}

TEST_F(ExchangeRatesTest, ErrorStatusWithAReadableBodyIsAccepted)
{
    server.setAnswer({503, R"({"base":"EUR","rates":{"USD":1.2}})"});
    CalcSettings& s = openAgainstServer(server.baseUrl());
    s.refreshExchangeRates();
    ASSERT_TRUE(finishes(s));
    EXPECT_FALSE(s.ratesError());
    EXPECT_EQ(s.exchangeRates().rates.value(QStringLiteral("USD")), 1.2);
}

TEST_F(ExchangeRatesTest, RefusedConnectionReportsTheTransportError)
{
    QUrl closed;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        closed = QUrl(QStringLiteral("http://127.0.0.1:%1").arg(probe.serverPort()));
    }
    CalcSettings& s = openAgainstServer(closed);
    s.refreshExchangeRates();
    ASSERT_TRUE(finishes(s));
    ASSERT_TRUE(s.ratesError());
    EXPECT_FALSE(s.ratesError()->isEmpty());
    EXPECT_NE(s.ratesError(), unreadable);
    expectOldTableKept(s);
}

TEST_F(ExchangeRatesTest, OnlyAWebAddressIsAsked)
{
    const QString local = QDir(QDir::tempPath()).filePath(QStringLiteral("rates"));
    for (const QString& address : {QUrl::fromLocalFile(local).toString(), QStringLiteral("ftp://127.0.0.1/"),
                                   QStringLiteral("https:rates")}) {
        SCOPED_TRACE(address.toStdString());
        CalcSettings& s = openAgainstServer(QUrl(address));
        bool called = false;
        s.refreshExchangeRates([&] { called = true; });
        EXPECT_TRUE(called);
        EXPECT_FALSE(s.isLoadingRates());
        ASSERT_TRUE(s.ratesError());
        EXPECT_TRUE(s.ratesError()->contains(QStringLiteral("is not an http or https address")));
        expectOldTableKept(s);
    }
}

TEST_F(ExchangeRatesTest, SilentServerEndsInATimeout)
{
    server.setMode(LocalHttpServer::Mode::silent);
    CalcSettings& s = openAgainstServer(server.baseUrl());
    s.setRatesTransferTimeout(std::chrono::milliseconds(200));
    s.refreshExchangeRates();
    ASSERT_TRUE(finishes(s));
    EXPECT_EQ(server.requestCount(), 1);
    EXPECT_EQ(s.ratesError(), QStringLiteral("The request timed out."));
    expectOldTableKept(s);
}

TEST_F(ExchangeRatesTest, AnswersAreCappedAtOneMebibyte)
{
    const qsizetype cap = CalcSettings::maximumRatesReplySize;
    ASSERT_EQ(cap, 1024 * 1024);

    // Exactly at the cap: still read.
    server.setAnswer({200, paddedAnswer(cap), "application/json", false});
    CalcSettings& s = openAgainstServer(server.baseUrl());
    s.refreshExchangeRates();
    ASSERT_TRUE(finishes(s));
    EXPECT_FALSE(s.ratesError());
    EXPECT_EQ(s.exchangeRates().rates.size(), 4);

    // One byte more, announced or not: abandoned with a readable reason.
    for (const bool announced : {true, false}) {
        SCOPED_TRACE(announced ? "with Content-Length" : "without Content-Length");
        server.setAnswer({200, paddedAnswer(cap + 1), "application/json", announced});
        CalcSettings& again = openAgainstServer(server.baseUrl());
        again.refreshExchangeRates();
        ASSERT_TRUE(finishes(again));
        ASSERT_TRUE(again.ratesError());
        EXPECT_TRUE(again.ratesError()->contains(QStringLiteral("1 MiB")));
        expectOldTableKept(again);
    }
}

TEST_F(ExchangeRatesTest, SecondRefreshJoinsTheRunningOne)
{
    server.setMode(LocalHttpServer::Mode::hold);
    server.setAnswer({200, serviceAnswer});
    CalcSettings& s = openAgainstServer(server.baseUrl());
    QList<bool> loadingStates;
    QObject::connect(&s, &CalcSettings::isLoadingRatesChanged, [&] { loadingStates.append(s.isLoadingRates()); });

    QStringList finished;
    s.refreshExchangeRates([&] {
        finished.append(QStringLiteral("first"));
        EXPECT_FALSE(s.isLoadingRates());
    });
    ASSERT_TRUE(waitUntil([&] { return server.requestCount() == 1; }));
    s.refreshExchangeRates([&] { finished.append(QStringLiteral("second")); });
    EXPECT_TRUE(s.isLoadingRates());

    server.releaseHeld();
    ASSERT_TRUE(waitUntil([&] { return finished.size() == 2; }));
    EXPECT_EQ(finished, (QStringList{QStringLiteral("first"), QStringLiteral("second")}));
    EXPECT_EQ(loadingStates, (QList<bool>{true, false}));
    EXPECT_EQ(s.exchangeRates().rates.size(), 4);

    // A later refresh is a new request; had the joined call sent one, it would be counted before it.
    server.setMode(LocalHttpServer::Mode::answer);
    s.refreshExchangeRates();
    ASSERT_TRUE(finishes(s));
    EXPECT_EQ(server.requestCount(), 2);
}

TEST_F(ExchangeRatesTest, ListenersAndCallbacksMayAskForMore)
{
    server.setAnswer({200, serviceAnswer});
    CalcSettings& s = openAgainstServer(server.baseUrl());
    QStringList finished;
    // Asked while the result is being applied: joins, no second request.
    QObject::connect(&s, &CalcSettings::exchangeRatesChanged, [&] {
        s.refreshExchangeRates([&] { finished.append(QStringLiteral("listener")); });
    });
    s.refreshExchangeRates([&] {
        finished.append(QStringLiteral("first"));
        QObject::disconnect(&s, &CalcSettings::exchangeRatesChanged, nullptr, nullptr);
        // Asked after the end: a refresh of its own.
        s.refreshExchangeRates([&] { finished.append(QStringLiteral("after")); });
        EXPECT_TRUE(s.isLoadingRates());
    });
    ASSERT_TRUE(waitUntil([&] { return finished.size() == 3; }));
    EXPECT_EQ(finished, (QStringList{QStringLiteral("first"), QStringLiteral("listener"), QStringLiteral("after")}));
    EXPECT_FALSE(s.isLoadingRates());
    EXPECT_EQ(server.requestCount(), 2);
}

TEST_F(ExchangeRatesTest, NewRefreshClearsTheLastError)
{
    server.setAnswer({404, "<html></html>", "text/html"});
    CalcSettings& s = openAgainstServer(server.baseUrl());
    s.refreshExchangeRates();
    ASSERT_TRUE(finishes(s));
    ASSERT_TRUE(s.ratesError());

    server.setMode(LocalHttpServer::Mode::hold);
    s.refreshExchangeRates();
    EXPECT_TRUE(s.isLoadingRates());
    EXPECT_FALSE(s.ratesError());
    ASSERT_TRUE(waitUntil([&] { return server.requestCount() == 2; }));
    server.setAnswer({200, serviceAnswer});
    server.releaseHeld();
    ASSERT_TRUE(finishes(s));
    EXPECT_FALSE(s.ratesError());
}

TEST_F(ExchangeRatesTest, RefreshIfNeededFetchesOnlyStaleOrEmptyTables)
{
    const QDateTime now = utc(2024, 6, 1, 12);
    fixClock(now);
    server.setAnswer({200, serviceAnswer});
    defaults->setValue(serviceKey, server.baseUrl().toString());
    CalcSettings& s = open();

    s.setExchangeRates({QStringLiteral("EUR"), {{QStringLiteral("USD"), 1.1}}, now.addSecs(-3600)});
    s.refreshRatesIfNeeded(); // exactly one hour old: fresh
    EXPECT_FALSE(s.isLoadingRates());

    s.setAutoRefreshIntervalHours(0);
    s.setExchangeRates({QStringLiteral("EUR"), {{QStringLiteral("USD"), 1.1}}, utc(2000, 1, 1)});
    s.refreshRatesIfNeeded(); // manual: old is fine
    EXPECT_FALSE(s.isLoadingRates());

    s.setExchangeRates(Rates::empty());
    s.refreshRatesIfNeeded(); // manual, but nothing to convert with
    EXPECT_TRUE(s.isLoadingRates());
    ASSERT_TRUE(finishes(s));

    s.setAutoRefreshIntervalHours(1);
    s.setExchangeRates({QStringLiteral("EUR"), {{QStringLiteral("USD"), 1.1}}, now.addMSecs(-3600 * 1000 - 1)});
    s.refreshRatesIfNeeded();
    ASSERT_TRUE(finishes(s));
    EXPECT_EQ(server.requestCount(), 2);
    EXPECT_EQ(s.exchangeRates().lastUpdated, now);
}

TEST_F(ExchangeRatesTest, SettingsMayGoAwayWhileARequestRuns)
{
    server.setMode(LocalHttpServer::Mode::hold);
    server.setAnswer({200, serviceAnswer});
    CalcSettings& s = openAgainstServer(server.baseUrl());
    bool called = false;
    s.refreshExchangeRates([&] { called = true; });
    ASSERT_TRUE(waitUntil([&] { return server.requestCount() == 1; }));

    settings.reset();
    server.releaseHeld();
    QCoreApplication::processEvents();
    EXPECT_FALSE(called);
    EXPECT_EQ(CalcSettings(*defaults).exchangeRates(), oldTable);
}
