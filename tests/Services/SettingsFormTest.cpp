#include "Services/SettingsForm.h"
#include "support/SettingsFixture.h"

#include <gtest/gtest.h>
#include <limits>

namespace SettingsForm {
void PrintTo(const RatesStatus& status, std::ostream* out)
{
    *out << (status.loaded ? "loaded: " : "none: ") << status.text.toStdString() << " | "
         << status.nextRefresh.value_or(QStringLiteral("-")).toStdString();
}
} // namespace SettingsForm

namespace {

const QLocale german(QLocale::German, QLocale::Germany);
const QLocale english(QLocale::English, QLocale::UnitedStates);

TEST(SettingsFormTest, TaxRatesAreReadInTheLocalesFormatAndOnlyWhenFinite)
{
    struct Case { QLocale locale; QString text; std::optional<double> rate; };
    const Case cases[] = {
        {german, "16,5", 16.5},        {english, "16.5", 16.5},       {german, " 7 ", 7.0},
        {german, "1.234,5", 1234.5},   {english, "1,234.5", 1234.5},  {german, "-3", -3.0},
        {german, "0", 0.0},            {german, "x", std::nullopt},   {english, "16,5%", std::nullopt},
        {german, "", std::nullopt},    {english, "inf", std::nullopt}, {english, "nan", std::nullopt},
        {english, "1e999", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SettingsForm::parseTaxRate(c.text, c.locale), c.rate)
            << c.locale.name().toStdString() << " '" << c.text.toStdString() << "'";
}

TEST(SettingsFormTest, TaxRatesAreShownInTheLocalesFormat)
{
    struct Case { QLocale locale; double rate; QString text; };
    const Case cases[] = {
        {german, 7.5, "7,5"},       {english, 7.5, "7.5"},     {german, 19, "19"},
        {german, 1234.5, "1.234,5"}, {english, 0.125, "0.125"}, {german, std::numeric_limits<double>::infinity(), ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SettingsForm::taxRateFieldText(c.rate, c.locale), c.text) << c.rate;
    // What is shown reads back as the same rate.
    for (const double rate : {7.5, 16.25, 1234.5, 0.1})
        for (const QLocale& locale : {german, english})
            EXPECT_EQ(SettingsForm::parseTaxRate(SettingsForm::taxRateFieldText(rate, locale), locale), rate);
}

TEST(SettingsFormTest, AtMostThreeTaxRowsAndNeverMoreThanStored)
{
    const std::pair<int, int> cases[] = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {5, 3}};
    for (const auto& [stored, shown] : cases) {
        QList<CalcSettings::TaxRate> rates;
        for (int i = 0; i < stored; ++i)
            rates.append({QUuid::createUuid(), QStringLiteral("R%1").arg(i), 1.0 * i, true});
        EXPECT_EQ(SettingsForm::taxRateRowCount(rates), shown) << stored;
    }
}

TEST(SettingsFormTest, CurrenciesKeepTheOrderInWhichTheyWereSwitchedOn)
{
    struct Case { QStringList codes; QString code; bool enabled; QStringList result; };
    const Case cases[] = {
        {{"EUR", "USD"}, "GBP", true, {"EUR", "USD", "GBP"}},
        {{"EUR", "USD"}, "EUR", true, {"EUR", "USD"}},
        {{"EUR", "USD"}, "EUR", false, {"USD"}},
        {{"USD"}, "EUR", true, {"USD", "EUR"}},
        {{"EUR", "XYZ", "EUR"}, "EUR", false, {"XYZ"}},
        {{"USD"}, "USD", false, {}},
        {{"eur"}, "EUR", false, {"eur"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SettingsForm::withCurrency(c.codes, c.code, c.enabled), c.result)
            << c.codes.join(',').toStdString() << (c.enabled ? " +" : " -") << c.code.toStdString();
}

TEST(SettingsFormTest, TheIntervalMenuOffersFourChoices)
{
    const auto& options = SettingsForm::refreshIntervalOptions();
    ASSERT_EQ(options.size(), 4);
    const std::pair<QString, int> expected[] = {
        {"Manuell", 0}, {"Stündlich", 1}, {"Alle 6 Stunden", 6}, {"Täglich", 24}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(options[i].title, expected[i].first);
        EXPECT_EQ(options[i].hours, expected[i].second);
        EXPECT_EQ(SettingsForm::refreshIntervalIndex(expected[i].second), i);
    }
    for (const int other : {-1, 2, 12, 48, std::numeric_limits<int>::max()})
        EXPECT_EQ(SettingsForm::refreshIntervalIndex(other), std::nullopt) << other;
}

using RatesStatusTest = SettingsFixture;

TEST_F(RatesStatusTest, StatusLineFollowsTheRatesAndTheClock)
{
    const QDateTime updated(QDate(2026, 12, 7), QTime(10, 5), Qt::LocalTime);
    struct Case { const char* name; bool loaded; int intervalHours, minutesLater; QLocale locale; SettingsForm::RatesStatus status; };
    const Case cases[] = {
        {"never loaded", false, 1, 0, german, {false, "Keine Wechselkurse geladen", std::nullopt}},
        {"never loaded, daily", false, 24, 0, german, {false, "Keine Wechselkurse geladen", std::nullopt}},
        {"hourly", true, 1, 20, german,
         {true, "Aktualisiert: 7. Dez. 2026, 10:05", QStringLiteral("Nächste Aktualisierung in 40m")}},
        {"every six hours", true, 6, 20, english,
         {true, "Aktualisiert: Dec 7, 2026, 10:05 AM", QStringLiteral("Nächste Aktualisierung in 5h 40m")}},
        {"overdue", true, 1, 61, german,
         {true, "Aktualisiert: 7. Dez. 2026, 10:05", QStringLiteral("Aktualisierung fällig")}},
        {"manual", true, 0, 20, german, {true, "Aktualisiert: 7. Dez. 2026, 10:05", std::nullopt}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        open();
        if (c.loaded)
            settings->setExchangeRates({QStringLiteral("EUR"), {{QStringLiteral("USD"), 1.1}}, updated});
        settings->setAutoRefreshIntervalHours(c.intervalHours);
        fixClock(updated.addSecs(c.minutesLater * 60));
        EXPECT_EQ(SettingsForm::ratesStatus(*settings, c.locale), c.status);
    }
}

TEST(SettingsFormTest, SyncSwitchLine)
{
    EXPECT_EQ(SettingsForm::syncSwitchText(true), QStringLiteral("Canvases sync across your devices"));
    EXPECT_EQ(SettingsForm::syncSwitchText(false), QStringLiteral("Canvases stored locally only"));
    EXPECT_EQ(SettingsForm::tabTitles(), QStringList({"Tax Rates", "Currency", "Sync", "Interface"}));
}

} // namespace
