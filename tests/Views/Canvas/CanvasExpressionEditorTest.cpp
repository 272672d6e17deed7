#include "Views/Canvas/CanvasViewTestSupport.h"
#include "support/TestSupport.h"

#include "Engine/CalculatorEngine.h"
#include "Views/Canvas/CanvasExpressionEditor.h"

#include <gtest/gtest.h>

namespace {

using Coordinator = CanvasExpressionEditor::Coordinator;
using Range = CanvasExpressionEditor::TextRange;

// A row "12 + {A:#00D4FF}" fed by a row whose result is 5.
class ExpressionEditorTest : public ::testing::Test {
protected:
    ExpressionEditorTest()
    {
        source = addRow(canvas, QStringLiteral("Quelle"), QStringLiteral("5"), 20);
        row = addRow(canvas, QString(), QStringLiteral("12 + {A:#00D4FF}"), 76);
        link = linkRows(canvas, source, row, QStringLiteral("A"));
        CalculatorEngine::shared().evaluateCanvas(canvas);
    }

    std::unique_ptr<CanvasExpressionEditor> makeEditor()
    {
        auto editor = std::make_unique<CanvasExpressionEditor>(
            row, QColor(Qt::cyan), [this] { ++submits; }, [this](const QString& text) { changes.append(text); });
        editor->resize(400, 40);
        return editor;
    }

    // Types like a user: select [from, to) (or place the caret) and enter text.
    static void edit(CanvasExpressionEditor& editor, int from, int to, const QString& text)
    {
        editor.setSelection(from, to - from);
        if (from == to)
            editor.setCursorPosition(from);
        if (text.isEmpty())
            QTest::keyClick(&editor, Qt::Key_Backspace);
        else
            QTest::keyClicks(&editor, text);
    }

    EditorPreferences preferences;
    CanvasPtr canvas = makeCanvas();
    BlockPtr source;
    BlockPtr row;
    LinkPtr link;
    int submits = 0;
    QStringList changes;
};

} // namespace

TEST_F(ExpressionEditorTest, TokensShowAsTheLinkedValues)
{
    auto editor = makeEditor();
    Coordinator& coordinator = editor->coordinator();
    EXPECT_EQ(editor->text(), QStringLiteral("12 + 5"));
    ASSERT_EQ(coordinator.placeholderMappings.size(), 1);
    EXPECT_EQ(coordinator.placeholderMappings.first().displayRange, (Range{5, 6}));
    EXPECT_EQ(coordinator.placeholderMappings.first().actualRange, (Range{5, 16}));
    EXPECT_EQ(coordinator.placeholderMappings.first().placeholder, QStringLiteral("A"));

    // The source's currency mark after a thin space; "?" without a link.
    source->setExpression(QStringLiteral("5 €"));
    CalculatorEngine::shared().evaluateBlock(source);
    EXPECT_EQ(coordinator.getResolvedValue(QStringLiteral("A")), QStringLiteral("5\u2009€"));
    EXPECT_EQ(coordinator.getResolvedValue(QStringLiteral("B")), QStringLiteral("?"));

    // Names are trimmed; a "{" without "}" is plain text.
    const Coordinator::DisplayText built = coordinator.buildDisplayText(QStringLiteral("{ A :x}*{B}+{2"));
    EXPECT_EQ(built.text, QStringLiteral("5\u2009€*?+{2"));
    ASSERT_EQ(built.mappings.size(), 2);
    EXPECT_EQ(built.mappings[0].placeholder, QStringLiteral("A"));
    EXPECT_EQ(built.mappings[1].displayRange, (Range{4, 5}));

    EXPECT_EQ(CanvasExpressionEditor::detectCurrency(QStringLiteral("10 R$")), QStringLiteral("R$"));
    EXPECT_EQ(CanvasExpressionEditor::detectCurrency(QStringLiteral("10 zł")), QStringLiteral("zł"));
    EXPECT_FALSE(CanvasExpressionEditor::detectCurrency(QStringLiteral("10")).has_value());

    // While the user is not typing, a refresh reads the model again.
    source->setExpression(QStringLiteral("7"));
    CalculatorEngine::shared().evaluateBlock(source);
    editor->refreshFromModel();
    EXPECT_EQ(editor->text(), QStringLiteral("12 + 7"));
}

TEST_F(ExpressionEditorTest, EditsAroundValuesReachTheExpression)
{
    auto editor = makeEditor();
    edit(*editor, 6, 6, QStringLiteral("*2"));
    EXPECT_EQ(row->expression(), QStringLiteral("12 + {A:#00D4FF}*2"));
    EXPECT_EQ(row->result(), 22.0);
    EXPECT_EQ(changes.last(), row->expression());

    // A digit typed before a value that starts with that digit goes before it.
    edit(*editor, 5, 5, QStringLiteral("5"));
    EXPECT_EQ(row->expression(), QStringLiteral("12 + 5{A:#00D4FF}*2"));
    EXPECT_EQ(editor->text(), QStringLiteral("12 + 55*2"));
    edit(*editor, 5, 6, QString());
    EXPECT_EQ(row->expression(), QStringLiteral("12 + {A:#00D4FF}*2"));

    // Replacing a selection of the same length (the prefix alone sees no change).
    edit(*editor, 0, 2, QStringLiteral("30"));
    EXPECT_EQ(row->expression(), QStringLiteral("30 + {A:#00D4FF}*2"));
    edit(*editor, 7, 8, QStringLiteral("3"));
    EXPECT_EQ(row->expression(), QStringLiteral("30 + {A:#00D4FF}*3"));
    EXPECT_EQ(row->result(), 45.0);
}

TEST_F(ExpressionEditorTest, ChangingAValueRemovesItsToken)
{
    auto editor = makeEditor();
    row->setExpression(QStringLiteral("1+{A:#00D4FF}+1"));
    source->setExpression(QStringLiteral("42"));
    CalculatorEngine::shared().evaluateBlock(source);
    editor->refreshFromModel();
    ASSERT_EQ(editor->text(), QStringLiteral("1+42+1"));

    // Typing inside a value drops the token and not the rest.
    edit(*editor, 3, 3, QStringLiteral("9"));
    EXPECT_EQ(row->expression(), QStringLiteral("1++1"));
    EXPECT_EQ(editor->text(), QStringLiteral("1++1"));

    // A selection across a value and its neighbours is replaced whole.
    row->setExpression(QStringLiteral("1+{A:#00D4FF}+1"));
    editor->refreshFromModel();
    edit(*editor, 1, 5, QStringLiteral("*"));
    EXPECT_EQ(row->expression(), QStringLiteral("1*1"));
    EXPECT_EQ(editor->text(), QStringLiteral("1*1"));
    EXPECT_EQ(row->incomingLinks(), LinkList{link}); // the editor never deletes links
}

TEST_F(ExpressionEditorTest, DeleteKeysTakeAValueWhole)
{
    auto editor = makeEditor();
    row->setExpression(QStringLiteral("{A:#00D4FF}+{A:#00D4FF}"));
    editor->refreshFromModel();
    ASSERT_EQ(editor->text(), QStringLiteral("5+5"));

    editor->setCursorPosition(3);
    QTest::keyClick(editor.get(), Qt::Key_Backspace);
    EXPECT_EQ(row->expression(), QStringLiteral("{A:#00D4FF}+"));
    EXPECT_EQ(editor->text(), QStringLiteral("5+"));
    EXPECT_EQ(editor->cursorPosition(), 2);

    editor->setCursorPosition(0);
    QTest::keyClick(editor.get(), Qt::Key_Delete);
    EXPECT_EQ(row->expression(), QStringLiteral("+"));
    EXPECT_EQ(editor->cursorPosition(), 0);
    EXPECT_EQ(link->destinationBlock(), row);

    // Away from values the field deletes one character as usual.
    row->setExpression(QStringLiteral("12{A:#00D4FF}"));
    editor->refreshFromModel();
    editor->setCursorPosition(1);
    QTest::keyClick(editor.get(), Qt::Key_Backspace);
    EXPECT_EQ(row->expression(), QStringLiteral("2{A:#00D4FF}"));
    // With a selection, the selection goes.
    editor->setSelection(0, 2);
    QTest::keyClick(editor.get(), Qt::Key_Delete);
    EXPECT_EQ(row->expression(), QString());

    // Return submits and inserts nothing.
    QTest::keyClick(editor.get(), Qt::Key_Return);
    EXPECT_EQ(submits, 1);
    EXPECT_EQ(row->expression(), QString());
}

TEST_F(ExpressionEditorTest, WithoutTokensTheFieldIsTheExpression)
{
    row->setExpression(QStringLiteral("2*3"));
    auto editor = makeEditor();
    edit(*editor, 1, 2, QStringLiteral("+"));
    EXPECT_EQ(row->expression(), QStringLiteral("2+3"));
    EXPECT_EQ(row->result(), 5.0);

    // An imported expression longer than a line edit's default keeps its end.
    row->setExpression(QString(100000, QLatin1Char('7')));
    auto longOne = makeEditor();
    edit(*longOne, 0, 0, QStringLiteral("1+"));
    EXPECT_EQ(row->expression().size(), 100002);
}

TEST(TextDifferenceTest, PrefixSuffixAndCaret)
{
    using Type = Coordinator::TextDiffType;
    EXPECT_FALSE(Coordinator::findTextDifference(QStringLiteral("abc"), QStringLiteral("abc")).has_value());

    auto diff = Coordinator::findTextDifference(QStringLiteral("12+5"), QStringLiteral("12-5"));
    ASSERT_TRUE(diff);
    EXPECT_EQ(diff->type, Type::replacement);
    EXPECT_EQ(diff->position, 2);
    EXPECT_EQ(diff->removedLength, 1);
    EXPECT_EQ(diff->insertedText, QStringLiteral("-"));

    diff = Coordinator::findTextDifference(QStringLiteral("1+5"), QStringLiteral("1+55"));
    EXPECT_EQ(diff->position, 3);
    diff = Coordinator::findTextDifference(QStringLiteral("1+5"), QStringLiteral("1+55"), 3);
    EXPECT_EQ(diff->type, Type::insertion);
    EXPECT_EQ(diff->position, 2);
    EXPECT_EQ(diff->insertedText, QStringLiteral("5"));

    diff = Coordinator::findTextDifference(QStringLiteral("aXXb"), QStringLiteral("ab"), 1);
    EXPECT_EQ(diff->type, Type::deletion);
    EXPECT_EQ(diff->position, 1);
    EXPECT_EQ(diff->removedLength, 2);

    // A character outside the BMP is never split.
    diff = Coordinator::findTextDifference(QStringLiteral("a\U0001F600"), QStringLiteral("a\U0001F601"));
    EXPECT_EQ(diff->position, 1);
    EXPECT_EQ(diff->removedLength, 2);
    EXPECT_EQ(diff->insertedText, QStringLiteral("\U0001F601"));
}
