#include "Views/Canvas/CanvasViewTestSupport.h"
#include "support/TestSupport.h"

#include "Engine/CalculatorEngine.h"
#include "Models/CalcSettings.h"
#include "Views/Canvas/CanvasLinkPicker.h"

#include <QLineEdit>
#include <gtest/gtest.h>

namespace {

// The shared settings the picker reads, restored after each test.
class PickerTest : public ::testing::Test {
protected:
    PickerTest()
        : m_rates(CalcSettings::shared().taxRates())
        , m_codes(CalcSettings::shared().enabledCurrencyCodes())
        , m_style(CalcSettings::shared().decimalStyle())
    {
        CalcSettings::shared().setDecimalStyle(DecimalStyle::germanComma);
    }
    ~PickerTest() override
    {
        CalcSettings::shared().setTaxRates(m_rates);
        CalcSettings::shared().setEnabledCurrencyCodes(m_codes);
        CalcSettings::shared().setDecimalStyle(m_style);
    }

    static void setTaxRates(const QList<std::pair<QString, double>>& rates)
    {
        QList<CalcSettings::TaxRate> list;
        for (const auto& [label, rate] : rates)
            list.append({QUuid::createUuid(), label, rate, true});
        CalcSettings::shared().setTaxRates(list);
    }

    static int entryIndex(const LinkPickerPopup* picker, const QString& title)
    {
        for (int i = 0; i < picker->entryCount(); ++i) {
            if (picker->entry(i).title == title)
                return i;
        }
        return -1;
    }

    static void pick(CanvasView& view, const QString& title)
    {
        LinkPickerPopup* picker = view.linkPicker();
        ASSERT_TRUE(picker && picker->isVisible());
        const int index = entryIndex(picker, title);
        ASSERT_GE(index, 0) << title.toStdString();
        QTest::mouseClick(picker, Qt::LeftButton, {}, picker->entryRect(index).center().toPoint());
    }

    EditorPreferences preferences;

private:
    QList<CalcSettings::TaxRate> m_rates;
    QStringList m_codes;
    DecimalStyle m_style;
};

QStringList texts(CanvasView& view, const BlockPtr& target)
{
    LinkPickerPopup picker(nullptr);
    picker.setSections(view.slickAutocompletePopup(target));
    return picker.shownTexts();
}

} // namespace

TEST_F(PickerTest, TypedHashPicksARowATaxRateAndACurrency)
{
    setTaxRates({{QStringLiteral("MwSt"), 19}, {QStringLiteral("MwSt reduziert"), 7}});
    CalcSettings::shared().setEnabledCurrencyCodes({QStringLiteral("EUR"), QStringLiteral("JPY")});
    const CanvasPtr canvas = makeCanvas();
    const BlockPtr net = addRow(canvas, QStringLiteral("Netto"), QStringLiteral("100"), 20, QStringLiteral("#00FF88"));
    const BlockPtr target = addRow(canvas, QString(), QString(), 76);
    ShownEditor editor(canvas);
    CanvasView& view = editor.view;
    QTest::mouseClick(view.tableWidget(), Qt::LeftButton, {}, editor.at(view.expressionRect(1)));
    auto* field = qobject_cast<QLineEdit*>(view.expressionEditor());

    QTest::keyClicks(field, QStringLiteral("#"));
    ASSERT_TRUE(view.linkPicker()->isVisible());
    EXPECT_EQ(view.linkPicker()->shownTexts(),
              (QStringList{QStringLiteral("Results"), QStringLiteral("Netto 100"), QStringLiteral("—"),
                           QStringLiteral("Tax Rates"), QStringLiteral("MwSt 19%"),
                           QStringLiteral("MwSt reduziert 7%"), QStringLiteral("—"), QStringLiteral("Currencies"),
                           QStringLiteral("€ Euro EUR"), QStringLiteral("¥ Japanese Yen JPY")}));
    // The list opens under the row's expression and keeps the keyboard there.
    EXPECT_GE(view.linkPicker()->geometry().top(), view.tableWidget()->mapTo(&view, view.expressionRect(1).center().toPoint()).y());
    EXPECT_TRUE(field->hasFocus());

    pick(view, QStringLiteral("Netto"));
    EXPECT_FALSE(view.showLinkAutocomplete());
    EXPECT_FALSE(view.linkPicker()->isVisible());
    EXPECT_EQ(target->expression(), QStringLiteral("{Netto:#00FF88}"));
    ASSERT_EQ(target->incomingLinks().size(), 1);
    const LinkPtr link = target->incomingLinks().first();
    EXPECT_EQ(link->sourceBlock(), net);
    EXPECT_EQ(link->placeholderName(), QStringLiteral("Netto"));
    EXPECT_EQ(link->colorHex(), QStringLiteral("#00FF88"));
    EXPECT_TRUE(canvas->links().contains(link));
    EXPECT_EQ(target->result(), 100.0);
    // The open field shows what was inserted, and typing goes on from there.
    EXPECT_EQ(field->text(), view.expressionWithLineNumbers(target));
    EXPECT_TRUE(field->hasFocus());

    // Typing on stores the field's row number back as a token with the
    // source's colour without "#".
    QTest::keyClicks(field, QStringLiteral(" + #"));
    pick(view, QStringLiteral("MwSt"));
    EXPECT_EQ(target->expression(), QStringLiteral("{Netto:00FF88} + 19%"));
    EXPECT_EQ(target->label(), QStringLiteral("inkl. 19% MwSt"));
    EXPECT_EQ(target->result(), 119.0);

    QTest::keyClicks(field, QStringLiteral(" #"));
    pick(view, QStringLiteral("Japanese Yen"));
    EXPECT_EQ(target->expression(), QStringLiteral("{Netto:00FF88} + 19% ¥"));
    EXPECT_EQ(target->incomingLinks().size(), 1);

    // Escape closes the list; a character after "#" does too.
    QTest::keyClicks(field, QStringLiteral("#"));
    ASSERT_TRUE(view.linkPicker()->isVisible());
    QTest::keyClick(field, Qt::Key_Escape);
    EXPECT_FALSE(view.showLinkAutocomplete());
    EXPECT_FALSE(view.linkPicker()->isVisible());
    QTest::keyClicks(field, QStringLiteral("#"));
    ASSERT_TRUE(view.linkPicker()->isVisible());
    QTest::keyClicks(field, QStringLiteral("1"));
    EXPECT_FALSE(view.linkPicker()->isVisible());
}

// The keys of a completion list: Up and Down move the highlight, Return and
// Tab take the entry as a click does, Escape leaves the text as typed. The
// field keeps the keyboard throughout.
TEST_F(PickerTest, KeysDriveTheListWhileTypingGoesOn)
{
    setTaxRates({{QStringLiteral("MwSt"), 19}, {QStringLiteral("MwSt reduziert"), 7}});
    CalcSettings::shared().setEnabledCurrencyCodes({QStringLiteral("EUR"), QStringLiteral("USD"), QStringLiteral("GBP"),
                                                    QStringLiteral("CHF"), QStringLiteral("JPY"), QStringLiteral("SEK")});
    const CanvasPtr canvas = makeCanvas();
    addRow(canvas, QStringLiteral("Netto"), QStringLiteral("100"), 20, QStringLiteral("#00FF88"));
    const BlockPtr target = addRow(canvas, QString(), QString(), 76);
    addRow(canvas, QStringLiteral("Danach"), QString(), 132);
    ShownEditor editor(canvas, nullptr, QSize(900, 300));
    CanvasView& view = editor.view;
    QTest::mouseClick(view.tableWidget(), Qt::LeftButton, {}, editor.at(view.expressionRect(1)));
    auto* field = qobject_cast<QLineEdit*>(view.expressionEditor());
    LinkPickerPopup* picker = nullptr;

    QTest::keyClicks(field, QStringLiteral("100 + #"));
    picker = view.linkPicker();
    ASSERT_TRUE(picker->isVisible());
    EXPECT_EQ(picker->highlightedEntry(), 0) << "the first entry";
    QTest::keyClick(field, Qt::Key_Up);
    EXPECT_EQ(picker->highlightedEntry(), 0) << "stops at the top";
    QTest::keyClick(field, Qt::Key_Down);
    QTest::keyClick(field, Qt::Key_Down);
    QTest::keyClick(field, Qt::Key_Up);
    // With Shift or Alt held the arrows are not the list's.
    for (const Qt::KeyboardModifier held : {Qt::ShiftModifier, Qt::AltModifier}) {
        QTest::keyClick(field, Qt::Key_Down, held);
        QTest::keyClick(field, Qt::Key_Up, held);
        QTest::keyClick(field, Qt::Key_Up, held);
    }
    ASSERT_TRUE(picker->isVisible());
    EXPECT_EQ(picker->entry(picker->highlightedEntry()).title, QStringLiteral("MwSt"));
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_FALSE(picker->isVisible());
    EXPECT_EQ(target->expression(), QStringLiteral("100 + 19%"));
    EXPECT_EQ(target->label(), QStringLiteral("inkl. 19% MwSt"));
    EXPECT_EQ(view.focusedBlockID(), target->id()) << "Return took the entry, not the next row";
    EXPECT_TRUE(field->hasFocus());

    // Reopened, the list starts at the top again; the last entry, below the
    // list's cut edge, is scrolled into view; Tab takes it.
    QTest::keyClicks(field, QStringLiteral(" #"));
    ASSERT_TRUE(picker->isVisible());
    EXPECT_EQ(picker->highlightedEntry(), 0);
    for (int i = 0; i < 12; ++i)
        QTest::keyClick(field, Qt::Key_Down);
    ASSERT_EQ(picker->highlightedEntry(), picker->entryCount() - 1);
    ASSERT_LT(picker->height(), picker->sizeHint().height()) << "the list must be cut short for this";
    const QRectF last = picker->entryRect(picker->highlightedEntry());
    EXPECT_TRUE(QRectF(picker->rect()).contains(last));
    QTest::keyClick(field, Qt::Key_Tab);
    EXPECT_EQ(target->expression(), QStringLiteral("100 + 19% kr"));
    EXPECT_EQ(view.focusedBlockID(), target->id());

    // Escape closes the list and keeps "#"; typing goes on in the field.
    QTest::keyClicks(field, QStringLiteral(" #"));
    ASSERT_TRUE(picker->isVisible());
    QTest::keyClick(field, Qt::Key_Escape);
    EXPECT_FALSE(picker->isVisible());
    EXPECT_EQ(field->text(), QStringLiteral("100 + 19% kr #"));
    EXPECT_EQ(view.focusedBlockID(), target->id());
    QTest::keyClicks(field, QStringLiteral("2"));
    EXPECT_EQ(target->expression(), QStringLiteral("100 + 19% kr #2"));
}

TEST_F(PickerTest, SectionsShowOnlyWhatThereIs)
{
    const CanvasPtr canvas = makeCanvas();
    const BlockPtr target = addRow(canvas, QString(), QStringLiteral("1"), 20);
    CanvasView view(canvas, nullptr, nullptr);
    CalculatorEngine::shared().evaluateCanvas(canvas);

    setTaxRates({});
    CalcSettings::shared().setEnabledCurrencyCodes({});
    EXPECT_EQ(texts(view, target), QStringList{QStringLiteral("No items available")});

    setTaxRates({{QStringLiteral("MwSt"), 19}, {QStringLiteral("Aus"), 5}});
    QList<CalcSettings::TaxRate> rates = CalcSettings::shared().taxRates();
    rates[1].isEnabled = false;
    CalcSettings::shared().setTaxRates(rates);
    EXPECT_EQ(texts(view, target), (QStringList{QStringLiteral("Tax Rates"), QStringLiteral("MwSt 19%")}));

    // Unlabelled rows are named by their table position; the list keeps the
    // stored order.
    setTaxRates({});
    CalcSettings::shared().setEnabledCurrencyCodes({QStringLiteral("CHF")});
    const BlockPtr moved = addRow(canvas, QString(), QStringLiteral("2,5"), 200, QStringLiteral("kein Hex"));
    addRow(canvas, QStringLiteral("Vorne"), QStringLiteral("3"), 0);
    addRow(canvas, QStringLiteral("Leer"), QString(), 300); // no result
    CalculatorEngine::shared().evaluateCanvas(canvas);
    EXPECT_EQ(texts(view, target),
              (QStringList{QStringLiteral("Results"), QStringLiteral("Row 3 2,5"), QStringLiteral("Vorne 3"),
                           QStringLiteral("—"), QStringLiteral("Currencies"),
                           QStringLiteral("CHF Swiss Franc CHF")}));
    const QList<AutocompleteSection> sections = view.slickAutocompletePopup(target);
    EXPECT_EQ(sections.first().entries.first().color, CanvasView::rowColor(*moved)); // unreadable: cyan
}

TEST_F(PickerTest, RowsThatDependOnTheTargetAreNotOffered)
{
    const CanvasPtr canvas = makeCanvas();
    const BlockPtr target = addRow(canvas, QStringLiteral("Ziel"), QStringLiteral("2"), 20);
    const BlockPtr user = addRow(canvas, QStringLiteral("Nutzer"), QStringLiteral("{Z:1}*2"), 76);
    const BlockPtr further = addRow(canvas, QStringLiteral("Weiter"), QStringLiteral("{N:1}+1"), 132);
    const BlockPtr free = addRow(canvas, QStringLiteral("Frei"), QStringLiteral("9"), 188);
    linkRows(canvas, target, user, QStringLiteral("Z"));
    linkRows(canvas, user, further, QStringLiteral("N"));
    CalculatorEngine::shared().evaluateCanvas(canvas);
    setTaxRates({});
    CalcSettings::shared().setEnabledCurrencyCodes({});
    CanvasView view(canvas, nullptr, nullptr);

    EXPECT_EQ(texts(view, target), (QStringList{QStringLiteral("Results"), QStringLiteral("Frei 9")}));
    // Called anyway, a pick that would close a cycle links nothing.
    target->setExpression(QStringLiteral("2+#"));
    view.insertLinkToBlock(further, target);
    view.insertLinkToBlock(target, target);
    EXPECT_EQ(target->expression(), QStringLiteral("2+#"));
    EXPECT_TRUE(target->incomingLinks().isEmpty());
    EXPECT_EQ(canvas->links().size(), 2);
    EXPECT_FALSE(view.showLinkAutocomplete());
}

TEST_F(PickerTest, LinkNamesAreTrimmedAndNeverSharedBetweenRows)
{
    const CanvasPtr canvas = makeCanvas();
    const BlockPtr first = addRow(canvas, QStringLiteral("  Netto\t"), QStringLiteral("10"), 20);
    const BlockPtr second = addRow(canvas, QStringLiteral("Netto"), QStringLiteral("20"), 76);
    const BlockPtr third = addRow(canvas, QStringLiteral("Netto"), QStringLiteral("30"), 132);
    const BlockPtr blank = addRow(canvas, QStringLiteral("   "), QStringLiteral("4"), 188);
    const BlockPtr target = addRow(canvas, QString(), QStringLiteral("#"), 244);
    CalculatorEngine::shared().evaluateCanvas(canvas);
    CanvasView view(canvas, nullptr, nullptr);

    EXPECT_EQ(CanvasView::pickedLinkName(first, target), QStringLiteral("Netto"));
    const QString fallback = QStringLiteral("Result") + blank->id().toString(QUuid::WithoutBraces).left(4).toUpper();
    EXPECT_EQ(CanvasView::pickedLinkName(blank, target), fallback);

    view.insertLinkToBlock(first, target); // "#" alone becomes the token
    EXPECT_EQ(target->expression(), QStringLiteral("{Netto:#00D4FF}"));
    target->setExpression(target->expression() + QStringLiteral("+##"));
    view.insertLinkToBlock(second, target); // only one "#" goes
    view.insertLinkToBlock(first, target);  // the same row again: same name, second link
    view.insertLinkToBlock(third, target);
    view.insertLinkToBlock(second, target);
    EXPECT_EQ(target->expression(),
              QStringLiteral("{Netto:#00D4FF}+#{Netto2:#00D4FF}{Netto:#00D4FF}{Netto3:#00D4FF}{Netto2:#00D4FF}"));
    QStringList names;
    for (const LinkPtr& link : target->incomingLinks())
        names.append(link->placeholderName());
    EXPECT_EQ(names, (QStringList{QStringLiteral("Netto"), QStringLiteral("Netto2"), QStringLiteral("Netto"),
                                  QStringLiteral("Netto3"), QStringLiteral("Netto2")}));
    EXPECT_EQ(first->outgoingLinks().size(), 2);

    // Each name reads its own row's value.
    target->setExpression(QStringLiteral("{Netto:#00D4FF}+{Netto2:#00D4FF}+{Netto3:#00D4FF}"));
    CalculatorEngine::shared().evaluateBlock(target);
    EXPECT_EQ(target->result(), 60.0);
}

TEST_F(PickerTest, TaxRatesAreWrittenInTheCurrentNumberStyle)
{
    setTaxRates({{QStringLiteral("Sonder"), 7.7}, {QStringLiteral("Null"), -0.0}, {QStringLiteral("Groß"), 1e20}});
    CalcSettings::shared().setEnabledCurrencyCodes({});
    const CanvasPtr canvas = makeCanvas();
    const BlockPtr target = addRow(canvas, QString(), QStringLiteral("100 + #"), 20);
    const BlockPtr labelled = addRow(canvas, QStringLiteral("Preis"), QStringLiteral("200+"), 76);
    CanvasView view(canvas, nullptr, nullptr);

    CalcSettings::shared().setDecimalStyle(DecimalStyle::germanComma);
    EXPECT_EQ(texts(view, target), (QStringList{QStringLiteral("Tax Rates"), QStringLiteral("Sonder 7,7%"),
                                                QStringLiteral("Null 0%"),
                                                QStringLiteral("Groß 100000000000000000000%")}));
    const QList<CalcSettings::TaxRate> rates = CalcSettings::shared().enabledTaxRates();
    view.insertTaxRate(rates[0], target);
    EXPECT_EQ(target->expression(), QStringLiteral("100 + 7,7%"));
    EXPECT_EQ(target->label(), QStringLiteral("inkl. 7,7% Sonder"));
    EXPECT_DOUBLE_EQ(*target->result(), 107.7);

    CalcSettings::shared().setDecimalStyle(DecimalStyle::usPeriod);
    view.insertTaxRate(rates[0], labelled);
    EXPECT_EQ(labelled->expression(), QStringLiteral("200+7.7%"));
    EXPECT_EQ(labelled->label(), QStringLiteral("Preis"));
    EXPECT_DOUBLE_EQ(*labelled->result(), 215.4);

    EXPECT_EQ(CanvasView::taxRateText(19, DecimalStyle::germanComma), QStringLiteral("19"));
    EXPECT_EQ(CanvasView::taxRateText(-0.0, DecimalStyle::usPeriod), QStringLiteral("0"));
    EXPECT_EQ(CanvasView::taxRateText(0.5, DecimalStyle::germanComma), QStringLiteral("0,5"));
    EXPECT_FALSE(CanvasView::taxRateText(std::nan(""), DecimalStyle::usPeriod).has_value());
    EXPECT_FALSE(CanvasView::taxRateText(-INFINITY, DecimalStyle::usPeriod).has_value());
}

TEST_F(PickerTest, CurrencyPickAppendsTheSymbolOnly)
{
    const CanvasPtr canvas = makeCanvas();
    const BlockPtr row = addRow(canvas, QString(), QStringLiteral("5"), 20);
    CanvasView view(canvas, nullptr, nullptr);
    const QDateTime before = QDateTime::fromSecsSinceEpoch(1000);
    canvas->setModifiedAt(before);
    view.insertCurrency(QStringLiteral("kr"), row); // no "#" to drop
    EXPECT_EQ(row->expression(), QStringLiteral("5kr"));
    EXPECT_TRUE(row->label().isEmpty());
    EXPECT_GT(canvas->modifiedAt(), before);
    EXPECT_EQ(row->result(), 5.0);
}

TEST_F(PickerTest, ListNeverCoversItsRow)
{
    setTaxRates({{QStringLiteral("MwSt"), 19}, {QStringLiteral("MwSt reduziert"), 7}});
    CalcSettings::shared().setEnabledCurrencyCodes({QStringLiteral("EUR"), QStringLiteral("USD"), QStringLiteral("GBP")});
    const CanvasPtr canvas = makeCanvas();
    for (int i = 0; i < 6; ++i)
        addRow(canvas, QStringLiteral("Posten %1").arg(i), QString::number(i + 1), 20 + 56 * i);
    ShownEditor editor(canvas, nullptr, QSize(700, 420));
    CanvasView& view = editor.view;

    for (const int row : {0, 5}) {
        QTest::mouseClick(view.tableWidget(), Qt::LeftButton, {}, editor.at(view.expressionRect(row)));
        QTest::keyClicks(view.expressionEditor(), QStringLiteral("#"));
        LinkPickerPopup* picker = view.linkPicker();
        ASSERT_TRUE(picker->isVisible());
        const QRect field(view.expressionEditor()->mapTo(&view, QPoint(0, 0)), view.expressionEditor()->size());
        EXPECT_FALSE(picker->geometry().intersects(field)) << row;
        EXPECT_TRUE(view.rect().contains(picker->geometry())) << row;
        EXPECT_EQ(picker->arrowOnTop(), row == 0);
        QTest::keyClick(view.expressionEditor(), Qt::Key_Escape);
    }
}

// A label with a colon or braces must not end up inside a token's name: the
// token would be cut short and the linked value would show nothing.
TEST_F(PickerTest, LinkNamesLeaveOutTheTokenCharacters)
{
    const CanvasPtr canvas = makeCanvas();
    const BlockPtr source = addRow(canvas, QStringLiteral("Summe: Q1"), QStringLiteral("40"), 20);
    const BlockPtr braces = addRow(canvas, QStringLiteral("{:}"), QStringLiteral("2"), 76);
    const BlockPtr target = addRow(canvas, QString(), QStringLiteral("#"), 132);
    CalculatorEngine::shared().evaluateCanvas(canvas);
    CanvasView view(canvas, nullptr, nullptr);

    EXPECT_EQ(CanvasView::pickedLinkName(source, target), QStringLiteral("Summe Q1"));
    EXPECT_TRUE(CanvasView::pickedLinkName(braces, target).startsWith(QStringLiteral("Result")));
    view.insertLinkToBlock(source, target);
    EXPECT_EQ(target->expression(), QStringLiteral("{Summe Q1:#00D4FF}"));
    const auto parts = CanvasView::parseExpressionParts(target->expression());
    ASSERT_EQ(parts.size(), 1);
    EXPECT_EQ(parts.first(), TableExpressionPart::linkedValue(QStringLiteral("Summe Q1"), QStringLiteral("#00D4FF")));
    EXPECT_EQ(target->result(), 40.0);
}
