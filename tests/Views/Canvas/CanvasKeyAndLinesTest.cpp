// Pure parts of the canvas keyboard and of editor-mode lines.

#include "Views/Canvas/CanvasViewTestSupport.h"
#include "support/TestSupport.h"

#include "Views/Canvas/CanvasKey.h"

#include <QKeyEvent>
#include <gtest/gtest.h>

#include <limits>

namespace {

CanvasKey translate(int key, Qt::KeyboardModifiers modifiers, const QString& text)
{
    const QKeyEvent event(QEvent::KeyPress, key, modifiers, text);
    return CanvasKey::from(event);
}

BlockPtr rowAt(double x, double y, double width = 150)
{
    return CalculationBlock::create(BlockType::text, QString(), QString(), QString(), x, y, width, 40,
                                    QStringLiteral("#00D4FF"));
}

} // namespace

TEST(CanvasKeyTranslation, CtrlChordsCompareLettersNotControlCharacters)
{
    const CanvasKey undo = translate(Qt::Key_Z, Qt::ControlModifier, QStringLiteral("\x1a"));
    EXPECT_TRUE(undo.command);
    EXPECT_EQ(undo.characters, QStringLiteral("z"));
    const CanvasKey redo = translate(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier, QStringLiteral("\x1a"));
    EXPECT_TRUE(redo.shift);
    EXPECT_EQ(redo.characters.toLower(), QStringLiteral("z"));
    // Ctrl+Backspace types nothing on some platforms; it is still Backspace.
    const CanvasKey remove = translate(Qt::Key_Backspace, Qt::ControlModifier, QString());
    EXPECT_TRUE(remove.isBackspaceCharacters());
    EXPECT_TRUE(remove.command);
    const CanvasKey up = translate(Qt::Key_Up, Qt::AltModifier, QString());
    EXPECT_TRUE(up.option);
    EXPECT_EQ(up.key, CanvasKey::Named::upArrow);
    // Any of Ctrl, Alt and Meta makes a chord; Shift alone does not.
    EXPECT_TRUE(translate(Qt::Key_D, Qt::MetaModifier, QStringLiteral("d")).isChord());
    EXPECT_TRUE(up.isChord());
    EXPECT_TRUE(undo.isChord());
    EXPECT_FALSE(translate(Qt::Key_D, Qt::ShiftModifier, QStringLiteral("D")).isChord());
}

TEST(CanvasKeyTranslation, NamedKeysAndTheTwoDeleteKeys)
{
    EXPECT_EQ(translate(Qt::Key_Enter, Qt::KeypadModifier, QStringLiteral("\r")).key, CanvasKey::Named::returnKey);
    EXPECT_EQ(translate(Qt::Key_Backtab, Qt::ShiftModifier, QString()).key, CanvasKey::Named::tab);
    EXPECT_EQ(translate(Qt::Key_Escape, {}, QStringLiteral("\x1b")).key, CanvasKey::Named::escape);

    const CanvasKey backspace = translate(Qt::Key_Backspace, {}, QStringLiteral("\b"));
    EXPECT_EQ(backspace.key, CanvasKey::Named::backspace);
    EXPECT_TRUE(backspace.isBackspaceCharacters());
    // X11 types U+007F for forward Delete: it must not read as Backspace.
    const CanvasKey forward = translate(Qt::Key_Delete, {}, QString(QChar(0x7F)));
    EXPECT_EQ(forward.key, CanvasKey::Named::deleteKey);
    EXPECT_FALSE(forward.isBackspaceCharacters());
    EXPECT_TRUE(forward.characters.isEmpty());
}

TEST(CanvasKeyTranslation, DigitsAndFunctionNames)
{
    // Empty text is in every text; it must never count as a digit.
    EXPECT_FALSE(isCanvasDigits(QString()));
    EXPECT_FALSE(isCanvasDigits(QStringLiteral("21")));
    // Only a whole word is a function name that "(" takes along.
    EXPECT_EQ(functionNameAtEnd(QStringLiteral("Miete sqrt")), 4);
    EXPECT_EQ(functionNameAtEnd(QStringLiteral("Katalog")), 0);
}

TEST(EditorModeLines, LineOfAPositionAndRowsOnALine)
{
    EXPECT_EQ(CanvasView::lineForY(20), 0);
    EXPECT_EQ(CanvasView::lineForY(69.9), 0);
    EXPECT_EQ(CanvasView::lineForY(70), 1);
    EXPECT_EQ(CanvasView::lineForY(119), 1);
    EXPECT_EQ(CanvasView::lineForY(10), 0);
    EXPECT_EQ(CanvasView::lineForY(-1e300), 0);
    // Rows stored with absurd positions still have a line.
    EXPECT_EQ(CanvasView::lineForY(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_GT(CanvasView::lineForY(std::numeric_limits<double>::infinity()), 1000);
    EXPECT_GT(CanvasView::totalLines({rowAt(20, 1e300)}), 1000);

    const BlockPtr b = rowAt(200, 70);
    const BlockPtr a = rowAt(20, 94);
    const BlockPtr tie = rowAt(200, 80);
    const BlockPtr between = rowAt(20, 45); // 25 from lines 0 and 1: on neither
    const BlockList rows{b, a, tie, between};
    EXPECT_EQ(CanvasView::blocksOnLine(rows, 1), (BlockList{a, b, tie}));
    EXPECT_TRUE(CanvasView::blocksOnLine(rows, 0).isEmpty());
    EXPECT_EQ(CanvasView::lineForY(between->positionY()), 0);

    EXPECT_EQ(CanvasView::totalLines({}), 1);
    EXPECT_EQ(CanvasView::totalLines({rowAt(20, 20), rowAt(20, 119)}), 2);
}

TEST(EditorModeLines, RepackingALineFromTheLeft)
{
    const BlockPtr first = rowAt(300, 70, 150);
    const BlockPtr second = rowAt(40, 72, 200);
    const BlockPtr third = rowAt(900, 68, 150);
    const BlockPtr elsewhere = rowAt(500, 120);
    CanvasView::repositionBlocksOnLine({first, second, third, elsewhere}, 1);
    EXPECT_EQ(second->positionX(), 20);
    EXPECT_EQ(first->positionX(), 230);
    EXPECT_EQ(third->positionX(), 390);
    EXPECT_EQ(elsewhere->positionX(), 500);
    EXPECT_EQ(second->positionY(), 72) << "only x changes";
}
