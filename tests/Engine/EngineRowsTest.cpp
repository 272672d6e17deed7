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
    // A first row, then length - 1 rows each taking the row above as P.
    BlockList chain(const QString& first, int length, const QString& next)
    {
        BlockList rows{row(first)};
        for (int i = 1; i < length; ++i) {
            rows.append(row(next));
            link(rows[i - 1], rows[i], QStringLiteral("P"));
        }
        return rows;
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
    EXPECT_EQ(block->errorMessage().value_or(QString()), message)
        << block->errorMessage().value_or(QString()).toStdString();
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
    // A source is named by its label; without one the message says what it lacks.
    expectError(orphan, QStringLiteral("Missing value: its source row has none"));

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
    const BlockList chain = s.chain(QStringLiteral("1"), 300, QStringLiteral("{P}+1"));
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
    expectError(a, QStringLiteral("Missing value: its source row has none"));
    expectError(b, QStringLiteral("Missing value: its source row has none"));
    expectError(c, QStringLiteral("Missing value: its source row has none"));
    expectError(below, QStringLiteral("Missing value: its source row has none"));
    expectError(self, QStringLiteral("Missing value: its source row has none"));
    expectValue(apart, 7);
    EXPECT_EQ(a->expression(), QStringLiteral("{C}+1"));

    // Editing a row on the cycle terminates too.
    b->setExpression(QStringLiteral("3"));
    t.engine.evaluateBlock(b);
    expectError(b, QStringLiteral("Missing value: its source row has none"));

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
    a->setLabel(QStringLiteral("Wohnung "));
    const BlockPtr b = s.row(QStringLiteral("{A}+1"));
    const BlockPtr c = s.row(QStringLiteral("{B}*2"));
    const BlockPtr unlinked = s.row(QStringLiteral("{X:#FF6B9D}"));
    s.link(a, b, QStringLiteral("A"));
    s.link(b, c, QStringLiteral("B"));

    t.engine.evaluateCanvas(s.canvas);
    expectError(a, QStringLiteral("Division by zero"));
    expectError(b, QStringLiteral("Missing value for Wohnung"));
    expectError(c, QStringLiteral("Missing value: its source row has none"));
    // A token whose link went with its source row.
    expectError(unlinked, QStringLiteral("Missing value: its source row is gone"));

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
    // Links are the row's own records: a link into another record that
    // shares the row's id (a damaged store) fills nothing here.
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
    expectError(target, QStringLiteral("Missing value: its source row is gone"));
    target->setExpression(QStringLiteral("{A}*100"));
    t.engine.evaluateBlock(target);
    expectValue(target, 200);
    // A plain linked value has no currency to convert from.
    expectError(converted, QStringLiteral("Invalid expression"));
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
    EXPECT_EQ(t.engine.rowCurrency(copy), QStringLiteral("EUR"));
    EXPECT_EQ(t.engine.rowCurrency(sum), std::nullopt);

    t.setStyle(DecimalStyle::usPeriod);
    x->setExpression(QStringLiteral("1,000.5"));
    t.engine.evaluateBlock(x);
    expectValue(sum, 1007.75);
}

TEST(EngineRows, ResultCurrencyCode)
{
    // The code of the currency the value is in; lettered marks count only
    // as words of their own next to an amount.
    const std::pair<const char*, const char*> cases[] = {
        {"100 €", "EUR"},   {"100 US$", "USD"}, {"12 eur", "EUR"},         {"5 chf\t ", "CHF"},
        {"3 £", "GBP"},     {"1 pln", "PLN"},   {"100", nullptr},          {"€ 100", "EUR"},
        {"", nullptr},      {"20 C$", "CAD"},   {"Zahnkrone 500", nullptr}, {"R5 Kabel 20", nullptr},
        {"R 50", "ZAR"},    {"300 kr", "SEK"},  {"100 $ in Pfund", "GBP"},  {"50 Franken", "CHF"},
        {"Reihe 5 R", nullptr}, {"5 ¥", "JPY"},  {"5 CN¥", "CNY"},
    };
    for (const auto& [text, currency] : cases) {
        const std::optional<QString> found = CalculatorEngine::resultCurrencyCode(QString::fromUtf8(text));
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
    EXPECT_EQ(t.engine.evaluate(QStringLiteral("100 + MwSt")), CalculationError::invalidExpression());
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
    EXPECT_EQ(engine.evaluate(QStringLiteral("100 + MwSt")), CalculationError::invalidExpression());

    CalcSettings::ExchangeRates rates;
    rates.baseCurrency = QStringLiteral("EUR");
    rates.rates = {{QStringLiteral("USD"), 1.25}};
    rates.lastUpdated = QDateTime::currentDateTimeUtc();
    settings.setExchangeRates(rates);
    EXPECT_EQ(engine.evaluate(QStringLiteral("100 € in USD")), EvaluationResult::success(125));
    EXPECT_EQ(engine.evaluate(QStringLiteral("100 € in GBP")),
              CalculationError::missingExchangeRate(QStringLiteral("EUR"), QStringLiteral("GBP")));
    settings.setExchangeRates(CalcSettings::ExchangeRates::empty());
    EXPECT_EQ(engine.evaluate(QStringLiteral("100 € in USD")),
              CalculationError::missingExchangeRate(QStringLiteral("EUR"), QStringLiteral("USD")));

    settings.setTaxRates(savedRates);
    settings.setExchangeRates(savedExchange);
    settings.setDecimalStyle(savedStyle);
}

namespace {

// How a pass is started: the whole canvas, or one row with what follows it.
enum class Entry { canvas, block, propagate };

void run(TestEngine& t, Entry entry, const CanvasPtr& canvas, const BlockPtr& row)
{
    switch (entry) {
    case Entry::canvas:
        t.engine.evaluateCanvas(canvas);
        break;
    case Entry::block:
        t.engine.evaluateBlock(row);
        break;
    case Entry::propagate:
        t.engine.propagateChanges(row);
        break;
    }
}

const char* entryName(Entry entry)
{
    return entry == Entry::canvas ? "evaluateCanvas" : entry == Entry::block ? "evaluateBlock" : "propagateChanges";
}

} // namespace

// Rows read from a damaged store or file still hold the results of an
// earlier evaluation. Whatever starts the pass, a row on a cycle, or fed by
// one, ends with an error instead of its old result.
TEST(EngineRows, CyclesLoseTheirStoredResultsOnEveryPass)
{
    struct Case {
        Entry entry;
        bool joined;    // a row above feeds the cycle
        bool fromAbove; // the pass starts at that row rather than on the cycle
    };
    const Case cases[] = {
        {Entry::canvas, false, false}, {Entry::canvas, true, false}, {Entry::block, false, false},
        {Entry::block, true, true},    {Entry::propagate, true, true}, {Entry::propagate, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(entryName(c.entry)) + (c.joined ? " joined" : "") + (c.fromAbove ? " from above" : ""));
        TestEngine t;
        Sheet s;
        const BlockPtr above = s.row(QStringLiteral("2"));
        const BlockPtr a = s.row(QStringLiteral("{B}+{T}"));
        const BlockPtr b = s.row(QStringLiteral("{A}+1"));
        const BlockPtr fed = s.row(QStringLiteral("{B}*2"));
        const BlockPtr apart = s.row(QStringLiteral("3"));
        if (c.joined)
            s.link(above, a, QStringLiteral("T"));
        s.link(a, b, QStringLiteral("A"));
        s.link(b, a, QStringLiteral("B"));
        s.link(b, fed, QStringLiteral("B"));
        for (const auto& [row, value] : {std::pair{above, 2.0}, {a, 5.0}, {b, 6.0}, {fed, 12.0}, {apart, 3.0}})
            row->setResult(value);

        run(t, c.entry, s.canvas, c.fromAbove ? above : a);
        expectError(a, QStringLiteral("Missing value: its source row has none"));
        expectError(b, QStringLiteral("Missing value: its source row has none"));
        expectError(fed, QStringLiteral("Missing value: its source row has none"));
        expectValue(above, 2);
        expectValue(apart, 3);
    }
}

// A stored source result that is not a finite number (a damaged store or
// file) makes the rows using it fail; it is never read as 0.
TEST(EngineRows, NonFiniteSourceValuesMakeTheirUsersFail)
{
    const double infinity = std::numeric_limits<double>::infinity();
    struct Case {
        double stored;
        const char* expression;
        const char* error; // none: the row keeps a value
        double value;
    };
    const Case cases[] = {
        {infinity, "{A} + 1", "Invalid result", 0},
        {-infinity, "{A:#00D4FF} * 0", "Invalid result", 0},
        {std::numeric_limits<double>::quiet_NaN(), "{A}", "Invalid result", 0},
        {infinity, "{B} + 1", nullptr, 8}, // linked but not used
        {2.5, "{A} * 2", nullptr, 5},      // finite
    };
    for (const Entry entry : {Entry::canvas, Entry::block}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(entryName(entry)) + " " + c.expression);
            TestEngine t;
            Sheet s;
            // A text row keeps its stored result through every pass.
            const BlockPtr source = s.row(QString(), BlockType::text);
            source->setResult(c.stored);
            const BlockPtr seven = s.row(QStringLiteral("7"));
            seven->setResult(7);
            const BlockPtr user = s.row(QString::fromUtf8(c.expression));
            s.link(source, user, QStringLiteral("A"));
            s.link(seven, user, QStringLiteral("B"));
            run(t, entry, s.canvas, user);
            if (c.error)
                expectError(user, QString::fromUtf8(c.error));
            else
                expectValue(user, c.value);
        }
    }
    TestEngine t;
    EXPECT_EQ(t.engine.evaluate(QStringLiteral("{A}+1"), {{QStringLiteral("A"), infinity}}, {}),
              CalculationError::invalidResult());
}

// Two rows that share an id (a damaged store or an imported file) are still
// two rows: each takes values and currencies from its own links only.
TEST(EngineRows, RowsSharingAnIdKeepTheirOwnLinks)
{
    for (const Entry entry : {Entry::canvas, Entry::block}) {
        SCOPED_TRACE(entryName(entry));
        TestEngine t;
        Sheet s;
        const BlockPtr seven = s.row(QStringLiteral("7 €"));
        const BlockPtr linked = s.row(QStringLiteral("{B} + 1"));
        const BlockPtr twin = s.row(QStringLiteral("{B}"));
        const BlockPtr plain = s.row(QStringLiteral("5"));
        const BlockPtr twinFed = s.row(QStringLiteral("{C} in USD"));
        twin->setId(linked->id());
        s.link(seven, linked, QStringLiteral("B"));
        s.link(plain, twinFed, QStringLiteral("C"));
        // The twin passes on no currency of the row it shares its id with.
        s.link(twin, twinFed, QStringLiteral("C"));
        twin->setExpression(QStringLiteral("2"));

        if (entry == Entry::block) {
            t.engine.evaluateBlock(seven);
            t.engine.evaluateBlock(plain);
        }
        run(t, entry, s.canvas, twin);
        t.engine.evaluateBlock(linked);
        expectValue(linked, 8);
        EXPECT_EQ(t.engine.rowCurrency(linked), QStringLiteral("EUR"));
        EXPECT_EQ(t.engine.rowCurrency(twin), std::nullopt);
        // No currency reaches it, so nothing can be converted.
        expectError(twinFed, QStringLiteral("Invalid expression"));

        twin->setExpression(QStringLiteral("{B}"));
        t.engine.evaluateBlock(twin);
        expectError(twin, QStringLiteral("Missing value: its source row is gone"));
    }
}

// Every row is evaluated once per pass, after all the rows that feed it,
// however many rows feed it and however they are joined.
TEST(EngineRows, EachRowIsEvaluatedOncePerCanvasPass)
{
    struct Shape {
        const char* name;
        int roots;      // rows without links, all feeding one row
        int chain;      // rows below that row, each fed by the one above
        bool diamonds;  // every chain row also fed by the row two above
    };
    const Shape shapes[] = {
        {"sum of 300 rows", 300, 0, false},
        {"200 roots into a 50-row chain", 200, 50, false},
        {"lattice", 3, 60, true},
    };
    for (const Shape& shape : shapes) {
        SCOPED_TRACE(shape.name);
        TestEngine t;
        Sheet s;
        BlockList roots;
        QString sum = QStringLiteral("0");
        double expected = 0;
        for (int i = 0; i < shape.roots; ++i) {
            roots.append(s.row(QString::number(i + 1)));
            sum += QStringLiteral(" + {R%1:#00D4FF}").arg(i);
            expected += i + 1;
        }
        const BlockPtr fed = s.row(sum);
        for (int i = 0; i < shape.roots; ++i)
            s.link(roots[i], fed, QStringLiteral("R%1").arg(i));
        BlockList chain{fed};
        std::vector<double> values{expected};
        for (int i = 1; i <= shape.chain; ++i) {
            const bool twoAbove = shape.diamonds && i >= 2;
            chain.append(s.row(twoAbove ? QStringLiteral("{P} + {Q}") : QStringLiteral("{P} + 1")));
            s.link(chain[i - 1], chain[i], QStringLiteral("P"));
            if (twoAbove)
                s.link(chain[i - 2], chain[i], QStringLiteral("Q"));
            values.push_back(twoAbove ? values[size_t(i) - 1] + values[size_t(i) - 2] : values[size_t(i) - 1] + 1);
        }

        const quint64 before = t.engine.evaluationCount();
        t.engine.evaluateCanvas(s.canvas);
        EXPECT_EQ(t.engine.evaluationCount() - before, quint64(s.canvas->blocks().size()));
        for (int i = 0; i <= shape.chain; ++i)
            EXPECT_DOUBLE_EQ(chain[i]->result().value_or(-1), values[size_t(i)]) << "chain row " << i;
    }
}

// Editing one row of a long chain evaluates that row and the rows below it,
// nothing above; the results stay those of a whole pass.
TEST(EngineRows, EditingAChainRowEvaluatesOnlyWhatFollows)
{
    TestEngine t;
    Sheet s;
    const BlockList chain = s.chain(QStringLiteral("1 €"), 400, QStringLiteral("{P} + 1"));
    t.engine.evaluateCanvas(s.canvas);
    const BlockPtr converted = s.row(QStringLiteral("{L} in USD"));
    s.link(chain.last(), converted, QStringLiteral("L"));
    t.engine.evaluateBlock(converted);
    expectValue(converted, 440); // 400 € at 1.1

    struct Edit {
        int row;
        const char* expression;
        double last; // the chain's last row afterwards
        double converted; // -1: the conversion fails
    };
    const Edit edits[] = {
        {399, "{P} + 2", 401, 441.1},    // the last chain row: it and the converted row
        {399, "{P} + 3", 402, 442.2},
        {200, "{P} + 11", 412, 453.2},   // the middle
        {0, "10 €", 421, 463.1},         // the top
        {0, "10", 421, -1},              // the currency mark goes: nothing left to convert
        {399, "{P} + 3 €", 421, 463.1},  // a mark of its own lower down
    };
    for (const Edit& edit : edits) {
        SCOPED_TRACE(edit.expression);
        chain[edit.row]->setExpression(QString::fromUtf8(edit.expression));
        const quint64 before = t.engine.evaluationCount();
        t.engine.evaluateBlock(chain[edit.row]);
        EXPECT_EQ(t.engine.evaluationCount() - before, quint64(400 - edit.row + 1));
        expectValue(chain.last(), edit.last);
        EXPECT_NEAR(converted->result().value_or(-1), edit.converted, 1e-9);
    }
}

// Tokens are filled in one scan of the text; where tokens reach into one
// another the outcome stays that of filling name by name, longest first.
TEST(EngineRows, PlaceholdersFilledInOneScan)
{
    struct Case {
        const char* expression;
        QHash<QString, double> values;
        std::optional<double> value;
        const char* error;
    };
    const Case cases[] = {
        {"{A}+{AB:blue}*{A B}", {{"A", 1}, {"AB", 2}, {"A B", 3}}, 7, nullptr},
        {"{A  }+{A\t:x}", {{"A", 2}}, 4, nullptr},
        {"{A:{BB}}", {{"A", 1}, {"BB", 2}}, 1, nullptr},
        {"{A:{BB}", {{"A", 1}, {"BB", 2}}, std::nullopt, "Invalid expression"},
        {"{{AB}}", {{"AB", 7}, {"7", 3}}, 3, nullptr},
        {"{X:1} + {A}", {{"A", 1}}, std::nullopt, "Missing value for X"},
        {"{A}^2", {{"A", -3}}, 9, nullptr},
        {"{A}+{B}^2", {{"A", -3}, {"B", -2}}, 1, nullptr},
        {"{a:b}", {{"a:b", 4}, {"a", 5}}, 4, nullptr},
        {"{}+{:x}", {{"", 6}}, 12, nullptr},
        {"}{A}", {{"A", 5}}, std::nullopt, "Invalid expression"},
    };
    TestEngine t;
    t.setStyle(DecimalStyle::usPeriod);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expression);
        const EvaluationResult outcome = t.engine.evaluate(QString::fromUtf8(c.expression), c.values, {});
        if (c.value)
            EXPECT_EQ(outcome, EvaluationResult::success(*c.value));
        else
            EXPECT_EQ(outcome.ok() ? QString() : outcome.error().errorDescription(), QString::fromUtf8(c.error));
    }

    // A sum over thousands of tokens.
    QHash<QString, double> values;
    QString sum = QStringLiteral("0");
    for (int i = 0; i < 3000; ++i) {
        values.insert(QStringLiteral("V%1").arg(i), i);
        sum += QStringLiteral("+{V%1:#FF6B9D}").arg(i);
    }
    EXPECT_EQ(t.engine.evaluate(sum, values, {}), EvaluationResult::success(3000.0 * 2999 / 2));

    // Links shown by their sources in one scan too: a link touching a word
    // or number is set apart from it, whichever of the two is shown first;
    // a label holding a token is shown as name by name shows it.
    Sheet s;
    const BlockPtr shown = s.row(QStringLiteral("{ABC}{AB}+{A}{AB}{ABC}+{AB:00D4FF}{A} {A}{ABC}{AB}"));
    const BlockPtr braced = s.row(QStringLiteral("{B}+{A}"));
    const BlockPtr oil = s.row(QStringLiteral("7"));
    oil->setLabel(QStringLiteral("Öl"));
    const BlockPtr gas = s.row(QStringLiteral("3 €"));
    gas->setLabel(QStringLiteral("Gas"));
    const BlockPtr tokenLike = s.row(QStringLiteral("4"));
    tokenLike->setLabel(QStringLiteral("x{A}"));
    s.link(oil, shown, QStringLiteral("A"));
    s.link(s.row(QStringLiteral("12")), shown, QStringLiteral("AB"));
    s.link(gas, shown, QStringLiteral("ABC"));
    s.link(tokenLike, braced, QStringLiteral("B"));
    s.link(oil, braced, QStringLiteral("A"));
    t.engine.evaluateCanvas(s.canvas);
    EXPECT_EQ(CalculatorEngine::withLinksShown(*shown), QStringLiteral("Gas 12+Öl 12 Gas+12 Öl Öl Gas 12"));
    EXPECT_EQ(CalculatorEngine::withLinksShown(*braced), QStringLiteral("x Öl+Öl"));

    // A refused row over many links quotes them as the canvas shows them
    // (by label, else by value), from where reading failed.
    const BlockPtr refused = s.row(QString());
    QString linked;
    for (int i = 0; i < 40; ++i) {
        const BlockPtr source = s.row(QString::number(i + 1) + (i == 39 ? QStringLiteral(" €") : QString()));
        if (i % 2 == 0)
            source->setLabel(QStringLiteral("Posten ") + QChar(u'A' + i % 26) + QChar(u'a' + i / 26));
        s.link(source, refused, QStringLiteral("V%1").arg(i));
        linked += QStringLiteral("{V%1:#00D4FF}").arg(i);
        linked += i == 38 ? QStringLiteral(" Äpfel ") : QStringLiteral(" + ");
    }
    refused->setExpression(linked + QStringLiteral("1"));
    t.engine.evaluateCanvas(s.canvas);
    EXPECT_EQ(refused->errorDetail(), QStringLiteral("Invalid expression \u2014 two numbers with only words between "
                                                     "them: Posten Mb Äpfel 40"));
}

TEST(EngineRows, ALabelWordBeforeABlankGroupedNumberRefusesTheRowAsInOneLine)
{
    // The label stands right before the expression: a row reads blanks
    // after its label's word as the whole line in one field does.
    TestEngine t;
    Sheet s;
    // The row with its label, evaluated, and the same text as one line.
    struct Read {
        BlockPtr row;
        EvaluationResult whole;
    };
    auto read = [&](const char* label, const char* expression) {
        const QString typed = QString::fromUtf8(expression);
        const BlockPtr row = s.row(typed);
        row->setLabel(QString::fromUtf8(label));
        t.engine.evaluateBlock(row);
        return Read{row, t.engine.evaluate((row->label() + QLatin1Char(' ') + typed).trimmed())};
    };
    const char* const labels[] = {"Achtung!", "TV", "Windows 11 Pro", "A4", "iPhone15", "Tom's", "Wozu?", "Lukas'",
                                  "Nr.", "Summe:", "Preis EUR", "Rabatt -", "(", "x", ""};
    // Each expression with the number a refusal quotes.
    const std::pair<const char*, const char*> expressions[] = {
        {"1 299", "1 299"}, {"3 329 + 5", "3 329"}, {"12 000 000", "12 000 000"}, {" 1 000", "1 000"},
        {"1 000 €", "1 000"}, {"1'000", ""}, {"999", ""}, {"2024: 850", ""}, {"12 = 300", ""}, {"40 x 1,85", ""},
        {"(1 000)", ""}, {"1 0000", ""}, {"01 000", ""}};
    for (const DecimalStyle style : {DecimalStyle::germanComma, DecimalStyle::usPeriod}) {
        t.setStyle(style);
        for (const char* label : labels) {
            for (const auto& [expression, quote] : expressions) {
                SCOPED_TRACE(std::string(label) + " | " + expression);
                const auto [row, whole] = read(label, expression);
                const bool wholeRefused = !whole.ok() && whole.error().refusal() == RefusalCode::ambiguousGrouping;
                const bool rowRefused = row->errorDetail().contains(QStringLiteral("grouped with blanks"));
                EXPECT_EQ(rowRefused, wholeRefused) << row->errorDetail().toStdString();
                if (rowRefused) {
                    EXPECT_TRUE(row->errorDetail().endsWith(QStringLiteral(": ") + QString::fromUtf8(quote)))
                        << row->errorDetail().toStdString();
                }
            }
        }
    }
    // Literally: the quote, and the rows that read.
    const BlockPtr attention = s.row(QStringLiteral("3 329"));
    attention->setLabel(QStringLiteral("Achtung!"));
    t.setStyle(DecimalStyle::germanComma);
    t.engine.evaluateBlock(attention);
    EXPECT_EQ(attention->errorDetail(),
              QStringLiteral("Invalid expression \u2014 a number grouped with blanks right after a word: 3 329"));
    const BlockPtr unlabelled = s.row(QStringLiteral("1 000"));
    const BlockPtr mum = s.row(QStringLiteral("1'000"));
    mum->setLabel(QStringLiteral("Mum's"));
    const BlockPtr number = s.row(QStringLiteral("1 000"));
    number->setLabel(QStringLiteral("Nr:"));
    for (const BlockPtr& row : {unlabelled, mum, number}) {
        t.engine.evaluateBlock(row);
        expectValue(row, 1000);
    }
    // A word's closing point is the word's.
    const BlockPtr numbered = s.row(QStringLiteral("3 329"));
    numbered->setLabel(QStringLiteral("Nr."));
    t.engine.evaluateBlock(numbered);
    EXPECT_EQ(numbered->errorDetail(),
              QStringLiteral("Invalid expression \u2014 a number grouped with blanks right after a word: 3 329"));
    // A number ending the label is no group of the expression's.
    const BlockPtr windows = s.row(QStringLiteral("999"));
    windows->setLabel(QStringLiteral("Windows 11"));
    t.engine.evaluateBlock(windows);
    expectValue(windows, 999);
    // A label renamed to end in a word, and back: the row reads anew, the
    // row it feeds only when its value changed or its message names the label.
    const BlockPtr plusOne = s.row(QStringLiteral("{N} + 1"));
    s.link(number, plusOne, QStringLiteral("N"));
    t.engine.evaluateBlock(plusOne);
    const std::pair<const char*, int> renames[] = {{"Nr", 2}, {"Nrn", 2}, {"Nr.", 2}, {"Nr.:", 2}, {"Nr:", 1}};
    for (const auto& [label, evaluated] : renames) {
        SCOPED_TRACE(label);
        number->setLabel(QString::fromUtf8(label));
        const quint64 before = t.engine.evaluationCount();
        t.engine.sourceRenamed(number);
        EXPECT_EQ(t.engine.evaluationCount() - before, quint64(evaluated));
    }
    expectValue(number, 1000);
    expectValue(plusOne, 1001);
    number->setLabel(QStringLiteral("Nr"));
    t.engine.sourceRenamed(number);
    EXPECT_FALSE(number->result().has_value());
    expectError(plusOne, QStringLiteral("Missing value for Nr"));
    number->setLabel(QStringLiteral("Nr:"));
    t.engine.sourceRenamed(number);
    expectValue(number, 1000);
    // A lone x glued to a count ending the label refuses an amount after it,
    // as the whole line does; another word there does not.
    const std::pair<const char*, bool> counts[] = {{"Tickets x2", true}, {"x12", true}, {"Karten x2 ", true},
                                                   {"Tickets X2", false}, {"Boxx2", false}};
    for (const auto& [label, refused] : counts) {
        for (const char* expression : {"24,00", "\u20ac 24", "24 + 1"}) {
            SCOPED_TRACE(std::string(label) + " | " + expression);
            const auto [row, whole] = read(label, expression);
            EXPECT_EQ(!row->result().has_value(), refused) << row->errorDetail().toStdString();
            EXPECT_EQ(!whole.ok(), refused);
        }
    }
    const BlockPtr tickets = s.row(QStringLiteral("24"));
    tickets->setLabel(QStringLiteral("Tickets"));
    t.engine.evaluateBlock(tickets);
    expectValue(tickets, 24);
    tickets->setLabel(QStringLiteral("Tickets x2"));
    t.engine.sourceRenamed(tickets);
    EXPECT_EQ(tickets->errorDetail(),
              QStringLiteral("Invalid expression \u2014 two numbers with only words between them: 24"));
    // Back to a label that refuses nothing: the row reads again.
    tickets->setLabel(QStringLiteral("Tickets"));
    t.engine.sourceRenamed(tickets);
    expectValue(tickets, 24);
}
