#include "Engine/CalculatorEngine.h"
#include "Platform/NotificationCenter.h"
#include "Views/Settings/SettingsToggle.h"
#include "Views/Settings/SettingsView.h"
#include "support/CloudDouble.h"
#include "support/LocalHttpServer.h"
#include "support/SettingsFixture.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QVariantAnimation>
#include <gtest/gtest.h>
#include <memory>

namespace {

const QLocale german(QLocale::German, QLocale::Germany);
const QLocale english(QLocale::English, QLocale::UnitedStates);

class SettingsViewTest : public SettingsFixture {
protected:
    void TearDown() override
    {
        views.clear();
        SettingsFixture::TearDown();
    }

    SettingsView& makeView()
    {
        if (!settings)
            open();
        views.push_back(std::make_unique<SettingsView>([this] { ++dismissals; }, *settings, *defaults));
        views.back()->show();
        return *views.back();
    }
    SettingsView& view() { return views.empty() ? makeView() : *views.front(); }

    template<typename T>
    T* find(const QString& name, SettingsView* in = nullptr)
    {
        SettingsView* target = in ? in : &view();
        T* child = target->findChild<T*>(name);
        EXPECT_NE(child, nullptr) << name.toStdString();
        return child;
    }
    // Shows the tab (building it) and finds a control on it.
    template<typename T>
    T* onTab(int tab, const QString& name, SettingsView* in = nullptr)
    {
        (in ? in : &view())->setSelectedTab(tab);
        return find<T>(name, in);
    }

    QStringList storedKeys() const { return QSettings(defaults->fileName(), QSettings::IniFormat).allKeys(); }

    void typeInto(QLineEdit* field, const QString& text)
    {
        field->setFocus();
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, text);
    }
    void commit(QLineEdit* field) { QTest::keyClick(field, Qt::Key_Return); }

    double rate(int index) const { return settings->taxRates().at(index).rate; }
    double opacity(const QString& row) { return find<QWidget>(row)->graphicsEffect()->property("opacity").toReal(); }

    // A single view over the standard rates, in the given number format.
    SettingsView& freshView(const QLocale& locale)
    {
        views.clear();
        defaults->remove("taxRates");
        open();
        SettingsView& v = makeView();
        v.setLocale(locale);
        return v;
    }

    std::vector<std::unique_ptr<SettingsView>> views;
    int dismissals = 0;
};

TEST_F(SettingsViewTest, FreshDefaultsShowEveryDefaultAndWriteNothing)
{
    open();
    QSignalSpy writes(defaults.get(), &Defaults::changed);
    SettingsView& v = makeView();
    for (int tab : {1, 2, 3, 0})
        v.setSelectedTab(tab);

    const std::pair<QString, QString> fields[] = {{"taxLabel0", "MwSt"},           {"taxRate0", "19"},
                                                  {"taxLabel1", "MwSt reduziert"}, {"taxRate1", "7"},
                                                  {"taxLabel2", "Tax 3"},          {"taxRate2", "0"}};
    for (const auto& [name, text] : fields)
        EXPECT_EQ(find<QLineEdit>(name)->text(), text);
    EXPECT_FALSE(find<QCheckBox>("taxEnabled2")->isChecked());
    EXPECT_EQ(opacity("taxRow2"), 0.5);
    EXPECT_EQ(opacity("taxRow0"), 1.0);

    for (const auto& currency : CalcSettings::supportedCurrencies())
        EXPECT_EQ(find<QCheckBox>("currency" + currency.code)->isChecked(),
                  currency.code == "EUR" || currency.code == "USD")
            << currency.code.toStdString();
    EXPECT_EQ(find<QComboBox>("refreshInterval")->currentText(), "Stündlich");
    EXPECT_EQ(find<QLabel>("ratesStatus")->text(), "Keine Wechselkurse geladen");
    EXPECT_TRUE(find<QLabel>("nextRefresh")->isHidden());
    EXPECT_TRUE(find<QLabel>("ratesError")->isHidden());

    EXPECT_TRUE(find<SettingsToggle>("iCloudSync")->isOn());
    EXPECT_EQ(find<QLabel>("syncStateText")->text(), "Canvases stored locally only") << "no cloud mirrors this run";

    EXPECT_EQ(find<QComboBox>("decimalStyle")->currentText(), "Deutsch (1.000,50)");
    EXPECT_FALSE(find<SettingsToggle>("canvasLightMode")->isOn());
    EXPECT_TRUE(find<SettingsToggle>("autoHideToolbar")->isOn());
    EXPECT_TRUE(find<SettingsToggle>("autoShowSidebar")->isOn());
    EXPECT_EQ(find<QLineEdit>("sumKeyword")->text(), "Summe");

    EXPECT_EQ(writes.count(), 0);
    EXPECT_TRUE(storedKeys().isEmpty()) << storedKeys().join(',').toStdString();
}

TEST_F(SettingsViewTest, TabStripHighlightsTheChosenTab)
{
    SettingsView& v = makeView();
    EXPECT_EQ(v.width(), 480);
    const auto chosen = [&](int i) { return v.tabButton(i)->property("chosen").toBool(); };
    EXPECT_EQ(v.selectedTab(), 0);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(v.tabButton(i)->text(), SettingsView::tabs()[i]);
        EXPECT_EQ(chosen(i), i == 0);
        EXPECT_EQ(v.tabButton(i)->font().weight(), i == 0 ? QFont::DemiBold : QFont::Normal);
    }

    QSignalSpy changes(&v, &SettingsView::selectedTabChanged);
    QTest::mouseClick(v.tabButton(1), Qt::LeftButton);
    EXPECT_EQ(v.selectedTab(), 1);
    EXPECT_TRUE(chosen(1));
    EXPECT_FALSE(chosen(0));
    EXPECT_TRUE(v.isAnimatingTabChange());
    EXPECT_TRUE(v.tabContent(1)->isVisible());
    EXPECT_FALSE(v.tabContent(0)->isVisible());
    EXPECT_LT(v.tabButton(1)->property("highlight").toReal(), 1.0) << "the highlight moves over";
    // The highlight leaving, the one arriving and the content fading in, each
    // short and easing in and out.
    QList<QVariantAnimation*> running = v.findChildren<QVariantAnimation*>();
    running.removeIf([](const QVariantAnimation* a) { return a->state() != QAbstractAnimation::Running; });
    EXPECT_EQ(running.size(), 3);
    for (const QVariantAnimation* animation : running) {
        EXPECT_EQ(animation->duration(), 150);
        EXPECT_EQ(animation->easingCurve().type(), QEasingCurve::InOutQuad);
    }
    EXPECT_TRUE(waitUntil([&] { return !v.isAnimatingTabChange(); }, 2000));
    EXPECT_EQ(v.tabButton(1)->property("highlight").toReal(), 1.0);
    EXPECT_EQ(v.tabButton(0)->property("highlight").toReal(), 0.0);
    EXPECT_EQ(v.tabContent(1)->graphicsEffect(), nullptr) << "the fade leaves no effect behind";

    // The chosen tab again changes nothing.
    QTest::mouseClick(v.tabButton(1), Qt::LeftButton);
    EXPECT_EQ(changes.count(), 1);
    EXPECT_FALSE(v.isAnimatingTabChange());
}

TEST_F(SettingsViewTest, CloseButtonRunsTheDismissActionIfThereIsOne)
{
    QTest::mouseClick(view().closeButton(), Qt::LeftButton);
    EXPECT_EQ(dismissals, 1);
    open();
    SettingsView bare({}, *settings, *defaults);
    bare.show();
    EXPECT_TRUE(bare.closeButton()->isVisible());
    QTest::mouseClick(bare.closeButton(), Qt::LeftButton); // nothing to run, no crash
    EXPECT_EQ(dismissals, 1);
}

TEST_F(SettingsViewTest, TaxRowEditsStoreTheListEachTime)
{
    open();
    QSignalSpy saves(defaults.get(), &Defaults::changed);
    const auto taxSaves = [&] {
        int n = 0;
        for (const auto& args : saves)
            n += args.at(0).toString() == "taxRates";
        return n;
    };
    QLineEdit* label = find<QLineEdit>("taxLabel2");
    QTest::keyClicks(label, "abc");
    EXPECT_EQ(taxSaves(), 3) << "one save per keystroke";
    EXPECT_EQ(settings->taxRates()[2].label, "Tax 3abc");

    QCheckBox* box = find<QCheckBox>("taxEnabled0");
    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_FALSE(settings->taxRates()[0].isEnabled);
    EXPECT_EQ(opacity("taxRow0"), 0.5);
    EXPECT_TRUE(label->isEnabled()) << "a dimmed row stays usable";
    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_TRUE(settings->taxRates()[0].isEnabled);
    EXPECT_EQ(opacity("taxRow0"), 1.0);
    EXPECT_EQ(taxSaves(), 5);

    // A label without a letter would stand for that number in every
    // expression: it is not taken, the tab says why, the old label comes back.
    QLabel* refusal = find<QLabel>("taxLabelRefusal");
    EXPECT_FALSE(refusal->isVisible());
    QLineEdit* first = find<QLineEdit>("taxLabel0");
    first->selectAll();
    QTest::keyClicks(first, "1");
    EXPECT_EQ(settings->taxRates()[0].label, "MwSt");
    EXPECT_TRUE(refusal->isVisible());
    EXPECT_EQ(refusal->text(), "A label needs at least one letter, so “MwSt” stays.");
    commit(first);
    EXPECT_EQ(first->text(), "MwSt");
    EXPECT_EQ(taxSaves(), 5);

    // Each edit touches its own field only.
    EXPECT_EQ(settings->taxRates()[0].label, "MwSt");
    EXPECT_EQ(rate(2), 0.0);
    views.clear();
    EXPECT_EQ(restart().taxRates()[2].label, "Tax 3abc");
}

TEST_F(SettingsViewTest, RatesAreTypedInTheSystemsNumberFormat)
{
    struct Case { const char* name; QLocale locale; QString typed; double stored; QString shown; };
    const Case cases[] = {
        {"German comma", german, "16,5", 16.5, "16,5"},
        {"English period", english, "16.5", 16.5, "16.5"},
        {"German grouping", german, "1.000", 1000, "1.000"},
        {"no number", german, "x", 19, "19"},
        {"empty", english, "", 19, "19"},
        {"infinity", english, "inf", 19, "19"},
        {"too large", english, "1e999", 19, "19"},
        {"German reads no period", german, "16.5", 19, "19"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        freshView(c.locale);
        QLineEdit* field = find<QLineEdit>("taxRate0");
        typeInto(field, c.typed);
        EXPECT_EQ(rate(0), 19) << "nothing is stored before the field commits";
        commit(field);
        EXPECT_EQ(rate(0), c.stored);
        EXPECT_EQ(field->text(), c.shown);
        views.clear();
        EXPECT_EQ(restart().taxRates()[0].rate, c.stored);
    }
}

TEST_F(SettingsViewTest, ARateTypedWhenTheViewGoesIsKeptOrRefused)
{
    const std::pair<QString, double> cases[] = {{"21", 21.0}, {"x", 19.0}};
    for (const auto& [typed, stored] : cases) {
        freshView(english);
        typeInto(find<QLineEdit>("taxRate0"), typed);
        views.clear(); // the card closes with the field still open
        EXPECT_EQ(rate(0), stored) << typed.toStdString();
    }
}

TEST_F(SettingsViewTest, RatesFollowTheLocale)
{
    open();
    QList<CalcSettings::TaxRate> rates = settings->taxRates();
    rates[1].rate = 7.5;
    settings->setTaxRates(rates);
    SettingsView& v = makeView();
    v.setLocale(german);
    EXPECT_EQ(find<QLineEdit>("taxRate1")->text(), "7,5");
    v.setLocale(english);
    EXPECT_EQ(find<QLineEdit>("taxRate1")->text(), "7.5");
}

TEST_F(SettingsViewTest, StoredListsOfAnyLengthShowAtMostThreeRows)
{
    const std::pair<int, int> cases[] = {{0, 0}, {2, 2}, {5, 3}};
    for (const auto& [stored, shown] : cases) {
        SCOPED_TRACE(stored);
        views.clear();
        open();
        QList<CalcSettings::TaxRate> rates;
        for (int i = 0; i < stored; ++i)
            rates.append({QUuid::createUuid(), QStringLiteral("R%1").arg(i), double(i), true});
        settings->setTaxRates(rates);
        const QList<CalcSettings::TaxRate> before = restart().taxRates();
        ASSERT_EQ(before.size(), stored);
        makeView();
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(find<QWidget>(QStringLiteral("taxRow%1").arg(i))->isVisible(), i < shown) << i;
        if (stored == 0)
            continue;
        QTest::keyClicks(find<QLineEdit>("taxLabel0"), "x");
        const QList<CalcSettings::TaxRate> after = settings->taxRates();
        ASSERT_EQ(after.size(), stored) << "rates beyond the third stay";
        EXPECT_EQ(after[0].label, "R0x");
        for (int i = 1; i < stored; ++i)
            EXPECT_EQ(after[i], before[i]);
    }
}

TEST_F(SettingsViewTest, TypedLabelsReachTheEngineAtOnce)
{
    // The application's own settings and engine, as the running program has them.
    CalcSettings& shared = CalcSettings::shared();
    const QList<CalcSettings::TaxRate> saved = shared.taxRates();
    CalculatorEngine& engine = CalculatorEngine::shared();
    ASSERT_EQ(engine.evaluate("100 + MwSt"), EvaluationResult::success(119.0));
    ASSERT_GT(engine.regexCacheSize(), 0);

    SettingsView v({}, shared, Defaults::standard());
    v.show();
    QLineEdit* label = v.findChild<QLineEdit*>("taxLabel0");
    label->selectAll();
    QTest::keyClicks(label, "VAT");
    EXPECT_EQ(engine.regexCacheSize(), 0) << "the old label's pattern is gone before the next evaluation";
    EXPECT_EQ(engine.evaluate("100 + VAT"), EvaluationResult::success(119.0));
    EXPECT_FALSE(engine.evaluate("100 + MwSt") == EvaluationResult::success(119.0));
    shared.setTaxRates(saved);
}

TEST_F(SettingsViewTest, CurrenciesAreEnabledInTheOrderSwitchedOn)
{
    open();
    const auto click = [&](const QString& code) { QTest::mouseClick(onTab<QCheckBox>(1, "currency" + code), Qt::LeftButton); };
    QStringList stored;
    QObject::connect(defaults.get(), &Defaults::changed, [&](const QString& key) {
        if (key == "enabledCurrencyCodes")
            stored = defaults->stringListValue(key).value_or(QStringList{"?"});
    });
    const std::pair<QString, QStringList> steps[] = {
        {"EUR", {"USD"}}, {"EUR", {"USD", "EUR"}}, {"PLN", {"USD", "EUR", "PLN"}},
        {"USD", {"EUR", "PLN"}}, {"EUR", {"PLN"}}, {"PLN", {}},
    };
    for (const auto& [code, codes] : steps) {
        click(code);
        EXPECT_EQ(settings->enabledCurrencyCodes(), codes) << code.toStdString();
        EXPECT_EQ(stored, codes);
        for (const auto& currency : CalcSettings::supportedCurrencies())
            EXPECT_EQ(find<QCheckBox>("currency" + currency.code)->isChecked(), codes.contains(currency.code));
    }
}

TEST_F(SettingsViewTest, UnknownCurrencyCodesStay)
{
    open();
    settings->setEnabledCurrencyCodes({"EUR", "XAU"});
    QTest::mouseClick(onTab<QCheckBox>(1, "currencyGBP"), Qt::LeftButton);
    QTest::mouseClick(find<QCheckBox>("currencyEUR"), Qt::LeftButton);
    EXPECT_EQ(settings->enabledCurrencyCodes(), QStringList({"XAU", "GBP"}));
}

TEST_F(SettingsViewTest, IntervalChoicesAreStoredAndOthersLeftAlone)
{
    open();
    QComboBox* menu = onTab<QComboBox>(1, "refreshInterval");
    const std::pair<QString, int> choices[] = {{"Manuell", 0}, {"Täglich", 24}, {"Alle 6 Stunden", 6}, {"Stündlich", 1}};
    for (const auto& [title, hours] : choices) {
        const int index = menu->findText(title);
        ASSERT_GE(index, 0) << title.toStdString();
        Q_EMIT menu->activated(index);
        EXPECT_EQ(settings->autoRefreshIntervalHours(), hours);
        EXPECT_EQ(defaults->integerValue("exchangeRateAutoRefreshHours"), hours);
    }

    // A stored value the menu does not offer: no choice shown, nothing written.
    defaults->setValue("exchangeRateAutoRefreshHours", 12);
    views.clear();
    restart();
    QSignalSpy writes(defaults.get(), &Defaults::changed);
    QComboBox* fresh = onTab<QComboBox>(1, "refreshInterval");
    EXPECT_EQ(fresh->currentIndex(), -1);
    EXPECT_EQ(writes.count(), 0);
    EXPECT_EQ(settings->autoRefreshIntervalHours(), 12);
}

TEST_F(SettingsViewTest, StatusLineWithAFixedClock)
{
    open();
    const QDateTime updated(QDate(2026, 12, 7), QTime(9, 30), Qt::LocalTime);
    fixClock(updated.addSecs(90 * 60));
    settings->setAutoRefreshIntervalHours(6);
    SettingsView& v = makeView();
    v.setLocale(german);
    QLabel* status = onTab<QLabel>(1, "ratesStatus");
    QLabel* next = find<QLabel>("nextRefresh");
    EXPECT_EQ(status->text(), "Keine Wechselkurse geladen");
    EXPECT_TRUE(next->isHidden()) << "no countdown without rates";

    settings->setExchangeRates({"EUR", {{"USD", 1.08}}, updated});
    EXPECT_EQ(status->text(), "Aktualisiert: 7. Dez. 2026, 09:30");
    EXPECT_EQ(next->text(), "Nächste Aktualisierung in 4h 30m");
    EXPECT_TRUE(next->isVisible());

    Q_EMIT find<QComboBox>("refreshInterval")->activated(0);
    EXPECT_TRUE(next->isHidden()) << "manual refresh has no countdown";

    // Nothing redraws as time passes; showing the tab again does.
    Q_EMIT find<QComboBox>("refreshInterval")->activated(1);
    EXPECT_EQ(next->text(), "Aktualisierung fällig");
    fixClock(updated.addSecs(10 * 60));
    EXPECT_EQ(next->text(), "Aktualisierung fällig");
    v.setSelectedTab(0);
    v.setSelectedTab(1);
    EXPECT_EQ(next->text(), "Nächste Aktualisierung in 50m");
}

class SettingsRefreshTest : public SettingsViewTest {
protected:
    void SetUp() override
    {
        SettingsViewTest::SetUp();
        defaults->setValue("exchangeRateServiceURL", server.baseUrl().toString());
        open();
        settings->setRatesTransferTimeout(std::chrono::milliseconds(300));
        button = onTab<QToolButton>(1, "refreshRates");
        spinner = find<QWidget>("refreshSpinner");
        error = find<QLabel>("ratesError");
        status = find<QLabel>("ratesStatus");
    }
    bool loading() const { return !button->isEnabled() && spinner->isVisible() && button->text().isEmpty(); }
    bool idle() const { return button->isEnabled() && !spinner->isVisible() && button->text() == "Aktualisieren"; }

    LocalHttpServer server;
    QToolButton* button = nullptr;
    QWidget* spinner = nullptr;
    QLabel* error = nullptr;
    QLabel* status = nullptr;
};

TEST_F(SettingsRefreshTest, RefreshShowsASpinnerThenTheOutcome)
{
    struct Case { const char* name; LocalHttpServer::Mode mode; LocalHttpServer::Answer answer; bool succeeds; QString errorText; };
    const Case cases[] = {
        {"success", LocalHttpServer::Mode::hold, {200, R"({"base":"EUR","rates":{"USD":1.1}})"}, true, {}},
        {"HTTP error", LocalHttpServer::Mode::hold, {500, "oops"}, false,
         "The data couldn’t be read because it isn’t in the correct format."},
        {"stalled server", LocalHttpServer::Mode::silent, {}, false, "The request timed out."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.setMode(c.mode);
        server.setAnswer(c.answer);
        const int requests = server.requestCount();
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_TRUE(loading());
        EXPECT_TRUE(error->isHidden()) << "a new refresh clears the last error";
        QTest::mouseClick(button, Qt::LeftButton); // disabled: no second request
        ASSERT_TRUE(waitUntil([&] { return server.requestCount() > requests; }));
        server.releaseHeld();
        ASSERT_TRUE(waitUntil([&] { return idle(); }, 5000));
        EXPECT_EQ(server.requestCount(), requests + 1);
        if (c.succeeds) {
            EXPECT_TRUE(status->text().startsWith("Aktualisiert: ")) << status->text().toStdString();
            EXPECT_TRUE(error->isHidden());
        } else {
            EXPECT_TRUE(error->isVisible());
            EXPECT_EQ(error->text(), c.errorText);
            EXPECT_TRUE(status->text().startsWith("Aktualisiert: ")) << "the earlier rates stay";
        }
    }
}

TEST_F(SettingsViewTest, SyncSwitchIsStoredAndDescribed)
{
    // Described as syncing only while a cloud really mirrors this run.
    for (const bool mirroring : {true, false}) {
        SCOPED_TRACE(mirroring ? "mirroring" : "local run");
        CloudDouble cloud;
        if (mirroring)
            cloud.startMirroring();
        open();
        SettingsView& v = makeView();
        v.setCloudService(cloud.service);
        SettingsToggle* toggle = onTab<SettingsToggle>(2, "iCloudSync", &v);
        QLabel* text = find<QLabel>("syncStateText", &v);
        for (const bool on : {false, true}) {
            QTest::mouseClick(toggle->switchControl(), Qt::LeftButton);
            EXPECT_EQ(defaults->boolValue("iCloudSyncEnabled"), on);
            const bool syncing = on && mirroring;
            EXPECT_EQ(text->text(), syncing ? "Canvases sync across your devices" : "Canvases stored locally only");
            EXPECT_EQ(find<QLabel>("syncStateIcon", &v)->property("symbolName").toString(),
                      syncing ? "checkmark.circle.fill" : "xmark.circle.fill");
        }
        views.clear();
    }
}

TEST_F(SettingsViewTest, InterfaceControlsWriteTheirKeys)
{
    open();
    const std::pair<QString, bool> switches[] = {{"canvasLightMode", false}, {"autoHideToolbar", true}, {"autoShowSidebar", true}};
    for (const auto& [key, standard] : switches) {
        SettingsToggle* toggle = onTab<SettingsToggle>(3, key);
        for (const bool expected : {!standard, standard}) {
            QTest::mouseClick(toggle->switchControl(), Qt::LeftButton);
            EXPECT_EQ(defaults->boolValue(key), expected) << key.toStdString();
        }
    }

    QComboBox* style = find<QComboBox>("decimalStyle");
    ASSERT_EQ(style->count(), 2);
    EXPECT_EQ(style->itemText(1), "US/UK (1,000.50)");
    Q_EMIT style->activated(1);
    EXPECT_EQ(settings->decimalStyle(), DecimalStyle::usPeriod);
    EXPECT_EQ(defaults->stringValue("decimalStyle"), "usPeriod");
}

TEST_F(SettingsViewTest, SumKeywordIsStoredAsTypedAtEveryKeystroke)
{
    open();
    QLineEdit* field = onTab<QLineEdit>(3, "sumKeyword");
    QStringList stored;
    QObject::connect(defaults.get(), &Defaults::changed, [&](const QString& key) {
        if (key == "sumKeyword")
            stored << *defaults->stringValue(key);
    });
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, " To ");
    EXPECT_EQ(stored, QStringList({"", " ", " T", " To", " To "}));
    EXPECT_EQ(field->placeholderText(), "Summe");
}

TEST_F(SettingsViewTest, FeedbackButtonAsksForTheFeedbackForm)
{
    QSignalSpy posts(&NotificationCenter::defaultCenter(), &NotificationCenter::posted);
    QTest::mouseClick(onTab<QToolButton>(3, "feedbackButton"), Qt::LeftButton);
    ASSERT_EQ(posts.count(), 1);
    EXPECT_EQ(posts.at(0).at(0).toString(), "showFeedbackSheet");
    EXPECT_EQ(find<QToolButton>("feedbackButton")->text(), "Feedback senden …");
}

TEST_F(SettingsViewTest, TwoOpenViewsFollowEachOther)
{
    open();
    SettingsView& a = makeView();
    SettingsView& b = makeView();
    for (int tab = 0; tab < 4; ++tab) {
        a.setSelectedTab(tab);
        b.setSelectedTab(tab);
    }
    QTest::keyClicks(find<QLineEdit>("taxLabel1", &a), "!");
    EXPECT_EQ(find<QLineEdit>("taxLabel1", &b)->text(), "MwSt reduziert!");
    a.setLocale(german);
    b.setLocale(german);
    typeInto(find<QLineEdit>("taxRate1", &a), "8,5");
    commit(find<QLineEdit>("taxRate1", &a));
    EXPECT_EQ(find<QLineEdit>("taxRate1", &b)->text(), "8,5");
    QTest::mouseClick(find<QCheckBox>("taxEnabled2", &a), Qt::LeftButton);
    EXPECT_TRUE(find<QCheckBox>("taxEnabled2", &b)->isChecked());

    QTest::mouseClick(find<QCheckBox>("currencyJPY", &a), Qt::LeftButton);
    EXPECT_TRUE(find<QCheckBox>("currencyJPY", &b)->isChecked());
    Q_EMIT find<QComboBox>("refreshInterval", &a)->activated(3);
    EXPECT_EQ(find<QComboBox>("refreshInterval", &b)->currentText(), "Täglich");

    QTest::mouseClick(find<SettingsToggle>("iCloudSync", &a)->switchControl(), Qt::LeftButton);
    EXPECT_FALSE(find<SettingsToggle>("iCloudSync", &b)->isOn());
    EXPECT_EQ(find<QLabel>("syncStateText", &b)->text(), "Canvases stored locally only");

    Q_EMIT find<QComboBox>("decimalStyle", &a)->activated(1);
    EXPECT_EQ(find<QComboBox>("decimalStyle", &b)->currentIndex(), 1);
    QTest::mouseClick(find<SettingsToggle>("canvasLightMode", &a)->switchControl(), Qt::LeftButton);
    EXPECT_TRUE(find<SettingsToggle>("canvasLightMode", &b)->isOn());
    QTest::keyClicks(find<QLineEdit>("sumKeyword", &a), "X");
    EXPECT_EQ(find<QLineEdit>("sumKeyword", &b)->text(), "SummeX");
}

} // namespace
