#include "EngineTestSupport.h"

#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/Link.h"

#include <gtest/gtest.h>

namespace {

// A canvas in memory with rows and links between them.
struct Sheet {
    CanvasPtr canvas = Canvas::create(QStringLiteral("T"), 0, 0, 1);
    int rows = 0;

    BlockPtr row(const QString& expression, BlockType type = BlockType::calculation,
                 const QString& color = QStringLiteral("#00D4FF"))
    {
        const BlockPtr block = CalculationBlock::create(type, expression, QString(), QString(), 0, 40.0 * rows++, 200,
                                                        40, color);
        canvas->appendBlock(block);
        return block;
    }
    LinkPtr link(const BlockPtr& source, const BlockPtr& destination, const QString& name)
    {
        const LinkPtr link = Link::create(source, destination, name, source->colorHex());
        canvas->appendLink(link);
        return link;
    }
};

void expectValue(const BlockPtr& block, double value)
{
    SCOPED_TRACE(block->expression().toStdString());
    ASSERT_TRUE(block->result().has_value()) << block->errorMessage().value_or(QString()).toStdString();
    EXPECT_DOUBLE_EQ(*block->result(), value);
    EXPECT_FALSE(block->hasError());
    EXPECT_FALSE(block->errorMessage().has_value());
}

void expectError(const BlockPtr& block, const QString& message)
{
    SCOPED_TRACE(block->expression().toStdString());
    EXPECT_FALSE(block->result().has_value());
    EXPECT_TRUE(block->hasError());
    EXPECT_EQ(block->errorMessage().value_or(QString()), message);
}

} // namespace

TEST(EngineRows, CanvasPassesRepairRootsAndRest)
{
    TestEngine t;
    Sheet s;
    const BlockPtr typed = s.row(QStringLiteral("2+3"), BlockType::text);
    const BlockPtr note = s.row(QString(), BlockType::text);
    const BlockPtr empty = s.row(QString());
    // Fed only by a text row: no root leads here, the last pass does.
    const BlockPtr orphan = s.row(QStringLiteral("{N}+1"));
    s.link(note, orphan, QStringLiteral("N"));

    t.engine.evaluateCanvas(s.canvas);
    EXPECT_EQ(typed->blockType(), BlockType::calculation);
    expectValue(typed, 5);
    EXPECT_EQ(note->blockType(), BlockType::text);
    EXPECT_FALSE(note->hasError());
    expectError(empty, QStringLiteral("Empty expression"));
    expectError(orphan, QStringLiteral("Missing value for N"));

    // A text row is never evaluated and passes nothing on by itself.
    const quint64 before = t.engine.evaluationCount();
    t.engine.evaluateBlock(note);
    EXPECT_EQ(t.engine.evaluationCount(), before);
}

TEST(EngineRows, ChainsDiamondsAndEditsUpstream)
{
    TestEngine t;
    Sheet s;
    const BlockPtr a = s.row(QStringLiteral("10"));
    const BlockPtr b = s.row(QStringLiteral("{A}*2"));
    const BlockPtr c = s.row(QStringLiteral("{A:#00D4FF}+1"));
    const BlockPtr d = s.row(QStringLiteral("{B}+{C}"));
    s.link(a, b, QStringLiteral("A"));
    s.link(a, c, QStringLiteral("A"));
    s.link(b, d, QStringLiteral("B"));
    s.link(c, d, QStringLiteral("C"));

    t.engine.evaluateCanvas(s.canvas);
    expectValue(d, 31);

    // Each row below the edited one is evaluated once, after its sources.
    a->setExpression(QStringLiteral("20"));
    const quint64 before = t.engine.evaluationCount();
    t.engine.evaluateBlock(a);
    EXPECT_EQ(t.engine.evaluationCount() - before, 4u);
    expectValue(b, 40);
    expectValue(c, 21);
    expectValue(d, 61);

    // propagateChanges leaves the row itself alone.
    b->setExpression(QStringLiteral("1"));
    t.engine.propagateChanges(b);
    expectValue(b, 40);
    expectValue(d, 61);
}

TEST(EngineRows, LongChainCostsOneEvaluationPerRow)
{
    TestEngine t;
    Sheet s;
    BlockList chain{s.row(QStringLiteral("1"))};
    for (int i = 1; i < 300; ++i) {
        chain.append(s.row(QStringLiteral("{P}+1")));
        s.link(chain[i - 1], chain[i], QStringLiteral("P"));
    }
    t.engine.evaluateCanvas(s.canvas);
    expectValue(chain.last(), 300);

    chain.first()->setExpression(QStringLiteral("101"));
    const quint64 before = t.engine.evaluationCount();
    t.engine.evaluateBlock(chain.first());
    EXPECT_EQ(t.engine.evaluationCount() - before, 300u);
    expectValue(chain.last(), 400);
}

TEST(EngineRows, CyclesEndWithErrorsAndTerminate)
{
    TestEngine t;
    Sheet s;
    const BlockPtr a = s.row(QStringLiteral("{C}+1"));
    const BlockPtr b = s.row(QStringLiteral("{A}*2"));
    const BlockPtr c = s.row(QStringLiteral("{B}"));
    const BlockPtr below = s.row(QStringLiteral("{C}+5"));
    const BlockPtr apart = s.row(QStringLiteral("7"));
    const BlockPtr self = s.row(QStringLiteral("{S}+1"));
    s.link(a, b, QStringLiteral("A"));
    s.link(b, c, QStringLiteral("B"));
    s.link(c, a, QStringLiteral("C"));
    s.link(c, below, QStringLiteral("C"));
    s.link(self, self, QStringLiteral("S"));

    t.engine.evaluateCanvas(s.canvas);
    expectError(a, QStringLiteral("Missing value for C"));
    expectError(b, QStringLiteral("Missing value for A"));
    expectError(c, QStringLiteral("Missing value for B"));
    expectError(below, QStringLiteral("Missing value for C"));
    expectError(self, QStringLiteral("Missing value for S"));
    expectValue(apart, 7);
    EXPECT_EQ(a->expression(), QStringLiteral("{C}+1"));

    // Editing a row on the cycle terminates too.
    b->setExpression(QStringLiteral("3"));
    t.engine.evaluateBlock(b);
    expectError(b, QStringLiteral("Missing value for A"));

    // Breaking the cycle brings the values back.
    const LinkPtr closing = a->incomingLinks().first();
    closing->setDestinationBlock(nullptr);
    s.canvas->removeLink(closing);
    a->setExpression(QStringLiteral("1"));
    t.engine.evaluateBlock(a);
    expectValue(a, 1);
    expectValue(b, 3);
    expectValue(c, 3);
    expectValue(below, 8);
}

TEST(EngineRows, ErrorsPropagateAndRecover)
{
    TestEngine t;
    Sheet s;
    const BlockPtr a = s.row(QStringLiteral("5/0"));
    const BlockPtr b = s.row(QStringLiteral("{A}+1"));
    const BlockPtr c = s.row(QStringLiteral("{B}*2"));
    const BlockPtr unlinked = s.row(QStringLiteral("{X:#FF6B9D}"));
    s.link(a, b, QStringLiteral("A"));
    s.link(b, c, QStringLiteral("B"));

    t.engine.evaluateCanvas(s.canvas);
    expectError(a, QStringLiteral("Division by zero"));
    expectError(b, QStringLiteral("Missing value for A"));
    expectError(c, QStringLiteral("Missing value for B"));
    expectError(unlinked, QStringLiteral("Missing value for X"));

    a->setExpression(QStringLiteral("4"));
    t.engine.evaluateBlock(a);
    expectValue(c, 10);
}

TEST(EngineRows, PlaceholderNamesAndLinkSources)
{
    TestEngine t;
    Sheet s;
    const BlockPtr one = s.row(QStringLiteral("1"));
    const BlockPtr two = s.row(QStringLiteral("2"));
    const BlockPtr three = s.row(QStringLiteral("3"));
    const BlockPtr target = s.row(QStringLiteral("{A}*100+{B}"));
    s.link(one, target, QStringLiteral(" A "));
    s.link(two, target, QStringLiteral("A")); // the later link of a name wins
    // A link kept only in the canvas's list (its destination another record
    // with the same id) fills names the row's own links leave open.
    const BlockPtr twin = CalculationBlock::create(BlockType::calculation, QString(), QString(), QString(), 0, 0, 1, 1,
                                                   QStringLiteral("#00D4FF"));
    twin->setId(target->id());
    s.link(three, twin, QStringLiteral("B"));
    s.link(one, twin, QStringLiteral("A"));

    // The currency comes with the value it belongs to.
    const BlockPtr euros = s.row(QStringLiteral("5 €"));
    const BlockPtr plain = s.row(QStringLiteral("7"));
    const BlockPtr converted = s.row(QStringLiteral("{C} in USD"));
    s.link(euros, converted, QStringLiteral("C"));
    s.link(plain, converted, QStringLiteral("C"));

    t.engine.evaluateCanvas(s.canvas);
    expectValue(target, 203);
    expectValue(converted, 7);
}

TEST(EngineRows, CurrencyAndNumberStyleAlongLinks)
{
    TestEngine t;
    Sheet s;
    const BlockPtr euros = s.row(QStringLiteral("100 €"));
    const BlockPtr copy = s.row(QStringLiteral("{E}"));
    const BlockPtr dollars = s.row(QStringLiteral("{C} in USD"));
    const BlockPtr usd = s.row(QStringLiteral("110 US$"));
    const BlockPtr back = s.row(QStringLiteral("{U} to EUR"));
    const BlockPtr x = s.row(QStringLiteral("12,50"));
    const BlockPtr y = s.row(QStringLiteral("7,25"));
    const BlockPtr sum = s.row(QStringLiteral("{A}+{B}"));
    s.link(euros, copy, QStringLiteral("E"));
    s.link(copy, dollars, QStringLiteral("C"));
    s.link(usd, back, QStringLiteral("U"));
    s.link(x, sum, QStringLiteral("A"));
    s.link(y, sum, QStringLiteral("B"));

    t.engine.evaluateCanvas(s.canvas);
    expectValue(copy, 100);
    expectValue(dollars, 110); // the currency of the first source upstream
    expectValue(back, 100);
    expectValue(sum, 19.75);
    EXPECT_EQ(t.engine.rowCurrency(copy), QStringLiteral("€"));
    EXPECT_EQ(t.engine.rowCurrency(sum), std::nullopt);

    t.setStyle(DecimalStyle::usPeriod);
    x->setExpression(QStringLiteral("1,000.5"));
    t.engine.evaluateBlock(x);
    expectValue(sum, 1007.75);
}

TEST(EngineRows, DetectRowCurrency)
{
    const std::pair<const char*, const char*> cases[] = {
        {"100 €", "€"}, {"100 US$", "$"}, {"12 eur", "EUR"}, {"5 chf\t ", "CHF"}, {"3 £", "£"},
        {"1 pln", "PLN"}, {"100", nullptr}, {"€ 100", nullptr}, {"", nullptr},
    };
    for (const auto& [text, currency] : cases) {
        const std::optional<QString> found = CalculatorEngine::detectRowCurrency(QString::fromUtf8(text));
        EXPECT_EQ(found, currency ? std::optional(QString::fromUtf8(currency)) : std::nullopt) << text;
    }
}

TEST(EngineRows, RegexCacheFollowsTheTaxRates)
{
    TestEngine t;
    EXPECT_EQ(t.engine.regexCacheSize(), 0);
    EXPECT_EQ(t.engine.evaluate(QStringLiteral("100 + MwSt")), EvaluationResult::success(119));
    const qsizetype filled = t.engine.regexCacheSize();
    EXPECT_GT(filled, 0);
    EXPECT_EQ(t.engine.evaluate(QStringLiteral("200 + MwSt")), EvaluationResult::success(238));
    EXPECT_EQ(t.engine.regexCacheSize(), filled);

    t.settings().settings.enabledTaxRates = {TestSettings::taxRate("VAT", 20)};
    t.engine.clearRegexCache();
    EXPECT_EQ(t.engine.regexCacheSize(), 0);
    EXPECT_EQ(t.engine.evaluate(QStringLiteral("100 + VAT")), EvaluationResult::success(120));
    EXPECT_EQ(t.engine.evaluate(QStringLiteral("100 + MwSt")), EvaluationResult::success(100));
}

// The application's engine reads the shared settings afresh at every
// evaluation and forgets its tax patterns the moment the rates change.
TEST(SharedEngine, ReadsTheSharedSettings)
{
    CalcSettings& settings = CalcSettings::shared();
    const QList<CalcSettings::TaxRate> savedRates = settings.taxRates();
    const CalcSettings::ExchangeRates savedExchange = settings.exchangeRates();
    const DecimalStyle savedStyle = settings.decimalStyle();
    CalculatorEngine& engine = CalculatorEngine::shared();

    settings.setTaxRates({TestSettings::taxRate("MwSt", 19)});
    settings.setDecimalStyle(DecimalStyle::germanComma);
    EXPECT_EQ(engine.evaluate(QStringLiteral("1.000,5 + MwSt")), EvaluationResult::success(1190.595));
    EXPECT_GT(engine.regexCacheSize(), 0);

    settings.setTaxRates({TestSettings::taxRate("VAT", 20)});
    EXPECT_EQ(engine.regexCacheSize(), 0);
    settings.setDecimalStyle(DecimalStyle::usPeriod);
    EXPECT_EQ(engine.evaluate(QStringLiteral("1,000.5 + VAT")), EvaluationResult::success(1200.6));
    EXPECT_EQ(engine.evaluate(QStringLiteral("100 + MwSt")), EvaluationResult::success(100));

    CalcSettings::ExchangeRates rates;
    rates.baseCurrency = QStringLiteral("EUR");
    rates.rates = {{QStringLiteral("USD"), 1.25}};
    rates.lastUpdated = QDateTime::currentDateTimeUtc();
    settings.setExchangeRates(rates);
    EXPECT_EQ(engine.evaluate(QStringLiteral("100 € in USD")), EvaluationResult::success(125));
    EXPECT_EQ(engine.evaluate(QStringLiteral("100 € in GBP")), CalculationError::divisionByZero());
    settings.setExchangeRates(CalcSettings::ExchangeRates::empty());
    EXPECT_EQ(engine.evaluate(QStringLiteral("100 € in USD")), CalculationError::divisionByZero());

    settings.setTaxRates(savedRates);
    settings.setExchangeRates(savedExchange);
    settings.setDecimalStyle(savedStyle);
}
