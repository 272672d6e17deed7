#include "support/SettingsFixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <cmath>
#include <limits>

namespace {

using TaxRate = CalcSettings::TaxRate;

const QString taxRatesKey = QStringLiteral("taxRates");

QStringList labelsOf(const QList<TaxRate>& rates)
{
    QStringList labels;
    for (const auto& rate : rates)
        labels.append(rate.label);
    return labels;
}

QStringList codesOf(const QList<CalcSettings::Currency>& currencies)
{
    QStringList codes;
    for (const auto& currency : currencies)
        codes.append(currency.code);
    return codes;
}

void expectDefaultTaxRates(const QList<TaxRate>& rates)
{
    ASSERT_EQ(rates.size(), 3);
    EXPECT_EQ(labelsOf(rates), (QStringList{QStringLiteral("MwSt"), QStringLiteral("MwSt reduziert"), QStringLiteral("Tax 3")}));
    EXPECT_EQ(rates[0].rate, 19.0);
    EXPECT_EQ(rates[1].rate, 7.0);
    EXPECT_EQ(rates[2].rate, 0.0);
    EXPECT_TRUE(rates[0].isEnabled);
    EXPECT_TRUE(rates[1].isEnabled);
    EXPECT_FALSE(rates[2].isEnabled);
    EXPECT_FALSE(rates[0].id.isNull());
    EXPECT_NE(rates[0].id, rates[1].id);
    EXPECT_NE(rates[1].id, rates[2].id);
}

} // namespace

using CalcSettingsTest = SettingsFixture;

TEST_F(CalcSettingsTest, FirstStartGivesDefaultsAndWritesNothing)
{
    QSignalSpy writes(defaults.get(), &Defaults::changed);
    CalcSettings& s = open();

    expectDefaultTaxRates(s.taxRates());
    EXPECT_EQ(labelsOf(s.enabledTaxRates()), (QStringList{QStringLiteral("MwSt"), QStringLiteral("MwSt reduziert")}));
    EXPECT_EQ(s.enabledCurrencyCodes(), (QStringList{QStringLiteral("EUR"), QStringLiteral("USD")}));
    EXPECT_EQ(s.autoRefreshIntervalHours(), 1);
    EXPECT_EQ(s.decimalStyle(), DecimalStyle::germanComma);
    EXPECT_EQ(s.selectedSettingsTab(), CalcSettings::SettingsTab::general);
    EXPECT_FALSE(s.isLoadingRates());
    EXPECT_FALSE(s.ratesError());
    EXPECT_FALSE(s.rowClipboard());

    const auto& rates = s.exchangeRates();
    EXPECT_EQ(rates, CalcSettings::ExchangeRates::empty());
    EXPECT_EQ(rates.baseCurrency, QStringLiteral("EUR"));
    EXPECT_TRUE(rates.rates.isEmpty());
    EXPECT_EQ(rates.lastUpdated, utc(1, 1, 1));

    EXPECT_EQ(writes.count(), 0);
    EXPECT_FALSE(defaults->contains(taxRatesKey));
}

TEST_F(CalcSettingsTest, StoredTaxRatesLoadOnlyWhenEveryElementDecodes)
{
    defaults->setValue(taxRatesKey, QByteArray("[]"));
    EXPECT_TRUE(open().taxRates().isEmpty());
    EXPECT_TRUE(settings->enabledTaxRates().isEmpty());

    // Lower-case identifiers and unknown keys are accepted.
    defaults->setValue(taxRatesKey, QByteArray(R"([{"id":"6f1c2a3b-0000-4000-8000-00000000000a","label":"Kurtaxe",)"
                                               R"("rate":2.5,"isEnabled":false,"note":"x"}])"));
    ASSERT_EQ(open().taxRates().size(), 1);
    EXPECT_EQ(settings->taxRates()[0].id, QUuid::fromString(QStringLiteral("6F1C2A3B-0000-4000-8000-00000000000A")));
    EXPECT_EQ(settings->taxRates()[0].rate, 2.5);
    EXPECT_FALSE(settings->taxRates()[0].isEnabled);

    const QByteArray good = R"({"id":"6F1C2A3B-0000-4000-8000-00000000000A","label":"A","rate":1,"isEnabled":true})";
    const QList<QByteArray> broken{
        "[" + good + R"(,{"id":"6F1C2A3B-0000-4000-8000-00000000000B","label":"B","rate":1}])", // no isEnabled
        R"([{"id":"not-a-uuid","label":"A","rate":1,"isEnabled":true}])",
        R"([{"id":"6F1C2A3B-0000-4000-8000-00000000000A","label":"A","rate":"19","isEnabled":true}])",
        R"([{"id":"6F1C2A3B-0000-4000-8000-00000000000A","label":"A","rate":null,"isEnabled":true}])",
        R"([{"id":"6F1C2A3B-0000-4000-8000-00000000000A","label":1,"rate":1,"isEnabled":true}])",
        R"([{"id":"6F1C2A3B-0000-4000-8000-00000000000A","label":"A","rate":1,"isEnabled":1}])",
        "[" + good + ",42]",
        good, // an object, not a list
        "[" + good, // truncated
        "",
    };
    for (const QByteArray& data : broken) {
        SCOPED_TRACE(data.toStdString());
        defaults->setValue(taxRatesKey, data);
        expectDefaultTaxRates(open().taxRates());
        // Loading never repairs what is stored.
        EXPECT_EQ(defaults->dataValue(taxRatesKey), data);
    }
}

TEST_F(CalcSettingsTest, CurrencyStyleAndIntervalLoadRules)
{
    const QString currencyKey = QStringLiteral("enabledCurrencyCodes");
    const QString styleKey = QStringLiteral("decimalStyle");
    const QString intervalKey = QStringLiteral("exchangeRateAutoRefreshHours");

    defaults->setValue(currencyKey, QStringList{});
    defaults->setValue(styleKey, QStringLiteral("usperiod"));
    defaults->setValue(intervalKey, -2);
    CalcSettings& s = restart();
    EXPECT_EQ(s.enabledCurrencyCodes(), (QStringList{QStringLiteral("EUR"), QStringLiteral("USD")}));
    EXPECT_EQ(s.decimalStyle(), DecimalStyle::germanComma);
    EXPECT_EQ(s.autoRefreshIntervalHours(), 1);

    defaults->setValue(currencyKey, QStringList{QStringLiteral("usd"), QStringLiteral("XYZ")});
    defaults->setValue(styleKey, QStringLiteral("usPeriod"));
    defaults->setValue(intervalKey, QStringLiteral("sechs"));
    restart();
    EXPECT_EQ(settings->enabledCurrencyCodes(), (QStringList{QStringLiteral("usd"), QStringLiteral("XYZ")}));
    EXPECT_EQ(settings->decimalStyle(), DecimalStyle::usPeriod);
    EXPECT_EQ(settings->autoRefreshIntervalHours(), 1);

    defaults->setValue(currencyKey, 7);
    defaults->setValue(styleKey, QStringLiteral(" usPeriod"));
    defaults->setValue(intervalKey, qint64(1) << 40); // does not fit the property
    open();
    EXPECT_EQ(settings->enabledCurrencyCodes(), (QStringList{QStringLiteral("EUR"), QStringLiteral("USD")}));
    EXPECT_EQ(settings->decimalStyle(), DecimalStyle::germanComma);
    EXPECT_EQ(settings->autoRefreshIntervalHours(), 1);

    defaults->setValue(intervalKey, 24);
    EXPECT_EQ(restart().autoRefreshIntervalHours(), 24);
}

TEST_F(CalcSettingsTest, EverythingPersistedSurvivesARestart)
{
    CalcSettings& s = open();
    const QList<TaxRate> rates{
        {QUuid::createUuid(), QStringLiteral("Grunderwerbsteuer Bayern"), 3.5, false},
        {QUuid::createUuid(), QStringLiteral("Ö-Abgabe \"x\""), 0.1, true},
    };
    s.setTaxRates(rates);
    s.setExchangeRates({QStringLiteral("EUR"),
                        {{QStringLiteral("USD"), 1.0834}, {QStringLiteral("JPY"), 162.37}},
                        utc(2024, 3, 5, 14, 7, 9, 250)});
    s.setAutoRefreshIntervalHours(0);
    s.setEnabledCurrencyCodes({QStringLiteral("GBP")});
    s.setDecimalStyle(DecimalStyle::usPeriod);
    s.setSelectedSettingsTab(CalcSettings::SettingsTab::currency);
    s.setRowClipboard(CalcSettings::RowClipboard{});

    CalcSettings& after = restart();
    EXPECT_EQ(after.taxRates(), rates);
    EXPECT_EQ(after.exchangeRates().baseCurrency, QStringLiteral("EUR"));
    EXPECT_EQ(after.exchangeRates().rates.value(QStringLiteral("USD")), 1.0834);
    EXPECT_EQ(after.exchangeRates().rates.value(QStringLiteral("JPY")), 162.37);
    EXPECT_EQ(after.exchangeRates().lastUpdated, utc(2024, 3, 5, 14, 7, 9, 250));
    EXPECT_EQ(after.autoRefreshIntervalHours(), 0); // the manual choice stays manual
    EXPECT_EQ(after.enabledCurrencyCodes(), QStringList{QStringLiteral("GBP")});
    EXPECT_EQ(after.decimalStyle(), DecimalStyle::usPeriod);
    // Memory-only state starts over.
    EXPECT_EQ(after.selectedSettingsTab(), CalcSettings::SettingsTab::general);
    EXPECT_FALSE(after.rowClipboard());

    // The empty table's distant past is stored and read back too.
    after.setExchangeRates(CalcSettings::ExchangeRates::empty());
    EXPECT_EQ(restart().exchangeRates(), CalcSettings::ExchangeRates::empty());
}

TEST_F(CalcSettingsTest, StoredJsonUsesReferenceDateSecondsAndUpperCaseIds)
{
    CalcSettings& s = open();
    const QUuid id = QUuid::fromString(QStringLiteral("{6f1c2a3b-1111-4000-8000-00000000abcd}"));
    s.setTaxRates({{id, QStringLiteral("MwSt"), 19.0, true}});
    s.setExchangeRates({QStringLiteral("EUR"), {{QStringLiteral("USD"), 1.5}}, utc(2001, 1, 2, 0, 0, 1, 500)});

    const QJsonArray taxes = QJsonDocument::fromJson(*defaults->dataValue(taxRatesKey)).array();
    ASSERT_EQ(taxes.size(), 1);
    const QJsonObject tax = taxes[0].toObject();
    EXPECT_EQ(tax.value(QStringLiteral("id")).toString(), QStringLiteral("6F1C2A3B-1111-4000-8000-00000000ABCD"));
    EXPECT_EQ(tax.value(QStringLiteral("label")).toString(), QStringLiteral("MwSt"));
    EXPECT_EQ(tax.value(QStringLiteral("rate")).toDouble(), 19.0);
    EXPECT_EQ(tax.value(QStringLiteral("isEnabled")).toBool(false), true);

    const QJsonObject table = QJsonDocument::fromJson(*defaults->dataValue(QStringLiteral("exchangeRates"))).object();
    EXPECT_EQ(table.value(QStringLiteral("baseCurrency")).toString(), QStringLiteral("EUR"));
    EXPECT_EQ(table.value(QStringLiteral("lastUpdated")).toDouble(), 86401.5);
    EXPECT_EQ(table.value(QStringLiteral("rates")).toObject().value(QStringLiteral("USD")).toDouble(), 1.5);

    s.setExchangeRates(CalcSettings::ExchangeRates::empty());
    const QJsonObject empty = QJsonDocument::fromJson(*defaults->dataValue(QStringLiteral("exchangeRates"))).object();
    EXPECT_EQ(empty.value(QStringLiteral("lastUpdated")).toDouble(), -63113904000.0);
}

TEST_F(CalcSettingsTest, StoredExchangeRatesMustHaveEveryKey)
{
    const QString key = QStringLiteral("exchangeRates");
    const QList<QByteArray> broken{
        R"({"baseCurrency":"EUR","rates":{"USD":1.1}})",
        R"({"baseCurrency":"EUR","rates":{"USD":"1.1"},"lastUpdated":0})",
        R"({"rates":{"USD":1.1},"lastUpdated":0})",
        R"({"baseCurrency":"EUR","rates":{"USD":1.1},"lastUpdated":"2024-01-01"})",
        R"({"baseCurrency":"EUR","rates":{"USD":1.1},"lastUpdated":1e300})",
        R"({"baseCurrency":"EUR","rates":{"GBP":0.85,"USD":-1.08},"lastUpdated":0})",
        R"({"baseCurrency":"EUR","rates":{"USD":1e308},"lastUpdated":0})",
        "[]",
    };
    for (const QByteArray& data : broken) {
        SCOPED_TRACE(data.toStdString());
        defaults->setValue(key, data);
        EXPECT_EQ(open().exchangeRates(), CalcSettings::ExchangeRates::empty());
    }
    defaults->setValue(key, QByteArray(R"({"baseCurrency":"USD","rates":{},"lastUpdated":0,"extra":true})"));
    EXPECT_EQ(open().exchangeRates(), (CalcSettings::ExchangeRates{QStringLiteral("USD"), {}, utc(2001, 1, 1)}));
}

TEST_F(CalcSettingsTest, NotificationRules)
{
    CalcSettings& s = open();
    QSignalSpy writes(defaults.get(), &Defaults::changed);
    QSignalSpy taxes(&s, &CalcSettings::taxRatesChanged);
    QSignalSpy table(&s, &CalcSettings::exchangeRatesChanged);
    QSignalSpy clipboard(&s, &CalcSettings::rowClipboardChanged);
    QSignalSpy style(&s, &CalcSettings::decimalStyleChanged);
    QSignalSpy currencies(&s, &CalcSettings::enabledCurrencyCodesChanged);
    QSignalSpy interval(&s, &CalcSettings::autoRefreshIntervalHoursChanged);
    QSignalSpy tab(&s, &CalcSettings::selectedSettingsTabChanged);

    // Equal values: these three still notify, and every persisted one is written again.
    s.setTaxRates(s.taxRates());
    s.setExchangeRates(s.exchangeRates());
    s.setRowClipboard(s.rowClipboard());
    s.setDecimalStyle(s.decimalStyle());
    s.setEnabledCurrencyCodes(s.enabledCurrencyCodes());
    s.setAutoRefreshIntervalHours(s.autoRefreshIntervalHours());
    s.setSelectedSettingsTab(s.selectedSettingsTab());

    EXPECT_EQ(taxes.count(), 1);
    EXPECT_EQ(table.count(), 1);
    EXPECT_EQ(clipboard.count(), 1);
    EXPECT_EQ(style.count(), 0);
    EXPECT_EQ(currencies.count(), 0);
    EXPECT_EQ(interval.count(), 0);
    EXPECT_EQ(tab.count(), 0);
    QStringList written;
    for (const auto& call : writes)
        written.append(call.at(0).toString());
    EXPECT_EQ(written, (QStringList{taxRatesKey, QStringLiteral("exchangeRates"), QStringLiteral("decimalStyle"),
                                    QStringLiteral("enabledCurrencyCodes"),
                                    QStringLiteral("exchangeRateAutoRefreshHours")}));

    // Real changes notify once each; the tab lives in memory only.
    writes.clear();
    s.setDecimalStyle(DecimalStyle::usPeriod);
    s.setEnabledCurrencyCodes({QStringLiteral("EUR")});
    s.setAutoRefreshIntervalHours(6);
    s.setSelectedSettingsTab(CalcSettings::SettingsTab::sync);
    EXPECT_EQ(style.count(), 1);
    EXPECT_EQ(currencies.count(), 1);
    EXPECT_EQ(interval.count(), 1);
    EXPECT_EQ(tab.count(), 1);
    EXPECT_EQ(writes.count(), 3);
}

TEST_F(CalcSettingsTest, TaxRateChangeIsStoredBeforeListenersHearOfIt)
{
    CalcSettings& s = open();
    QList<TaxRate> rates = s.taxRates();
    rates[2].isEnabled = true; // one element toggled in place

    QList<TaxRate> storedWhenNotified;
    int notified = 0;
    QObject::connect(&s, &CalcSettings::taxRatesChanged, [&] {
        ++notified;
        storedWhenNotified = CalcSettings(*defaults).taxRates();
    });
    s.setTaxRates(rates);

    // Delivered during the assignment, with the new list already stored.
    EXPECT_EQ(notified, 1);
    EXPECT_EQ(storedWhenNotified, rates);
    EXPECT_EQ(labelsOf(s.enabledTaxRates()).size(), 3);
}

TEST_F(CalcSettingsTest, NonFiniteTaxRateIsRefusedWhole)
{
    CalcSettings& s = open();
    const QList<TaxRate> before{{QUuid::createUuid(), QStringLiteral("MwSt"), 19.0, true}};
    s.setTaxRates(before);
    const QByteArray storedBefore = *defaults->dataValue(taxRatesKey);
    QSignalSpy taxes(&s, &CalcSettings::taxRatesChanged);

    for (const double bad : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity()}) {
        QList<TaxRate> rates = before;
        rates.append({QUuid::createUuid(), QStringLiteral("Kaputt"), bad, false});
        s.setTaxRates(rates);
        EXPECT_EQ(s.taxRates(), before);
        EXPECT_EQ(defaults->dataValue(taxRatesKey), storedBefore);
    }
    EXPECT_EQ(taxes.count(), 0);
    EXPECT_EQ(restart().taxRates(), before);
}

TEST_F(CalcSettingsTest, EnabledListsFollowTheirRules)
{
    CalcSettings& s = open();
    s.setEnabledCurrencyCodes({QStringLiteral("usd"), QStringLiteral("EUR"), QStringLiteral("XYZ"), QStringLiteral("EUR")});
    EXPECT_EQ(codesOf(s.enabledCurrencies()), (QStringList{QStringLiteral("EUR"), QStringLiteral("EUR")}));

    s.setEnabledCurrencyCodes({QStringLiteral("PLN"), QStringLiteral("CAD"), QStringLiteral("JPY")});
    const auto currencies = s.enabledCurrencies();
    ASSERT_EQ(currencies.size(), 3);
    EXPECT_EQ(currencies[0], (CalcSettings::Currency{QStringLiteral("PLN"), QStringLiteral("Polish Zloty"), QStringLiteral("zł")}));
    EXPECT_EQ(currencies[1].symbol, QStringLiteral("C$"));
    EXPECT_EQ(currencies[2].symbol, QStringLiteral("¥"));

    s.setTaxRates({
        {QUuid::createUuid(), QStringLiteral(" "), 1, true},
        {QUuid::createUuid(), QString(), 2, true},
        {QUuid::createUuid(), QStringLiteral("Aus"), 3, false},
        {QUuid::createUuid(), QStringLiteral("MwSt"), 19, true},
        {QUuid::createUuid(), QStringLiteral("1"), 5, true},
    });
    // A label without a letter would stand for that text in every expression.
    EXPECT_EQ(labelsOf(s.enabledTaxRates()), (QStringList{QStringLiteral("MwSt")}));
}

TEST_F(CalcSettingsTest, EnumerationsAndTheCurrencyTable)
{
    EXPECT_EQ(allDecimalStyles(), (QList<DecimalStyle>{DecimalStyle::germanComma, DecimalStyle::usPeriod}));
    for (const DecimalStyle style : allDecimalStyles())
        EXPECT_EQ(decimalStyleFromRawValue(rawValue(style)), style);
    EXPECT_EQ(rawValue(DecimalStyle::usPeriod), QStringLiteral("usPeriod"));
    EXPECT_EQ(displayName(DecimalStyle::germanComma), QStringLiteral("Deutsch (1.000,50)"));
    EXPECT_EQ(displayName(DecimalStyle::usPeriod), QStringLiteral("US/UK (1,000.50)"));
    EXPECT_FALSE(decimalStyleFromRawValue(QStringLiteral("GermanComma")));

    EXPECT_EQ(CalcSettings::settingsTabFromRawValue(4), CalcSettings::SettingsTab::sync);
    EXPECT_EQ(CalcSettings::settingsTabFromRawValue(0), CalcSettings::SettingsTab::general);
    EXPECT_FALSE(CalcSettings::settingsTabFromRawValue(5));
    EXPECT_FALSE(CalcSettings::settingsTabFromRawValue(-1));

    const auto& table = CalcSettings::supportedCurrencies();
    EXPECT_EQ(codesOf(table), (QStringList{QStringLiteral("EUR"), QStringLiteral("USD"), QStringLiteral("GBP"),
                                           QStringLiteral("CHF"), QStringLiteral("JPY"), QStringLiteral("CAD"),
                                           QStringLiteral("AUD"), QStringLiteral("CNY"), QStringLiteral("SEK"),
                                           QStringLiteral("NOK"), QStringLiteral("DKK"), QStringLiteral("PLN")}));
}

TEST_F(CalcSettingsTest, RowClipboardIsACopyHeldInMemory)
{
    CalcSettings& s = open();
    EXPECT_FALSE(s.rowClipboard());
    const QUuid a = QUuid::createUuid();
    const QUuid b = QUuid::createUuid();
    CalcSettings::RowClipboard clip{
        {{a, QStringLiteral("calculation"), QStringLiteral("{A:#00D4FF} x 2"), QString(), QStringLiteral("Miete"),
          QStringLiteral("#FF6B9D"), {{QStringLiteral("n0"), QStringLiteral("Netto")}}, {}, 80},
         {b, QStringLiteral("text"), QString(), QStringLiteral("Notiz"), QString(), QStringLiteral("#00D4FF"), {}, {}, 0}},
        {{b, a, QStringLiteral("A")}},
        utc(2024, 1, 1)};
    s.setRowClipboard(clip);
    clip.blocks[0].expression = QStringLiteral("changed later");
    ASSERT_TRUE(s.rowClipboard());
    EXPECT_EQ(s.rowClipboard()->blocks[0].expression, QStringLiteral("{A:#00D4FF} x 2"));
    EXPECT_EQ(s.rowClipboard()->links[0].sourceBlockID, b);
    EXPECT_FALSE(defaults->contains(QStringLiteral("rowClipboard")));
}
