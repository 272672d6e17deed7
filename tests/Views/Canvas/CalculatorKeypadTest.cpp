#include "Views/Canvas/CanvasViewTestSupport.h"
#include "support/TestSupport.h"

#include "Models/CalcSettings.h"
#include "Views/Canvas/CalculatorKeypad.h"

#include <QLineEdit>
#include <gtest/gtest.h>

namespace {

class KeypadTest : public ::testing::Test {
protected:
    KeypadTest()
        : m_style(CalcSettings::shared().decimalStyle())
    {
        CalcSettings::shared().setDecimalStyle(DecimalStyle::germanComma);
    }
    ~KeypadTest() override { CalcSettings::shared().setDecimalStyle(m_style); }

    static void press(CanvasView& view, const QString& symbol)
    {
        KeypadButton* key = view.keypad()->button(symbol);
        ASSERT_NE(key, nullptr) << symbol.toStdString();
        QTest::mouseClick(key, Qt::LeftButton);
    }

    EditorPreferences preferences;

private:
    DecimalStyle m_style;
};

} // namespace

TEST_F(KeypadTest, LayoutAndWhatEachKeySends)
{
    QStringList taps;
    int deletes = 0;
    int equals = 0;
    CalculatorKeypad keypad([&](const QString& text) { taps.append(text); }, [&] { ++deletes; }, [&] { ++equals; },
                            QColor::fromRgbF(0.3, 0.6, 0.9), 6);
    QStringList symbols;
    for (KeypadButton* key : keypad.buttons()) {
        symbols.append(key->symbol());
        EXPECT_EQ(key->focusPolicy(), Qt::NoFocus);
        EXPECT_EQ(key->size(), QSize(52, 52));
        QTest::mouseClick(key, Qt::LeftButton);
    }
    EXPECT_EQ(symbols, (QStringList{QStringLiteral("⌫"), QStringLiteral("("), QStringLiteral(")"), QStringLiteral("÷"),
                                    QStringLiteral("7"), QStringLiteral("8"), QStringLiteral("9"), QStringLiteral("×"),
                                    QStringLiteral("4"), QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("−"),
                                    QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("+"),
                                    QStringLiteral("0"), QStringLiteral(","), QStringLiteral("%"), QStringLiteral("=")}));
    // Every key but percent sends its label; delete and equals send nothing.
    EXPECT_EQ(taps, (QStringList{QStringLiteral("("), QStringLiteral(")"), QStringLiteral("\u00F7"),
                                 QStringLiteral("7"), QStringLiteral("8"), QStringLiteral("9"), QStringLiteral("\u00D7"),
                                 QStringLiteral("4"), QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("\u2212"),
                                 QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("+"),
                                 QStringLiteral("0"), QStringLiteral(","), QStringLiteral(" % ")}));
    EXPECT_EQ(deletes, 1);
    EXPECT_EQ(equals, 1);
    EXPECT_EQ(keypad.button(QStringLiteral("+"))->style(), KeypadButtonStyle::operator_);
    EXPECT_EQ(keypad.button(QStringLiteral("="))->style(), KeypadButtonStyle::equals);
    EXPECT_EQ(keypad.button(QStringLiteral("%"))->style(), KeypadButtonStyle::function);

    // The decimal key follows the number style.
    CalcSettings::shared().setDecimalStyle(DecimalStyle::usPeriod);
    EXPECT_EQ(keypad.decimalButton()->symbol(), QStringLiteral("."));
    taps.clear();
    QTest::mouseClick(keypad.decimalButton(), Qt::LeftButton);
    EXPECT_EQ(taps, QStringList{QStringLiteral(".")});

    // Held down, a key shows its pressed look until released.
    KeypadButton* seven = keypad.button(QStringLiteral("7"));
    QTest::mousePress(seven, Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return seven->pressProgress() == 1.0; }));
    QTest::mouseRelease(seven, Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return seven->pressProgress() == 0.0; }));
}

TEST_F(KeypadTest, KeysTypeIntoTheSelectedRowWithoutTakingFocus)
{
    const CanvasPtr canvas = makeCanvas();
    const BlockPtr row = addRow(canvas, QStringLiteral("Preis"), QStringLiteral("12"), 20);
    ShownEditor editor(canvas);
    CanvasView& view = editor.view;
    EXPECT_FALSE(view.keypad()->isVisible());
    view.setShowKeypad(true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return view.keypad()->visibleRegion().boundingRect().width() == view.keypad()->width(); }));

    QTest::mouseClick(view.tableWidget(), Qt::LeftButton, {}, editor.at(view.expressionRect(0)));
    auto* field = qobject_cast<QLineEdit*>(view.expressionEditor());
    ASSERT_TRUE(field->hasFocus());
    press(view, QStringLiteral("×"));
    press(view, QStringLiteral("3"));
    press(view, QStringLiteral(","));
    press(view, QStringLiteral("5"));
    EXPECT_EQ(row->expression(), QStringLiteral("12×3,5"));
    EXPECT_EQ(view.resultText(row), QStringLiteral("42"));
    // The field shows the keys and keeps the keyboard: typing goes on from there.
    EXPECT_TRUE(field->hasFocus());
    EXPECT_EQ(field->text(), QStringLiteral("12×3,5"));
    QTest::keyClicks(field, QStringLiteral("+1"));
    EXPECT_EQ(row->expression(), QStringLiteral("12×3,5+1"));

    press(view, QStringLiteral("%"));
    EXPECT_EQ(row->expression(), QStringLiteral("12×3,5+1 % "));
    press(view, QStringLiteral("⌫"));
    press(view, QStringLiteral("⌫"));
    EXPECT_EQ(row->expression(), QStringLiteral("12×3,5+1 "));
    EXPECT_EQ(field->text(), QStringLiteral("12×3,5+1 "));
    EXPECT_TRUE(row->isEditing());
    press(view, QStringLiteral("="));
    EXPECT_FALSE(row->isEditing());
    EXPECT_EQ(row->expression(), QStringLiteral("12×3,5+1 "));
    EXPECT_TRUE(field->hasFocus());
}

TEST_F(KeypadTest, WithoutASelectionDigitsMakeARowAndOtherKeysNothing)
{
    const CanvasPtr canvas = makeCanvas();
    ShownEditor editor(canvas);
    CanvasView& view = editor.view;
    view.setShowKeypad(true);
    press(view, QStringLiteral("⌫"));
    press(view, QStringLiteral("="));
    EXPECT_TRUE(canvas->blocks().isEmpty());
    press(view, QStringLiteral("7"));
    ASSERT_EQ(canvas->blocks().size(), 1);
    const BlockPtr row = canvas->blocks().first();
    EXPECT_EQ(row->expression(), QStringLiteral("7"));
    EXPECT_EQ(view.selectedBlockID(), row->id());
    EXPECT_EQ(row->result(), 7.0);

    view.setShowKeypad(false);
    EXPECT_FALSE(view.showKeypad());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !view.keypad()->isVisible(); }));
}
