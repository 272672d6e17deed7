#include "Views/Canvas/CanvasViewTestSupport.h"

#include "Engine/ExpressionParts.h"
#include "Models/Identifiers.h"
#include "Services/PrintExpressionParts.h"

#include <QLineEdit>
#include <QMenu>
#include <gtest/gtest.h>

namespace {

class NumberLabels : public ::testing::Test {
protected:
    NumberLabels()
    {
        Clock::setSource([this] { return now; });
        canvas->setModifiedAt(now);
    }
    ~NumberLabels() override { Clock::setSource({}); }

    std::unique_ptr<QMenu> menu(int index, const QString& value = QStringLiteral("5"))
    {
        return std::unique_ptr<QMenu>(view.createNumberPartMenu(row, value, index, nullptr));
    }
    bool touchedSince(const QDateTime& before)
    {
        return canvas->modifiedAt() > before;
    }
    QDateTime step()
    {
        const QDateTime before = canvas->modifiedAt();
        now = now.addSecs(60);
        return before;
    }

    EditorPreferences preferences;
    QDateTime now = QDateTime(QDate(2024, 5, 1), QTime(8, 0), Qt::UTC);
    CanvasPtr canvas = makeCanvas();
    BlockPtr row = addRow(canvas, QString(), QStringLiteral("5 + 5"), 20);
    CanvasView view{canvas, nullptr, nullptr};
};

} // namespace

TEST_F(NumberLabels, EachNumberKeepsItsOwnLabelAndColour)
{
    view.startEditingNumberLabel(QStringLiteral("5"), 1, row);
    EXPECT_EQ(view.editingLabelIndex(), 1);
    EXPECT_EQ(view.editingLabelForValue(), QStringLiteral("5"));
    EXPECT_EQ(view.editingLabelBlockID(), row->id());
    EXPECT_EQ(view.editingLabelText(), QString());
    findAction(menu(1).get(), QStringLiteral("Green"))->trigger();
    // Marked: the row keys its numbers as shown from now on, whatever it is edited to.
    const std::pair<QString, QString> marked{ExpressionParts::numberingKey, ExpressionParts::numberingValue};
    EXPECT_EQ(row->partColors(), (PartMap{{QStringLiteral("n1"), QStringLiteral("#00FF88")}, marked}));
    EXPECT_EQ(row->getPartColor(0, QStringLiteral("5")), std::nullopt);
    EXPECT_EQ(row->expression(), QStringLiteral("5 + 5"));
}

TEST_F(NumberLabels, StoringTrimsAndAnEmptyLabelRemovesIt)
{
    const QDateTime before = step();
    view.startEditingNumberLabel(QStringLiteral("5"), 0, row);
    EXPECT_TRUE(view.isEditingPartLabel());
    view.cancelEditingNumberLabel();
    EXPECT_FALSE(touchedSince(before)); // cancelling never touches

    row->setPartLabel(QStringLiteral("Preis"), 0, QStringLiteral("5"));
    EXPECT_TRUE(findAction(menu(0).get(), QStringLiteral("Edit Label")));
    EXPECT_TRUE(findAction(menu(0).get(), QStringLiteral("Remove Label")));
    EXPECT_FALSE(findAction(menu(1).get(), QStringLiteral("Remove Label")));

    // Confirming an unchanged label still touches the canvas.
    view.startEditingNumberLabel(QStringLiteral("5"), 0, row);
    EXPECT_EQ(view.editingLabelText(), QStringLiteral("Preis"));
    view.finishEditingNumberLabel(QStringLiteral("5"), 0, row);
    EXPECT_TRUE(touchedSince(before));
    EXPECT_FALSE(view.isEditingPartLabel());
    EXPECT_FALSE(view.editingLabelIndex().has_value());

    // Spaces and tabs only: the label goes, "Add Label" comes back.
    const QDateTime again = step();
    view.startEditingNumberLabel(QStringLiteral("5"), 0, row);
    view.setEditingLabelText(QStringLiteral(" \t "));
    view.finishEditingNumberLabel(QStringLiteral("5"), 0, row);
    EXPECT_TRUE(row->partLabels().isEmpty());
    EXPECT_TRUE(findAction(menu(0).get(), QStringLiteral("Add Label")));
    EXPECT_TRUE(touchedSince(again));

    // Removing from the menu touches too.
    row->setPartLabel(QStringLiteral("x"), 1, QStringLiteral("5"));
    const QDateTime third = step();
    findAction(menu(1).get(), QStringLiteral("Remove Label"))->trigger();
    EXPECT_TRUE(row->partLabels().isEmpty());
    EXPECT_TRUE(touchedSince(third));
}

// Older rows keep labels and colours under the number's text; they show on
// every number with that text, and any write to one of them drops them.
TEST_F(NumberLabels, TextKeyEntriesAreReadAndDroppedOnWrite)
{
    row->setPartLabels({{QStringLiteral("5"), QStringLiteral("alt")}});
    row->setPartColors({{QStringLiteral("5"), QStringLiteral("#FF5252")}});
    EXPECT_TRUE(findAction(menu(0).get(), QStringLiteral("Edit Label")));
    EXPECT_TRUE(findAction(menu(1).get(), QStringLiteral("Edit Label")));
    EXPECT_TRUE(findAction(menu(1).get(), QStringLiteral("Reset to Default")));

    view.startEditingNumberLabel(QStringLiteral("5"), 0, row);
    EXPECT_EQ(view.editingLabelText(), QStringLiteral("alt"));
    view.finishEditingNumberLabel(QStringLiteral("5"), 0, row);
    EXPECT_EQ(row->partLabels(), (PartMap{{QStringLiteral("n0"), QStringLiteral("alt")},
                                          {ExpressionParts::numberingKey, ExpressionParts::numberingValue}}));
    EXPECT_EQ(row->getPartLabel(1, QStringLiteral("5")), std::nullopt);

    findAction(menu(1).get(), QStringLiteral("Reset to Default"))->trigger();
    EXPECT_TRUE(row->partColors().isEmpty());
    EXPECT_FALSE(findAction(menu(0).get(), QStringLiteral("Reset to Default")));

    // A colour text that does not read is still stored, so it can be reset.
    row->setPartColor(QStringLiteral("nonsense"), 0, QStringLiteral("5"));
    EXPECT_TRUE(findAction(menu(0).get(), QStringLiteral("Reset to Default")));
}

// A row labelled when 1.000,50 was no number keeps its label on the 5, on
// screen and on paper; colouring the amount keeps both.
TEST_F(NumberLabels, AnOlderRowKeepsItsLabelOnTheNumberItWasGiven)
{
    row->setExpression(QStringLiteral("1.000,50 + 5"));
    row->setPartLabels({{QStringLiteral("n0"), QStringLiteral("Rest")}});
    // The amount could only be coloured as text then.
    row->setPartColors({{QStringLiteral("text:1.000,50"), QStringLiteral("#FF5252")}});
    const IndexedExpressionParts parts = CanvasView::assignNumberIndicesToParts(CanvasView::parseExpressionParts(row->expression()));
    ASSERT_EQ(parts.size(), 3);
    EXPECT_EQ(parts[0], (IndexedExpressionPart{TableExpressionPart::number(QStringLiteral("1.000,50")), 0}));
    EXPECT_EQ(parts[2], (IndexedExpressionPart{TableExpressionPart::number(QStringLiteral("5")), 1}));
    auto printed = [&] {
        QStringList out;
        for (const ExportExpressionPart& part : PrintExpression::parseExpressionParts(row->expression(), *row)) {
            if (part.kind == ExportExpressionPart::Kind::number)
                out << part.text + QLatin1Char('=') + row->getPartLabel(part.numberIndex, part.text).value_or(QString());
        }
        return out;
    };
    EXPECT_EQ(printed(), (QStringList{QStringLiteral("1.000,50="), QStringLiteral("5=Rest")}));
    // The canvas draws it there too, above the 5.
    {
        ShownEditor editor(canvas);
        EXPECT_EQ(editor.view.shownExpressionParts(row), (QStringList{"1.000,50", "+", "5"}));
        EXPECT_EQ(editor.view.shownPartLabels(row), (QStringList{"", "", "Rest"}));
    }
    EXPECT_TRUE(findAction(menu(0, QStringLiteral("1.000,50")).get(), QStringLiteral("Add Label")));
    EXPECT_TRUE(findAction(menu(0, QStringLiteral("1.000,50")).get(), QStringLiteral("Reset to Default")));
    view.startEditingNumberLabel(QStringLiteral("5"), 1, row);
    EXPECT_EQ(view.editingLabelText(), QStringLiteral("Rest"));
    view.cancelEditingNumberLabel();

    findAction(menu(0, QStringLiteral("1.000,50")).get(), QStringLiteral("Green"))->trigger();
    EXPECT_EQ(row->getPartColor(0, QStringLiteral("1.000,50")), QStringLiteral("#00FF88"));
    EXPECT_FALSE(row->partColors().contains(QStringLiteral("text:1.000,50")));
    EXPECT_EQ(row->getPartLabel(1, QStringLiteral("5")), QStringLiteral("Rest"));
    EXPECT_EQ(printed(), (QStringList{QStringLiteral("1.000,50="), QStringLiteral("5=Rest")}));
}

// Typing an older row's amount over as one the older count never had keeps
// its label on that amount, not on the number after it.
TEST_F(NumberLabels, AnOlderRowKeepsItsLabelOnItsNumberThroughAnEdit)
{
    row->setExpression(QStringLiteral("12 + 3"));
    row->setPartLabels({{QStringLiteral("n0"), QStringLiteral("alt")}});
    ShownEditor editor(canvas);
    CanvasView& shown = editor.view;
    QTest::mouseClick(shown.tableWidget(), Qt::LeftButton, {}, editor.at(shown.expressionRect(0)));
    auto* field = qobject_cast<QLineEdit*>(shown.expressionEditor());
    ASSERT_TRUE(field && field->hasFocus());
    field->setCursorPosition(2);
    QTest::keyClicks(field, QStringLiteral(".000,50"));
    ASSERT_EQ(row->expression(), QStringLiteral("12.000,50 + 3"));
    // Drawn above the amount it was given, while typing and after.
    EXPECT_EQ(shown.shownPartLabels(row), (QStringList{"alt", "", ""}));
    QTest::keyClick(field, Qt::Key_Escape);
    EXPECT_EQ(shown.shownExpressionParts(row), (QStringList{"12.000,50", "+", "3"}));
    EXPECT_EQ(shown.shownPartLabels(row), (QStringList{"alt", "", ""}));
    const QList<int> keys = ExpressionParts::storedNumberIndices(*row, CalcSettings::shared().decimalStyle());
    ASSERT_EQ(keys.size(), 2);
    EXPECT_EQ(row->getPartLabel(keys[0], QStringLiteral("12.000,50")), QStringLiteral("alt"));
    EXPECT_EQ(row->getPartLabel(keys[1], QStringLiteral("3")), std::nullopt);
}

// Opening the editor on another number drops what was typed in the first.
TEST_F(NumberLabels, AnotherNumberReplacesTheOpenEditor)
{
    ShownEditor editor(canvas);
    CanvasView& shown = editor.view;
    shown.startEditingNumberLabel(QStringLiteral("5"), 0, row);
    QWidget* field = shown.numberLabelEditor();
    ASSERT_TRUE(field && field->isVisible());
    const int firstX = field->geometry().center().x();
    QTest::keyClicks(field, QStringLiteral("dropped"));
    shown.startEditingNumberLabel(QStringLiteral("5"), 1, row);
    EXPECT_EQ(shown.editingLabelText(), QString());
    EXPECT_EQ(shown.editingLabelIndex(), 1);
    ASSERT_TRUE(field->isVisible());
    EXPECT_GT(field->geometry().center().x(), firstX); // above the second 5 only
    EXPECT_EQ(qobject_cast<QLineEdit*>(field)->text(), QString());
    EXPECT_TRUE(row->partLabels().isEmpty());

    // While the row's expression is typed in, the number is not drawn, nor its field.
    shown.setFocusedBlockID(row->id());
    EXPECT_FALSE(field->isVisible());
    EXPECT_TRUE(shown.isEditingPartLabel());

    // A row that goes away ends its label edit.
    canvas->removeBlock(row);
    shown.refresh();
    EXPECT_FALSE(shown.isEditingPartLabel());
    EXPECT_FALSE(shown.editingLabelBlockID().has_value());
}

TEST_F(NumberLabels, ANumberEditedAwayEndsItsLabelEditAndTheCanvasTakesKeysAgain)
{
    row->setPartLabel(QStringLiteral("Miete"), 0, QStringLiteral("5"));
    ShownEditor editor(canvas);
    CanvasView& shown = editor.view;
    shown.startEditingNumberLabel(QStringLiteral("5"), 0, row);
    ASSERT_TRUE(shown.numberLabelEditor()->isVisible());

    // The row's expression is typed over while the label is open.
    QTest::mouseClick(shown.tableWidget(), Qt::LeftButton, {},
                      QPoint(int(shown.expressionRect(0).right()) - 5, int(shown.expressionRect(0).center().y())));
    auto* field = qobject_cast<QLineEdit*>(shown.expressionEditor());
    ASSERT_TRUE(field && field->hasFocus());
    field->selectAll();
    QTest::keyClicks(field, QStringLiteral("7 + 5"));
    EXPECT_TRUE(shown.isEditingPartLabel()); // still typing: the edit waits
    QTest::keyClick(field, Qt::Key_Escape);

    // The first number is 7 now: no field can stand for its label edit.
    EXPECT_FALSE(shown.isEditingPartLabel());
    EXPECT_FALSE(shown.numberLabelEditor()->isVisible());
    QTest::keyClick(&shown, Qt::Key_1);
    EXPECT_EQ(row->expression(), QStringLiteral("7 + 51"));
}

// An older row, labelled when 1.000,50 was no number, has its label drawn
// on the canvas above the number it was given, before and after more is
// typed onto the row.
TEST_F(NumberLabels, TheCanvasDrawsAnOlderRowsLabelOnItsNumber)
{
    row->setExpression(QStringLiteral("1.000,50 + 5"));
    row->setPartLabels({{QStringLiteral("n0"), QStringLiteral("Rest")}});
    ShownEditor editor(canvas);
    CanvasView& shown = editor.view;
    EXPECT_EQ(shown.shownPartLabels(row), (QStringList{"", "", "Rest"}));

    QTest::mouseClick(shown.tableWidget(), Qt::LeftButton, {}, editor.at(shown.expressionRect(0)));
    auto* field = qobject_cast<QLineEdit*>(shown.expressionEditor());
    ASSERT_TRUE(field && field->hasFocus());
    field->end(false);
    QTest::keyClicks(field, QStringLiteral(" + 2"));
    QTest::keyClick(field, Qt::Key_Escape);
    EXPECT_EQ(row->expression(), QStringLiteral("1.000,50 + 5 + 2"));
    EXPECT_EQ(shown.shownExpressionParts(row), (QStringList{"1.000,50", "+", "5", "+", "2"}));
    EXPECT_EQ(shown.shownPartLabels(row), (QStringList{"", "", "Rest", "", ""}));
}
