#include "Engine/CalculatorEngine.h"
#include "Models/CalcSettings.h"
#include "Services/LibraryExchange.h"
#include "Models/CalculationBlock.h"
#include "Models/Identifiers.h"
#include "Models/Canvas.h"
#include "Models/ModelContext.h"
#include "Platform/Defaults.h"
#include "Views/Canvas/CanvasView.h"
#include "Views/Library/CanvasListView.h"
#include "Views/Window/ContentView.h"

#include <QApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QUndoStack>
#include <gtest/gtest.h>

namespace {

// The real editor inside the real window, as the program builds them.
class EditorInWindowTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    Defaults defaults{dir.filePath(QStringLiteral("prefs.conf"))};
    ModelContext context;
    CanvasPtr canvas = Canvas::create(QStringLiteral("Haushalt"), 0, 0, 1);
    std::unique_ptr<ContentView> window;

    CanvasView* editor() const { return qobject_cast<CanvasView*>(window->editor()); }

    // Two older canvases after the shown one, the library shown with the
    // keyboard in its list, on the shown canvas's row.
    QList<CanvasPtr> showLibraryOfThree()
    {
        QList<CanvasPtr> canvases{canvas};
        for (const QString& name : {QStringLiteral("Urlaub"), QStringLiteral("Steuer")}) {
            const CanvasPtr older = Canvas::create(name, 0, 0, 1);
            older->setModifiedAt(canvases.last()->modifiedAt().addSecs(-60));
            context.insert(older);
            canvases << older;
        }
        window->setSidebarVisible(true);
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
        QCoreApplication::processEvents();
        clickRow(canvas);
        EXPECT_EQ(QApplication::focusWidget(), window->library()->listView());
        return canvases;
    }
    void clickRow(const CanvasPtr& row)
    {
        QListView* list = window->library()->listView();
        const QModelIndex index = window->library()->model()->index(window->library()->model()->rowOf(row->id()));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(index).center());
    }
    // A key as the user presses it: to whatever has the keyboard.
    static void press(Qt::Key key) { QTest::keyClick(QApplication::focusWidget(), key); }

    void SetUp() override
    {
        context.insert(canvas);
        window = std::make_unique<ContentView>(
            &context,
            [](const CanvasPtr& c, QUndoStack* stack) { return new CanvasView(c, c->context(), stack); }, defaults);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        ASSERT_TRUE(editor());
    }
};

} // namespace

TEST_F(EditorInWindowTest, RowColourMenuShowsInTheWindowToolbarWithASelection)
{
    QToolBar* toolbar = window->findChild<QToolBar*>(QStringLiteral("toolbar"));
    ASSERT_TRUE(toolbar);
    ASSERT_TRUE(toolbar->actions().contains(editor()->rowColorAction()));
    EXPECT_FALSE(editor()->rowColorAction()->isVisible());
    const bool shown = toolbar->isVisible();
    const int top = editor()->mapTo(window.get(), QPoint(0, 0)).y();
    editor()->addNewRow();
    QCoreApplication::processEvents();
    EXPECT_TRUE(editor()->rowColorAction()->isVisible());
    EXPECT_EQ(toolbar->isVisible(), shown) << "the canvas must not jump when a row is selected";
    EXPECT_EQ(editor()->mapTo(window.get(), QPoint(0, 0)).y(), top);
    editor()->rowColorAction()->menu()->actions().at(5)->trigger();
    EXPECT_EQ(canvas->blocks().first()->colorHex(), QStringLiteral("#FF5252"));
}

TEST_F(EditorInWindowTest, CtrlZOnTheCanvasUndoesExactlyOnce)
{
    editor()->addNewBlock();
    editor()->addNewBlock();
    ASSERT_EQ(canvas->blocks().size(), 2);
    ASSERT_EQ(window->undoStack()->count(), 2);
    editor()->tableWidget()->setFocus();
    QTest::keyClick(editor()->tableWidget(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(canvas->blocks().size(), 1) << "the window and the editor must not both claim Ctrl+Z";
    QTest::keyClick(editor()->tableWidget(), Qt::Key_Z, Qt::ControlModifier);
    ASSERT_EQ(window->undoStack()->index(), 0);
    // Redo too goes once: the first row comes back, not the second.
    QTest::keyClick(editor()->tableWidget(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(window->undoStack()->index(), 1);
    EXPECT_EQ(canvas->blocks().size(), 1);
    // Edit › Redo brings back the second.
    QAction* redo = nullptr;
    for (QAction* top : window->menuBar()->actions()) {
        for (QAction* candidate : top->menu() ? top->menu()->actions() : QList<QAction*>()) {
            if (candidate->text().startsWith(QStringLiteral("Redo")))
                redo = candidate;
        }
    }
    ASSERT_TRUE(redo);
    redo->trigger();
    EXPECT_EQ(canvas->blocks().size(), 2);
}

// Ctrl+C/V/X/Z are the canvas's row commands while the canvas has the
// keyboard, and the field's own text commands while a field has it.
TEST_F(EditorInWindowTest, ClipboardChordsFollowTheFocus)
{
    CalcSettings::shared().setRowClipboard(std::nullopt);
    CanvasView* view = editor();
    view->addNewRow();
    const BlockPtr row = canvas->blocks().first();
    row->setExpression(QStringLiteral("42"));
    row->setLabel(QStringLiteral("Miete"));
    view->refresh();

    // A field: its text is copied, the row clipboard stays empty.
    QTest::mouseClick(view->tableWidget(), Qt::LeftButton, {}, view->expressionRect(0).center().toPoint());
    auto* field = qobject_cast<QLineEdit*>(view->expressionEditor());
    ASSERT_TRUE(field && field->hasFocus());
    field->selectAll();
    QTest::keyClick(field, Qt::Key_C, Qt::ControlModifier);
    EXPECT_FALSE(CalcSettings::shared().rowClipboard().has_value());
    field->setCursorPosition(field->text().size());
    QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(row->expression(), QStringLiteral("4242"));
    QTest::keyClick(field, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(row->expression(), QStringLiteral("42")) << "the field undoes its own typing";
    EXPECT_EQ(canvas->blocks().size(), 1);

    // The canvas: rows are copied, pasted and cut, and undo is the window's stack.
    QTest::keyClick(field, Qt::Key_Escape);
    ASSERT_TRUE(view->hasFocus());
    QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
    ASSERT_TRUE(CalcSettings::shared().rowClipboard().has_value());
    QTest::keyClick(view, Qt::Key_V, Qt::ControlModifier);
    ASSERT_EQ(canvas->blocks().size(), 2);
    EXPECT_EQ(window->undoStack()->undoText(), QStringLiteral("Paste Rows"));
    QTest::keyClick(view, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(canvas->blocks().size(), 1) << "cut takes the pasted row, which paste selected";
    EXPECT_EQ(window->undoStack()->undoText(), QStringLiteral("Delete Blocks"));
    QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(canvas->blocks().size(), 2);
    EXPECT_EQ(canvas->blocks().first()->label(), QStringLiteral("Miete"));
}

TEST_F(EditorInWindowTest, ToolbarColoursTheMultiSelectionAndDatesTheCanvas)
{
    CanvasView* view = editor();
    view->addNewRow();
    view->addNewRow();
    view->addNewRow();
    const BlockList rows = view->sortedBlocks();
    const QDateTime noon(QDate(2031, 5, 1), QTime(12, 0));
    Clock::setSource([noon] { return noon; });
    QAction* orange = view->rowColorAction()->menu()->actions().at(3);

    // One selected row: coloured, the canvas keeps its date.
    const QDateTime before = canvas->modifiedAt();
    orange->trigger();
    EXPECT_EQ(rows[2]->colorHex(), QStringLiteral("#FFB800"));
    EXPECT_EQ(canvas->modifiedAt(), before);

    QTest::mouseClick(view->tableWidget(), Qt::LeftButton, Qt::ControlModifier, view->labelRect(0).center().toPoint());
    QTest::mouseClick(view->tableWidget(), Qt::LeftButton, Qt::ControlModifier, view->labelRect(1).center().toPoint());
    view->rowColorAction()->menu()->actions().at(7)->trigger();
    EXPECT_EQ(rows[0]->colorHex(), QStringLiteral("#FFFF00"));
    EXPECT_EQ(rows[1]->colorHex(), QStringLiteral("#FFFF00"));
    EXPECT_EQ(rows[2]->colorHex(), QStringLiteral("#FFFF00")) << "the row selected before joined the selection";
    EXPECT_EQ(canvas->modifiedAt(), noon);
    Clock::setSource({});
}

// Canvases chosen in the library leave the keyboard there: the arrow keys
// go on choosing, and Delete asks about the canvas reached.
TEST_F(EditorInWindowTest, ArrowKeysInTheLibraryChooseOnAndDeleteAsksForTheCanvasReached)
{
    const QList<CanvasPtr> canvases = showLibraryOfThree();
    QStringList asked;
    window->library()->setDeleteConfirmation([&](const QString&, const QString& message) {
        asked << message;
        return false;
    });
    press(Qt::Key_Down);
    press(Qt::Key_Down);
    ASSERT_TRUE(editor());
    EXPECT_EQ(editor()->canvas()->name(), QStringLiteral("Steuer"));
    press(Qt::Key_Delete);
    EXPECT_EQ(asked, QStringList{QStringLiteral("Are you sure you want to delete \"Steuer\"?")});
    // A click on the canvas hands the keyboard to the editor.
    QTest::mouseClick(editor()->tableWidget(), Qt::LeftButton, {}, QPoint(40, 8));
    EXPECT_EQ(QApplication::focusWidget(), editor());
}

// After a click on a canvas in the library, Return renames it; the canvas
// just opened gets no row.
TEST_F(EditorInWindowTest, ReturnAfterAClickInTheLibraryRenamesTheCanvas)
{
    const QList<CanvasPtr> canvases = showLibraryOfThree();
    clickRow(canvases[1]);
    ASSERT_EQ(editor()->canvas()->name(), QStringLiteral("Urlaub"));
    press(Qt::Key_Return);
    ASSERT_EQ(window->library()->isRenaming(), canvases[1]->id());
    auto* field = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_TRUE(field);
    field->selectAll();
    QTest::keyClicks(field, QStringLiteral("Reise"));
    press(Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_EQ(canvases[1]->name(), QStringLiteral("Reise"));
    EXPECT_FALSE(window->library()->isRenaming());
    EXPECT_TRUE(canvases[1]->blocks().isEmpty());
}

// At the smallest window with the library shown, every expression shows at
// least its first eight characters, beside a long label and a wide result.
TEST_F(EditorInWindowTest, TheSmallestWindowWithTheLibraryShowsTheStartOfEachExpression)
{
    const QStringList expressions{QStringLiteral("1.000,50 + 19%"), QStringLiteral("123456789012 x 1000"),
                                  QStringLiteral("(250 + 380) x 12 + 19%")};
    for (const QString& expression : expressions) {
        const BlockPtr row = CalculationBlock::create(BlockType::calculation, expression, QString(),
                                                      QStringLiteral("Netto inklusive Mehrwertsteuer im Jahr"), 20,
                                                      20 + canvas->blocks().size() * 56.0, 200, 56, QStringLiteral("#00D4FF"));
        row->setCanvas(canvas);
    }
    editor()->refresh();
    window->setSidebarVisible(true);
    QCoreApplication::processEvents();
    const QSize wide = window->size();
    const int libraryWidth = window->library()->width();
    window->resize(1, 1);
    QCoreApplication::processEvents();
    ASSERT_TRUE(window->library()->isVisible());
    EXPECT_EQ(window->height(), 420);
    for (const BlockPtr& row : canvas->blocks()) {
        const QString shown = editor()->shownExpressionParts(row).join(QString());
        const QString start = QString(row->expression()).remove(u' ').left(8);
        EXPECT_TRUE(shown.startsWith(start)) << shown.toStdString() << " in a window " << window->width() << " wide";
    }
    // Widened again, the library is as wide as before, also when it was
    // hidden while the window was narrow.
    window->setSidebarVisible(false);
    QCoreApplication::processEvents();
    window->resize(wide);
    QCoreApplication::processEvents();
    window->setSidebarVisible(true);
    QCoreApplication::processEvents();
    EXPECT_EQ(window->library()->width(), libraryWidth);
}

// A canvas that is not open follows a settings change too: an export (as
// print and PDF) right after it carries the new result, and the records
// follow on their own.
TEST_F(EditorInWindowTest, CanvasesNotShownFollowAChangeOfTheSettings)
{
    CalcSettings& settings = CalcSettings::shared();
    const QList<CalcSettings::TaxRate> savedRates = settings.taxRates();
    const DecimalStyle savedStyle = settings.decimalStyle();
    settings.setDecimalStyle(DecimalStyle::germanComma);
    const CanvasPtr other = Canvas::create(QStringLiteral("Steuer"), 0, 0, 1);
    context.insert(other);
    const auto add = [&](const QString& expression, double y) {
        const BlockPtr row = CalculationBlock::create(BlockType::calculation, expression, QString(), QString(), 20, y,
                                                      200, 56, QStringLiteral("#00D4FF"));
        row->setCanvas(other);
        return row;
    };
    const BlockPtr taxed = add(QStringLiteral("100 + MwSt"), 20);
    const BlockPtr grouped = add(QStringLiteral("1.200"), 76);
    CalculatorEngine::shared().evaluateCanvas(other);
    ASSERT_EQ(taxed->result(), 119.0);
    QCoreApplication::processEvents();

    QList<CalcSettings::TaxRate> rates = savedRates;
    rates[0].rate = 20;
    settings.setTaxRates(rates);
    const QString path = dir.filePath(QStringLiteral("Steuer.quillsheet"));
    ASSERT_FALSE(LibraryExchange::exportCanvases({other}, path).has_value());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QJsonArray blocks = QJsonDocument::fromJson(file.readAll())["canvases"][0]["blocks"].toArray();
    ASSERT_EQ(blocks.size(), 2);
    QList<double> results;
    for (const QJsonValue& block : blocks)
        results << block["result"].toDouble();
    EXPECT_TRUE(results.contains(120.0)) << results.first() << " " << results.last();

    settings.setDecimalStyle(DecimalStyle::usPeriod);
    EXPECT_TRUE(QTest::qWaitFor([&] { return grouped->result() == 1.2; }, 2000));
    EXPECT_EQ(taxed->result(), 120.0);
    settings.setTaxRates(savedRates);
    settings.setDecimalStyle(savedStyle);
}
