// Typing straight onto the canvas, as a new user does after clicking below
// the last row: real key events, both number styles.

#include "Views/Canvas/CanvasViewTestSupport.h"
#include "support/TestSupport.h"

#include "Engine/CalculatorEngine.h"
#include "Models/CalcSettings.h"
#include "Views/Canvas/CanvasLinkPicker.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <gtest/gtest.h>

namespace {

// One key event per character, carrying the character as its text (as a
// keyboard layout that has the character delivers it).
void typeOn(QWidget* widget, const QString& text, Qt::KeyboardModifiers modifiers = {})
{
    for (const QChar c : text) {
        const int code = c.isLetter() ? c.toUpper().unicode() : c.unicode();
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key(code), QString(c), modifiers);
    }
}

class CanvasTypingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedRates = CalcSettings::shared().exchangeRates();
        CalcSettings::shared().setExchangeRates(
            {QStringLiteral("EUR"), {{QStringLiteral("USD"), 1.1}}, QDateTime::currentDateTimeUtc()});
    }
    void TearDown() override
    {
        CalcSettings::shared().setExchangeRates(savedRates);
        CalcSettings::shared().setDecimalStyle(DecimalStyle::germanComma);
    }

    // Clicks below the last row (which adds a row and selects it) and types.
    static BlockPtr clickBelowAndType(CanvasView& view, const QString& text)
    {
        QTest::mouseClick(view.tableWidget(), Qt::LeftButton, {}, view.tappableAreaRect().center().toPoint());
        const BlockPtr row = view.sortedBlocks().last();
        EXPECT_EQ(view.selectedBlockID(), row->id());
        typeOn(&view, text);
        return row;
    }

    EditorPreferences preferences;
    CalcSettings::ExchangeRates savedRates;
};

struct TypingCase {
    DecimalStyle style;
    QString typed;
    QString label;
    QString expression;
    QString result;
};

} // namespace

TEST_F(CanvasTypingTest, WhatTypedKeysBecomeInBothNumberStyles)
{
    const QList<TypingCase> cases{
        // Every character is stored as typed; the number style reads "." and ",".
        {DecimalStyle::germanComma, QStringLiteral("1.200 + 19%"), QString(), QStringLiteral("1.200 + 19%"),
         QStringLiteral("1428")},
        {DecimalStyle::usPeriod, QStringLiteral("1,200 + 19%"), QString(), QStringLiteral("1,200 + 19%"),
         QStringLiteral("1428")},
        {DecimalStyle::germanComma, QStringLiteral("2,5*2"), QString(), QStringLiteral("2,5*2"), QStringLiteral("5")},
        {DecimalStyle::usPeriod, QStringLiteral("2.5/2"), QString(), QStringLiteral("2.5/2"), QStringLiteral("1,25")},
        // Once the expression holds text, letters (and spaces) go on into it.
        {DecimalStyle::germanComma, QStringLiteral("4 x 95,50"), QString(), QStringLiteral("4 x 95,50"),
         QStringLiteral("382")},
        {DecimalStyle::usPeriod, QStringLiteral("4 x 95.50"), QString(), QStringLiteral("4 x 95.50"),
         QStringLiteral("382")},
        {DecimalStyle::germanComma, QStringLiteral("4x95,50"), QString(), QStringLiteral("4x95,50"),
         QStringLiteral("382")},
        {DecimalStyle::germanComma, QStringLiteral("100-5"), QString(), QStringLiteral("100-5"), QStringLiteral("95")},
        // A row with an empty expression takes letters into its label.
        {DecimalStyle::germanComma, QStringLiteral("Miete 1200"), QStringLiteral("Miete"), QStringLiteral("1200"),
         QStringLiteral("1200")},
        {DecimalStyle::usPeriod, QStringLiteral("Rent 1200"), QStringLiteral("Rent"), QStringLiteral("1200"),
         QStringLiteral("1200")},
        {DecimalStyle::germanComma, QStringLiteral("Miete 1200 + 10 EUR"), QStringLiteral("Miete"),
         QStringLiteral("1200 + 10 EUR"), QStringLiteral("1210 €")},
        {DecimalStyle::germanComma, QStringLiteral("Miete Januar 1200"), QStringLiteral("Miete Januar"),
         QStringLiteral("1200"), QStringLiteral("1200")},
        // A factor word the row starts with goes with the number it
        // multiplies, as the expression field reads it; after a label word
        // it stays in the label.
        {DecimalStyle::germanComma, QStringLiteral("doppelt 45"), QString(), QStringLiteral("doppelt 45"),
         QStringLiteral("90")},
        {DecimalStyle::usPeriod, QStringLiteral("twice 30"), QString(), QStringLiteral("twice 30"),
         QStringLiteral("60")},
        {DecimalStyle::germanComma, QStringLiteral("Hälfte 84 €"), QString(), QStringLiteral("Hälfte 84 €"),
         QStringLiteral("42 €")},
        {DecimalStyle::germanComma, QStringLiteral("Dreifach (2 + 3)"), QString(), QStringLiteral("Dreifach (2 + 3)"),
         QStringLiteral("15")},
        {DecimalStyle::germanComma, QStringLiteral("Zimmer doppelt 89"), QStringLiteral("Zimmer doppelt"),
         QStringLiteral("89"), QStringLiteral("89")},
        {DecimalStyle::germanComma, QStringLiteral("Einmal Pizza 8,50"), QStringLiteral("Einmal Pizza"),
         QStringLiteral("8,50"), QStringLiteral("8,5")},
        // Currency marks the engine knows are typed into the expression.
        {DecimalStyle::germanComma, QStringLiteral("100 € in USD"), QString(), QStringLiteral("100 € in USD"),
         QStringLiteral("110 $")},
        {DecimalStyle::usPeriod, QStringLiteral("100 € in USD"), QString(), QStringLiteral("100 € in USD"),
         QStringLiteral("110 $")},
        {DecimalStyle::germanComma, QStringLiteral("5 £"), QString(), QStringLiteral("5 £"), QStringLiteral("5 £")},
        // Blanks after the label's last word group no number: no value.
        {DecimalStyle::usPeriod, QStringLiteral("Achtung! 3 329"), QStringLiteral("Achtung!"), QStringLiteral("3 329"),
         QString()},
        {DecimalStyle::germanComma, QStringLiteral("TV 1 299"), QStringLiteral("TV"), QStringLiteral("1 299"), QString()},
    };
    for (const TypingCase& c : cases) {
        SCOPED_TRACE(c.typed.toStdString() + (c.style == DecimalStyle::usPeriod ? " (US)" : " (German)"));
        CalcSettings::shared().setDecimalStyle(c.style);
        const CanvasPtr canvas = makeCanvas();
        addRow(canvas, QStringLiteral("Start"), QStringLiteral("1"), 20);
        ShownEditor editor(canvas);
        const BlockPtr row = clickBelowAndType(editor.view, c.typed);
        EXPECT_EQ(row->label(), c.label);
        EXPECT_EQ(row->expression(), c.expression);
        EXPECT_EQ(editor.view.resultText(row), c.result);
        EXPECT_EQ(canvas->blocks().size(), 2) << "typing stays in the new row";
    }
}

// Each line typed onto a canvas reads as the same text in the expression
// field: its label and expression typed into the row's two fields give the
// same row, and the whole line typed into an expression field alone the same
// result or refusal. Lines go one under another, as the user types them.
TEST_F(CanvasTypingTest, TypedOnTheCanvasReadsAsTheSameTextInTheFields)
{
    struct Line {
        QString typed;
        QString label;
        QString expression;
    };
    const QList<Line> lines{
        {QStringLiteral("Miete März 2024: 850"), QStringLiteral("Miete März"), QStringLiteral("2024: 850")},
        {QStringLiteral("E-Bike 1.299 € + Helm 79 €"), QStringLiteral("E-Bike"), QStringLiteral("1.299 € + Helm 79 €")},
        {QStringLiteral("Wi-Fi 20"), QStringLiteral("Wi-Fi"), QStringLiteral("20")},
        {QStringLiteral("T-Shirt 15 + Hose 40"), QStringLiteral("T-Shirt"), QStringLiteral("15 + Hose 40")},
        {QStringLiteral("Rate 1: 250"), QStringLiteral("Rate"), QStringLiteral("1: 250")},
        {QStringLiteral("Zimmer 12 = 300"), QStringLiteral("Zimmer"), QStringLiteral("12 = 300")},
        {QStringLiteral("10:4"), QString(), QStringLiteral("10:4")},
        {QStringLiteral("100 – 200"), QString(), QStringLiteral("100 – 200")},
        {QStringLiteral("Budget 3.000 – 500"), QStringLiteral("Budget"), QStringLiteral("3.000 – 500")},
        {QStringLiteral("sqrt(16)"), QString(), QStringLiteral("sqrt(16)")},
        {QStringLiteral("Miete sqrt(16)"), QStringLiteral("Miete"), QStringLiteral("sqrt(16)")},
        {QStringLiteral("sqrt 16"), QString(), QStringLiteral("sqrt 16")},
        {QStringLiteral("abs(-5)"), QString(), QStringLiteral("abs(-5)")},
        {QStringLiteral("Größe 3 x 4"), QStringLiteral("Größe"), QStringLiteral("3 x 4")},
        {QStringLiteral("Öl 2,50"), QStringLiteral("Öl"), QStringLiteral("2,50")},
        {QStringLiteral("Nr. 5"), QStringLiteral("Nr."), QStringLiteral("5")},
        {QStringLiteral("Rabatt -5"), QStringLiteral("Rabatt"), QStringLiteral("-5")},
        {QStringLiteral("Rabatt – 5"), QStringLiteral("Rabatt"), QStringLiteral("– 5")},
        // Every sign the engine reads as an operator or a minus.
        {QStringLiteral("Rabatt — 5"), QStringLiteral("Rabatt"), QStringLiteral("— 5")},
        {QStringLiteral("Tom's Pizza –5"), QStringLiteral("Tom's Pizza"), QStringLiteral("–5")},
        {QStringLiteral("Preis · 4"), QStringLiteral("Preis"), QStringLiteral("· 4")},
        {QStringLiteral("Versand 5 + E-Bike 3"), QStringLiteral("Versand"), QStringLiteral("5 + E-Bike 3")},
        // A hyphen joins a word after an abbreviation's point or a number;
        // a dash between two words is the label's.
        {QStringLiteral("Mo.-Fr. 5 x 8"), QStringLiteral("Mo.-Fr."), QStringLiteral("5 x 8")},
        {QStringLiteral("2-Zimmer-Wohnung 750"), QString(), QStringLiteral("2-Zimmer-Wohnung 750")},
        {QStringLiteral("Berlin - München 600"), QStringLiteral("Berlin"), QStringLiteral("- München 600")},
        {QStringLiteral("Flug – Hotel – Auto 1.260"), QStringLiteral("Flug"), QStringLiteral("– Hotel – Auto 1.260")},
        {QStringLiteral("200 + 10%"), QString(), QStringLiteral("200 + 10%")},
        // Letters and digits glued together are one word of the label.
        {QStringLiteral("iPhone15 999"), QStringLiteral("iPhone15"), QStringLiteral("999")},
        {QStringLiteral("E10 Tanken 40 x 1,85"), QStringLiteral("E10 Tanken"), QStringLiteral("40 x 1,85")},
        {QStringLiteral("Zeile L3 + 1"), QStringLiteral("Zeile L3"), QStringLiteral("+ 1")},
        // Blanks after the label's last word group no number, as in one line.
        {QStringLiteral("Achtung! 3 329"), QStringLiteral("Achtung!"), QStringLiteral("3 329")},
        {QStringLiteral("TV 1 299"), QStringLiteral("TV"), QStringLiteral("1 299")},
        {QStringLiteral("Tickets x2 24,00"), QStringLiteral("Tickets x2"), QStringLiteral("24,00")},
        {QStringLiteral("Papier A4"), QStringLiteral("Papier A4"), QString()},
        // A currency or a function right before the first number goes with it.
        {QStringLiteral("CHF 50 in EUR"), QString(), QStringLiteral("CHF 50 in EUR")},
        {QStringLiteral("EUR 100 in USD"), QString(), QStringLiteral("EUR 100 in USD")},
        {QStringLiteral("Miete CHF 1.200"), QStringLiteral("Miete"), QStringLiteral("CHF 1.200")},
        {QStringLiteral("Kauf US$20"), QStringLiteral("Kauf"), QStringLiteral("US$20")},
        {QStringLiteral("Gewinn 5 kr"), QStringLiteral("Gewinn"), QStringLiteral("5 kr")},
        // A factor word starting the row, as the field reads it.
        {QStringLiteral("doppelt 45"), QString(), QStringLiteral("doppelt 45")},
        {QStringLiteral("zweimal 12 €"), QString(), QStringLiteral("zweimal 12 €")},
        {QStringLiteral("doppelt –5"), QString(), QStringLiteral("doppelt –5")},
        {QStringLiteral("doppelt −5"), QString(), QStringLiteral("doppelt −5")},
        {QStringLiteral("Hälfte ½"), QString(), QStringLiteral("Hälfte ½")},
        {QStringLiteral("dreifach €4"), QString(), QStringLiteral("dreifach €4")},
        // Any number the engine reads, and its refusal.
        {QStringLiteral("Kuchen ½"), QStringLiteral("Kuchen"), QStringLiteral("½")},
        {QStringLiteral("Fläche 5 m²"), QStringLiteral("Fläche"), QStringLiteral("5 m²")},
        {QStringLiteral("Wurzel √16"), QStringLiteral("Wurzel"), QStringLiteral("√16")},
        // A constant the engine reads (and the operation words after it) too.
        {QStringLiteral("π x 2"), QString(), QStringLiteral("π x 2")},
        {QStringLiteral("Kreis π"), QStringLiteral("Kreis"), QStringLiteral("π")},
        {QStringLiteral("pi-1"), QString(), QStringLiteral("pi-1")},
        {QStringLiteral("e-1"), QString(), QStringLiteral("e-1")},
        {QStringLiteral("pi*3"), QString(), QStringLiteral("pi*3")},
        {QStringLiteral("e mal 2"), QString(), QStringLiteral("e mal 2")},
        {QStringLiteral("Kreis PI x 2"), QStringLiteral("Kreis"), QStringLiteral("PI x 2")},
        {QStringLiteral("Vitamin E 5"), QStringLiteral("Vitamin"), QStringLiteral("E 5")},
    };
    const CanvasPtr typedOn = makeCanvas();
    ShownEditor canvasEditor(typedOn);
    const CanvasPtr typedIn = makeCanvas();
    ShownEditor fieldEditor(typedIn);
    const CanvasPtr whole = makeCanvas();
    ShownEditor wholeEditor(whole);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const Line& line = lines[i];
        SCOPED_TRACE(line.typed.toStdString());
        // Onto the canvas below the lines above.
        if (i == 0)
            typeOn(&canvasEditor.view, line.typed);
        else
            clickBelowAndType(canvasEditor.view, line.typed);
        ASSERT_EQ(typedOn->blocks().size(), i + 1);
        const BlockPtr canvasRow = canvasEditor.view.sortedBlocks().last();
        EXPECT_EQ(canvasRow->label(), line.label);
        EXPECT_EQ(canvasRow->expression(), line.expression);

        // Into the two fields of a row below the lines above.
        const BlockPtr fieldRow = addRow(typedIn, QString(), QString(), 20 + 56.0 * double(i));
        fieldEditor.view.refresh();
        fieldEditor.view.setFocusedLabelBlockID(fieldRow->id());
        typeOn(fieldEditor.view.labelEditor(), line.label);
        fieldEditor.view.setFocusedBlockID(fieldRow->id());
        typeOn(fieldEditor.view.expressionEditor(), line.expression);

        // The whole line into an expression field alone.
        const BlockPtr wholeRow = addRow(whole, QString(), QString(), 20 + 56.0 * double(i));
        wholeEditor.view.refresh();
        wholeEditor.view.setFocusedBlockID(wholeRow->id());
        typeOn(wholeEditor.view.expressionEditor(), line.typed);

        EXPECT_EQ(canvasRow->label(), fieldRow->label());
        EXPECT_EQ(canvasRow->expression(), fieldRow->expression());
        for (const BlockPtr& other : {fieldRow, wholeRow}) {
            EXPECT_EQ(canvasRow->result(), other->result());
            // Words alone are a label: nothing to refuse.
            if (!line.expression.isEmpty()) {
                EXPECT_EQ(CanvasView::errorText(*canvasRow), CanvasView::errorText(*other));
            }
        }
        EXPECT_EQ(canvasEditor.view.resultText(canvasRow), fieldEditor.view.resultText(fieldRow));
    }
    // A label taken back in its field until it refuses nothing reads its row
    // again: Tickets x2 to Tickets over 24,00 shows 24.
    BlockPtr tickets;
    for (const BlockPtr& row : typedIn->blocks()) {
        if (row->label() == QStringLiteral("Tickets x2"))
            tickets = row;
    }
    ASSERT_TRUE(tickets);
    ASSERT_EQ(fieldEditor.view.resultText(tickets), QString());
    fieldEditor.view.setFocusedLabelBlockID(tickets->id());
    QTest::keyClick(fieldEditor.view.labelEditor(), Qt::Key_End);
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(fieldEditor.view.labelEditor(), Qt::Key_Backspace);
    EXPECT_EQ(tickets->label(), QStringLiteral("Tickets"));
    EXPECT_EQ(fieldEditor.view.resultText(tickets), QStringLiteral("24"));
    // A letter composed with a dead key arrives as committed text.
    const CanvasPtr canvas = makeCanvas();
    ShownEditor editor(canvas);
    typeOn(&editor.view, QStringLiteral("Caf"));
    QInputMethodEvent composed;
    composed.setCommitString(QStringLiteral("é"));
    QApplication::sendEvent(&editor.view, &composed);
    typeOn(&editor.view, QStringLiteral(" 4"));
    ASSERT_EQ(canvas->blocks().size(), 1);
    EXPECT_EQ(canvas->blocks().first()->label(), QStringLiteral("Café"));
    EXPECT_EQ(canvas->blocks().first()->expression(), QStringLiteral("4"));

    // Backspace takes the last character of a label being typed, a letter
    // with its combining accent whole, and the expression's first.
    const CanvasPtr corrected = makeCanvas();
    ShownEditor correcting(corrected);
    typeOn(&correcting.view, QStringLiteral("Käsee") + QChar(0x0301));
    QTest::keyClick(&correcting.view, Qt::Key_Backspace);
    typeOn(&correcting.view, QStringLiteral(" 45"));
    QTest::keyClick(&correcting.view, Qt::Key_Backspace);
    ASSERT_EQ(corrected->blocks().size(), 1);
    EXPECT_EQ(corrected->blocks().first()->label(), QStringLiteral("Käse"));
    EXPECT_EQ(corrected->blocks().first()->expression(), QStringLiteral("4"));
}

// The sum keyword applies while the label is the keyword: typed on the
// canvas or into the two fields, what follows it never leaves a sum behind.
TEST_F(CanvasTypingTest, TheSumKeywordAppliesWhileTheLabelIsTheKeyword)
{
    struct SumCase {
        QString typed;
        QString label;
        QString expression; // typed into the field after the label; empty: the keyword's sum
        QString result;
    };
    const QList<SumCase> cases{
        {QStringLiteral("Summe"), QStringLiteral("Summe"), QString(), QStringLiteral("42,5")},
        {QStringLiteral("SUMME"), QStringLiteral("SUMME"), QString(), QStringLiteral("42,5")},
        {QStringLiteral("Summe Quartal"), QStringLiteral("Summe Quartal"), QString(), QString()},
        {QStringLiteral("Summen"), QStringLiteral("Summen"), QString(), QString()},
        {QStringLiteral("Summe: 100 + 50"), QStringLiteral("Summe:"), QStringLiteral("100 + 50"),
         QStringLiteral("150")},
        {QStringLiteral("Summenausgleich 5"), QStringLiteral("Summenausgleich"), QStringLiteral("5"),
         QStringLiteral("5")},
        {QStringLiteral("Summe 7"), QStringLiteral("Summe"), QStringLiteral("7"), QStringLiteral("7")},
    };
    for (const SumCase& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        const CanvasPtr canvas = makeCanvas();
        addRow(canvas, QString(), QStringLiteral("10"), 20);
        addRow(canvas, QString(), QStringLiteral("32,5"), 76);
        ShownEditor editor(canvas);
        const BlockPtr row = clickBelowAndType(editor.view, c.typed);
        const bool sums = c.result == QStringLiteral("42,5");
        EXPECT_EQ(row->label(), c.label);
        EXPECT_EQ(row->incomingLinks().size(), sums ? 2 : 0);
        EXPECT_EQ(canvas->links().size(), sums ? 2 : 0);
        if (!sums) {
            EXPECT_EQ(row->expression(), c.expression);
        }
        EXPECT_EQ(editor.view.resultText(row), c.result);

        // The same label and expression typed into the fields (a keyword
        // left as the label keeps its sum there: nothing to compare).
        if (sums || CanvasView::isSumKeyword(c.label))
            continue;
        const CanvasPtr fields = makeCanvas();
        addRow(fields, QString(), QStringLiteral("10"), 20);
        addRow(fields, QString(), QStringLiteral("32,5"), 76);
        const BlockPtr fieldRow = addRow(fields, QString(), QString(), 132);
        ShownEditor fieldEditor(fields);
        fieldEditor.view.setFocusedLabelBlockID(fieldRow->id());
        typeOn(fieldEditor.view.labelEditor(), c.label);
        QTest::keyClick(fieldEditor.view.labelEditor(), Qt::Key_Tab);
        typeOn(fieldEditor.view.expressionEditor(), c.expression);
        EXPECT_EQ(fieldRow->expression(), c.expression);
        EXPECT_TRUE(fieldRow->incomingLinks().isEmpty());
        EXPECT_EQ(fieldEditor.view.resultText(fieldRow), c.result);
    }
}

// "#" typed on the canvas goes into the expression and opens the picker in
// the row's field, as typed there.
TEST_F(CanvasTypingTest, HashTypedOnTheCanvasOpensThePicker)
{
    const CanvasPtr canvas = makeCanvas();
    addRow(canvas, QStringLiteral("Start"), QStringLiteral("1"), 20);
    ShownEditor editor(canvas);
    CanvasView& view = editor.view;
    const BlockPtr row = clickBelowAndType(view, QStringLiteral("100 + #"));
    EXPECT_EQ(row->expression(), QStringLiteral("100 + #"));
    ASSERT_TRUE(view.linkPicker() && view.linkPicker()->isVisible());
    auto* field = qobject_cast<QLineEdit*>(view.expressionEditor());
    ASSERT_TRUE(field && field->hasFocus());
    EXPECT_EQ(field->text(), QStringLiteral("100 + #"));
    EXPECT_EQ(field->cursorPosition(), field->text().size());
    QTest::keyClick(field, Qt::Key_Return); // the first entry: the row above
    EXPECT_FALSE(view.linkPicker()->isVisible());
    EXPECT_EQ(view.resultText(row), QStringLiteral("101"));
}

// Ctrl, Alt and Meta chords the canvas has no command for type nothing.
TEST_F(CanvasTypingTest, ChordsTheCanvasDoesNotKnowTypeNothing)
{
    struct Chord {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        QString text;
    };
    const QList<Chord> chords{
        {Qt::Key_D, Qt::ControlModifier, QStringLiteral("d")},
        {Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier, QStringLiteral("D")},
        {Qt::Key_A, Qt::ControlModifier, QStringLiteral("a")},
        {Qt::Key_D, Qt::AltModifier, QStringLiteral("d")},
        {Qt::Key_D, Qt::MetaModifier, QStringLiteral("d")},
        {Qt::Key_5, Qt::ControlModifier, QStringLiteral("5")},
        {Qt::Key_5, Qt::AltModifier, QStringLiteral("5")},
        {Qt::Key_Plus, Qt::ControlModifier, QStringLiteral("+")},
        {Qt::Key_Space, Qt::ControlModifier, QStringLiteral(" ")},
    };
    const CanvasPtr canvas = makeCanvas();
    ShownEditor editor(canvas);
    CanvasView& view = editor.view;
    const BlockPtr row = clickBelowAndType(view, QStringLiteral("Netto 7"));
    for (const Chord& chord : chords) {
        SCOPED_TRACE(chord.text.toStdString() + " " + std::to_string(int(chord.modifiers)));
        QTest::sendKeyEvent(QTest::Click, &view, chord.key, chord.text, chord.modifiers);
        EXPECT_EQ(row->label(), QStringLiteral("Netto"));
        EXPECT_EQ(row->expression(), QStringLiteral("7"));
        EXPECT_EQ(canvas->blocks().size(), 1);
    }
    // With nothing selected a chord does not start a row either.
    view.setSelectedBlockID(std::nullopt);
    QTest::sendKeyEvent(QTest::Click, &view, Qt::Key_5, QStringLiteral("5"), Qt::ControlModifier);
    EXPECT_EQ(canvas->blocks().size(), 1);
    // The chords the canvas does know still work.
    view.setSelectedBlockID(row->id());
    QTest::keyClick(&view, Qt::Key_Backspace, Qt::ControlModifier);
    EXPECT_TRUE(canvas->blocks().isEmpty());
}

// A row added or typed at the end of a long canvas is scrolled into view.
TEST_F(CanvasTypingTest, RowsAddedAtTheEndAreScrolledIntoView)
{
    const CanvasPtr canvas = manyRows(40);
    ShownEditor editor(canvas, nullptr, QSize(900, 400));
    CanvasView& view = editor.view;
    QScrollBar* bar = view.scrollArea()->verticalScrollBar();
    auto visible = [&](int rowIndex) {
        const QRectF row = view.rowRect(rowIndex);
        return row.top() >= bar->value() && row.bottom() <= bar->value() + view.scrollArea()->viewport()->height();
    };
    const QList<std::function<void()>> additions{
        [&] { view.addNewRow(); },
        [&] {
            view.setSelectedBlockID(std::nullopt);
            typeOn(&view, QStringLiteral("7"));
        },
        [&] {
            view.setSelectedBlockID(view.sortedBlocks().last()->id());
            QTest::keyClick(&view, Qt::Key_Return);
        },
    };
    for (int i = 0; i < additions.size(); ++i) {
        SCOPED_TRACE(i);
        bar->setValue(0);
        const qsizetype before = canvas->blocks().size();
        additions[i]();
        QApplication::processEvents();
        ASSERT_EQ(canvas->blocks().size(), before + 1);
        const int index = view.indexOfBlock(*view.selectedBlockID());
        EXPECT_EQ(index, int(before)) << "the new row comes last";
        EXPECT_TRUE(visible(index));
    }
    // Typing into a selected row scrolled out of view brings it back.
    view.setSelectedBlockID(view.sortedBlocks().first()->id());
    bar->setValue(bar->maximum());
    typeOn(&view, QStringLiteral("1"));
    QApplication::processEvents();
    EXPECT_TRUE(visible(0));
}

// A linked value that is missing is named in the row and its hover as the
// canvas shows the link: by its source row's label, or as a row that is
// gone; never by the letter the link is stored under.
TEST_F(CanvasTypingTest, AMissingLinkedValueIsNamedAsTheCanvasShowsTheLink)
{
    Defaults::standard().setValue(QStringLiteral("editorMode"), false);
    const CanvasPtr canvas = makeCanvas();
    ShownEditor editor(canvas);
    CanvasView& view = editor.view;
    typeOn(&view, QStringLiteral("Wohnung 5"));
    // Tab on a row with a result adds a row below that takes it as "A".
    QTest::keyClick(&view, Qt::Key_Tab);
    typeOn(&view, QStringLiteral(" + 12 + 8"));
    QTest::mouseClick(view.tableWidget(), Qt::LeftButton, {}, view.labelRect(1).center().toPoint());
    typeOn(view.labelEditor(), QStringLiteral("Achtung!"));
    QTest::keyClick(view.labelEditor(), Qt::Key_Escape);
    const auto rows = [&] {
        QStringList list;
        for (const BlockPtr& row : view.sortedBlocks())
            list << row->label() + u'|' + view.shownExpressionParts(row).join(u' ') + u'|'
                    + view.resultCell(row, view.indexOfBlock(row->id())).fullText;
        return list;
    };
    ASSERT_EQ(rows(), (QStringList{"Wohnung|5|5", "Achtung!|5 + 12 + 8|25"}));
    const BlockPtr achtung = view.sortedBlocks().last();
    ASSERT_EQ(achtung->expression(), QStringLiteral("{A} + 12 + 8"));

    // Wohnung loses its value: the link shows "?", the message its label.
    QTest::mouseClick(view.tableWidget(), Qt::LeftButton, {}, view.expressionRect(0).center().toPoint());
    auto* field = qobject_cast<QLineEdit*>(view.expressionEditor());
    ASSERT_TRUE(field);
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    typeOn(field, QStringLiteral("x"));
    QTest::keyClick(field, Qt::Key_Escape);
    EXPECT_EQ(rows().last(), QStringLiteral("Achtung!|? + 12 + 8|Missing value for Wohnung"));
    EXPECT_EQ(view.resultCell(achtung, 1).hoverText, QStringLiteral("Missing value for Wohnung"));
    // Renamed, then without a label: the message follows at once.
    QTest::mouseClick(view.tableWidget(), Qt::LeftButton, {}, view.labelRect(0).center().toPoint());
    QTest::keyClick(view.labelEditor(), Qt::Key_End);
    QTest::keyClick(view.labelEditor(), Qt::Key_Backspace);
    EXPECT_EQ(rows().last(), QStringLiteral("Achtung!|? + 12 + 8|Missing value for Wohnun"));
    QTest::keyClick(view.labelEditor(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(view.labelEditor(), Qt::Key_Backspace);
    QTest::keyClick(view.labelEditor(), Qt::Key_Escape);
    EXPECT_EQ(rows().last(), QStringLiteral("Achtung!|? + 12 + 8|Missing value: its source row has none"));

    // Wohnung deleted: the row says its source is gone.
    QTest::mouseClick(view.tableWidget(), Qt::LeftButton, {}, view.expressionRect(0).center().toPoint());
    QTest::keyClick(field, Qt::Key_Escape);
    QTest::keyClick(&view, Qt::Key_Backspace, Qt::ControlModifier);
    EXPECT_EQ(rows(), (QStringList{"Achtung!|? + 12 + 8|Missing value: its source row is gone"}));
    EXPECT_EQ(view.resultCell(achtung, 0).hoverText, QStringLiteral("Missing value: its source row is gone"));
}
