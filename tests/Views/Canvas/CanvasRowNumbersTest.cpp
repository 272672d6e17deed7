#include "Views/Canvas/CanvasViewTestSupport.h"

#include <QLineEdit>
#include <QMenu>
#include <QUndoStack>
#include <gtest/gtest.h>

namespace {

struct Rows {
    Rows()
    {
        for (int i = 0; i < 3; ++i)
            rows << addRow(canvas, QString(), QString::number(i + 1), 20 + i * 56.0, CanvasView::blockColors().at(i));
        linked = addRow(canvas, QString(), QString(), 188);
    }
    EditorPreferences preferences;
    CanvasPtr canvas = makeCanvas();
    BlockList rows;
    BlockPtr linked;
};

} // namespace

TEST(CanvasRowNumbers, TokensShowAsTheirSourceRowsNumber)
{
    Rows t;
    CanvasView view(t.canvas, nullptr, nullptr);
    linkRows(t.canvas, t.rows[0], t.linked, QStringLiteral("A"));
    linkRows(t.canvas, t.rows[2], t.linked, QStringLiteral("Netto"));

    auto shown = [&](const QString& expression) {
        t.linked->setExpression(expression);
        return view.expressionWithLineNumbers(t.linked);
    };
    EXPECT_EQ(shown(QStringLiteral("12 x 3")), QStringLiteral("12 x 3"));
    EXPECT_EQ(shown(QStringLiteral("{A:#00D4FF} + {Netto:00FF88} x 2")), QStringLiteral("L1 + L3 x 2"));
    // The short form is a token too, and a short token never swallows the next one.
    EXPECT_EQ(shown(QStringLiteral("{A} + {Netto:#00FF88}")), QStringLiteral("L1 + L3"));
    // A token whose link is gone shows as the canvas shows it.
    EXPECT_EQ(shown(QStringLiteral("{Gone:#FFFFFF} + {A}")), QStringLiteral("? + L1"));

    // Numbers follow the table order.
    t.rows[0]->setPositionY(150);
    EXPECT_EQ(shown(QStringLiteral("{A:#00D4FF}")), QStringLiteral("L3"));

    // So does one whose source is not on the canvas.
    t.canvas->removeBlock(t.rows[2]);
    EXPECT_EQ(shown(QStringLiteral("{Netto:#00FF88}")), QStringLiteral("?"));
}

TEST(CanvasRowNumbers, TypedNumbersOfLinkedRowsBecomeTokensAgain)
{
    Rows t;
    CanvasView view(t.canvas, nullptr, nullptr);
    linkRows(t.canvas, t.rows[0], t.linked, QStringLiteral("A"));
    linkRows(t.canvas, t.rows[0], t.linked, QStringLiteral("B"));
    auto stored = [&](const QString& text) { return view.lineNumbersToPlaceholders(text, t.linked); };

    EXPECT_EQ(stored(QStringLiteral("12 + 3")), QStringLiteral("12 + 3"));
    // The source's colour as it is now, without "#".
    EXPECT_EQ(stored(QStringLiteral("L1 x 2")), QStringLiteral("{A:00D4FF} x 2"));
    t.rows[0]->setColorHex(QStringLiteral("#FFB800"));
    // Two links from one row: both numbers take the first link's name.
    EXPECT_EQ(stored(QStringLiteral("L1 + L1")), QStringLiteral("{A:FFB800} + {A:FFB800}"));
    // Rows without a link here, numbers out of range, and lower-case l stay as typed.
    EXPECT_EQ(stored(QStringLiteral("L2 + L0 + L5 + l1 + L99999999999999999999")),
              QStringLiteral("L2 + L0 + L5 + l1 + L99999999999999999999"));
    EXPECT_TRUE(t.linked->incomingLinks().size() == 2); // no link is made
    // Inside a word it is a row number all the same.
    EXPECT_EQ(stored(QStringLiteral("XL1")), QStringLiteral("X{A:FFB800}"));
    // A colour without "#" stays as it is.
    t.rows[0]->setColorHex(QStringLiteral("00FF88"));
    EXPECT_EQ(stored(QStringLiteral("L1")), QStringLiteral("{A:00FF88}"));
}

// While a row is typed in, its field shows row numbers; what is typed is
// stored with tokens and evaluated.
TEST(CanvasRowNumbers, TheExpressionFieldRoundTrips)
{
    Rows t;
    linkRows(t.canvas, t.rows[1], t.linked, QStringLiteral("A"));
    t.linked->setExpression(QStringLiteral("{A:#FF6B9D} x 10"));
    ShownEditor editor(t.canvas);
    CanvasView& view = editor.view;
    QTest::mouseClick(view.tableWidget(), Qt::LeftButton, {}, editor.at(view.expressionRect(3)));
    auto* field = qobject_cast<QLineEdit*>(view.expressionEditor());
    ASSERT_TRUE(field && field->hasFocus());
    EXPECT_EQ(field->text(), QStringLiteral("L2 x 10"));
    EXPECT_EQ(view.resultText(t.linked), QStringLiteral("20"));

    field->end(false);
    QTest::keyClicks(field, QStringLiteral(" + L2"));
    EXPECT_EQ(t.linked->expression(), QStringLiteral("{A:FF6B9D} x 10 + {A:FF6B9D}"));
    EXPECT_EQ(view.resultText(t.linked), QStringLiteral("22"));
    EXPECT_EQ(field->text(), QStringLiteral("L2 x 10 + L2"));
}

TEST(CanvasRowNumbers, TheOpenFieldFollowsRowsThatMoveOrGo)
{
    Rows t;
    linkRows(t.canvas, t.rows[1], t.linked, QStringLiteral("A"));
    t.linked->setExpression(QStringLiteral("{A:#FF6B9D} x 10"));
    ShownEditor editor(t.canvas);
    CanvasView& view = editor.view;
    QTest::mouseClick(view.tableWidget(), Qt::LeftButton, {}, editor.at(view.expressionRect(3)));
    auto* field = qobject_cast<QLineEdit*>(view.expressionEditor());
    ASSERT_TRUE(field && field->hasFocus());
    ASSERT_EQ(field->text(), QStringLiteral("L2 x 10"));

    // The first row goes while the field is open: the source is row 1 now.
    QMenu* menu = view.createRowContextMenu(t.rows[0], 0, 4, &view);
    for (QAction* action : menu->actions()) {
        if (action->text() == QStringLiteral("Delete Row"))
            action->trigger();
    }
    delete menu;
    ASSERT_TRUE(field->hasFocus());
    EXPECT_EQ(field->text(), QStringLiteral("L1 x 10"));
    field->end(false);
    QTest::keyClicks(field, QStringLiteral("0"));
    EXPECT_EQ(t.linked->expression(), QStringLiteral("{A:FF6B9D} x 100"));
    EXPECT_EQ(view.resultText(t.linked), QStringLiteral("200"));

    // The source moves below another row; a caret inside the text stays put.
    field->setCursorPosition(2);
    menu = view.createRowContextMenu(t.rows[1], 0, 3, &view);
    for (QAction* action : menu->actions()) {
        if (action->text() == QStringLiteral("Move Down"))
            action->trigger();
    }
    delete menu;
    ASSERT_TRUE(field->hasFocus());
    EXPECT_EQ(field->text(), QStringLiteral("L2 x 100"));
    EXPECT_EQ(field->cursorPosition(), 2);
    QTest::keyClick(field, Qt::Key_Backspace);
    EXPECT_EQ(t.linked->expression(), QStringLiteral("L x 100"));
    QTest::keyClicks(field, QStringLiteral("2"));
    EXPECT_EQ(t.linked->expression(), QStringLiteral("{A:FF6B9D} x 100"));
}

// A link whose source row was deleted shows in the field as on the canvas;
// typing elsewhere keeps its token, so Undo of the delete brings the value
// back, and deleting what it shows removes it.
TEST(CanvasRowNumbers, AFieldKeepsALinkWhoseSourceIsGone)
{
    EditorPreferences preferences;
    const CanvasPtr canvas = makeCanvas();
    const BlockPtr rent = addRow(canvas, QStringLiteral("Miete"), QStringLiteral("850"), 20);
    const BlockPtr half = addRow(canvas, QStringLiteral("Halbe Miete"), QStringLiteral("0,5 x"), 76);
    QUndoStack history;
    ShownEditor editor(canvas, &history);
    CanvasView& view = editor.view;
    QWidget* table = view.tableWidget();
    send(table, QEvent::MouseButtonPress, view.linkHandleRect(0).center(), Qt::LeftButton);
    send(table, QEvent::MouseMove, view.expressionRect(1).center(), Qt::LeftButton);
    send(table, QEvent::MouseButtonRelease, view.expressionRect(1).center(), Qt::NoButton);
    ASSERT_EQ(half->expression(), QStringLiteral("0,5 x {A:#00D4FF}"));
    ASSERT_EQ(view.resultText(half), QStringLiteral("425"));

    QTest::mouseClick(table, Qt::LeftButton, {}, view.dragHandleRect(0).center().toPoint());
    QTest::keyClick(&view, Qt::Key_Backspace, Qt::ControlModifier);
    ASSERT_EQ(view.sortedBlocks(), BlockList{half});

    QTest::mouseClick(table, Qt::LeftButton, {}, editor.at(view.expressionRect(0)));
    auto* field = qobject_cast<QLineEdit*>(view.expressionEditor());
    ASSERT_TRUE(field && field->hasFocus());
    EXPECT_EQ(field->text(), QStringLiteral("0,5 x ?"));
    QTest::keyClicks(field, QStringLiteral(" + 1"));
    field->home(false);
    QTest::keyClicks(field, QStringLiteral("2 x "));
    EXPECT_EQ(field->text(), QStringLiteral("2 x 0,5 x ? + 1"));
    EXPECT_EQ(half->expression(), QStringLiteral("2 x 0,5 x {A:#00D4FF} + 1"));
    QTest::keyClick(field, Qt::Key_Escape);

    QTest::keyClick(&view, Qt::Key_Z, Qt::ControlModifier);
    ASSERT_EQ(view.sortedBlocks().size(), 2);
    EXPECT_EQ(view.sortedBlocks().first()->id(), rent->id());
    EXPECT_EQ(view.resultText(half), QStringLiteral("851"));

    QTest::keyClick(&view, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::mouseClick(table, Qt::LeftButton, {}, editor.at(view.expressionRect(0)));
    field = qobject_cast<QLineEdit*>(view.expressionEditor());
    field->setCursorPosition(11);
    QTest::keyClick(field, Qt::Key_Backspace);
    EXPECT_EQ(field->text(), QStringLiteral("2 x 0,5 x  + 1"));
    EXPECT_EQ(half->expression(), QStringLiteral("2 x 0,5 x  + 1"));
    QTest::keyClick(field, Qt::Key_Escape);

    // Each "?" is its token for as long as the edit does not reach it: the
    // field shows "? x 2 + ?"; "\b" is Backspace, "\x7f" Delete, caret -1
    // selects everything first.
    struct Edit {
        int caret;
        QString keys;
        QString stored;
    };
    const QString gone = QStringLiteral("{A:00D4FF} x 2 + {B:FF6B9D}");
    const QList<Edit> edits{
        {0, QStringLiteral("3 x "), QStringLiteral("3 x {A:00D4FF} x 2 + {B:FF6B9D}")},
        {5, QStringLiteral("0"), QStringLiteral("{A:00D4FF} x 20 + {B:FF6B9D}")},
        {1, QStringLiteral("?"), QStringLiteral("{A:00D4FF}? x 2 + {B:FF6B9D}")},
        {9, QStringLiteral("?"), QStringLiteral("{A:00D4FF} x 2 + {B:FF6B9D}?")},
        {8, QStringLiteral("?"), QStringLiteral("{A:00D4FF} x 2 + ?{B:FF6B9D}")},
        {1, QStringLiteral("\b"), QStringLiteral(" x 2 + {B:FF6B9D}")},
        {8, QStringLiteral("\x7f"), QStringLiteral("{A:00D4FF} x 2 + ")},
        {2, QStringLiteral("\b"), QStringLiteral("{A:00D4FF}x 2 + {B:FF6B9D}")},
        {-1, QStringLiteral("7"), QStringLiteral("7")},
    };
    for (const Edit& edit : edits) {
        SCOPED_TRACE(edit.stored.toStdString());
        half->setExpression(gone);
        QTest::mouseClick(table, Qt::LeftButton, {}, editor.at(view.expressionRect(0)));
        field = qobject_cast<QLineEdit*>(view.expressionEditor());
        ASSERT_EQ(field->text(), QStringLiteral("? x 2 + ?"));
        if (edit.caret < 0)
            field->selectAll();
        else
            field->setCursorPosition(edit.caret);
        for (const QChar key : edit.keys) {
            if (key == QLatin1Char('\b'))
                QTest::keyClick(field, Qt::Key_Backspace);
            else if (key == QChar(0x7f))
                QTest::keyClick(field, Qt::Key_Delete);
            else
                QTest::keyClicks(field, QString(key));
        }
        EXPECT_EQ(half->expression(), edit.stored);
        QTest::keyClick(field, Qt::Key_Escape);
    }
}
