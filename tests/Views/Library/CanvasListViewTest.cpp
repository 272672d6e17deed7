#include "Views/Window/ShellFixture.h"

#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTextDocumentFragment>

namespace {

class CanvasListViewTest : public ShellFixture {
protected:
    void SetUp() override { Clock::setSource([] { return now(); }); }

    CanvasListView& library() { return *window->library(); }
    QStringList rows() { return names(library().canvases()); }
    QRect rowRect(const CanvasPtr& canvas)
    {
        QListView* list = library().listView();
        return list->visualRect(library().model()->index(library().model()->rowOf(canvas->id())));
    }
    void click(const CanvasPtr& canvas, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::mouseClick(library().listView()->viewport(), Qt::LeftButton, modifiers, rowRect(canvas).center());
    }
    void showWithSidebar()
    {
        makeWindow().show();
        window->setSidebarVisible(true);
        QCoreApplication::processEvents();
    }
    // The open rename field (closed ones linger until deleted).
    QLineEdit* renameField()
    {
        const std::optional<QUuid> renaming = library().isRenaming();
        const QModelIndex row = renaming ? library().model()->index(library().model()->rowOf(*renaming)) : QModelIndex();
        return qobject_cast<QLineEdit*>(library().listView()->indexWidget(row));
    }
};

QDateTime local(int year, int month, int day, int hour, int minute)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute), Qt::LocalTime);
}

// Keeps the warnings Qt prints while it lives.
class WarningRecorder {
public:
    WarningRecorder() { m_previous = qInstallMessageHandler(record); }
    ~WarningRecorder() { qInstallMessageHandler(m_previous); }
    static QStringList& warnings()
    {
        static QStringList list;
        return list;
    }

private:
    static void record(QtMsgType type, const QMessageLogContext&, const QString& message)
    {
        if (type == QtWarningMsg)
            warnings() << message;
    }
    QtMessageHandler m_previous;
};

} // namespace

TEST(FormatDateTest, NamesTheDateRelativeToNow)
{
    const QLocale british(QLocale::English, QLocale::UnitedKingdom);
    const QLocale american(QLocale::English, QLocale::UnitedStates);
    const QDateTime now = local(2026, 12, 9, 10, 0); // a Wednesday
    EXPECT_EQ(formatDate(local(2026, 12, 9, 14, 5), now, british), QStringLiteral("14:05"));
    EXPECT_EQ(formatDate(local(2026, 12, 9, 14, 5), now, american), QStringLiteral("2:05 PM"));
    EXPECT_EQ(formatDate(local(2026, 12, 8, 23, 59), now, british), QStringLiteral("Yesterday"));
    EXPECT_EQ(formatDate(local(2026, 12, 6, 9, 0), now, british), QStringLiteral("Sunday"));
    // Seven calendar days back but not yet seven whole days: still a weekday.
    EXPECT_EQ(formatDate(local(2026, 12, 2, 11, 0), now, british), QStringLiteral("Wednesday"));
    EXPECT_EQ(formatDate(local(2026, 12, 2, 9, 0), now, british), QStringLiteral("2 Dec 2026"));
    EXPECT_EQ(formatDate(local(2026, 11, 29, 9, 0), now, british), QStringLiteral("29 Nov 2026"));
    EXPECT_EQ(formatDate(local(2026, 11, 29, 9, 0), now, american), QStringLiteral("Nov 29, 2026"));
    // Later than now and not today: its weekday.
    EXPECT_EQ(formatDate(local(2026, 12, 11, 9, 0), now, british), QStringLiteral("Friday"));
    EXPECT_EQ(formatDate(local(2027, 2, 1, 9, 0), now, british), QStringLiteral("Monday"));
}

TEST_F(CanvasListViewTest, ListsNewestFirstWithADeterministicOrderForEqualTimes)
{
    const CanvasPtr middle = addCanvas(QStringLiteral("Middle"), 20);
    addCanvas(QStringLiteral("Old"), 90);
    addCanvas(QStringLiteral("New"), 1);
    // Equal modification times: the later created first, then by identifier.
    const CanvasPtr twinA = addCanvas(QStringLiteral("TwinA"), 50);
    const CanvasPtr twinB = addCanvas(QStringLiteral("TwinB"), 50);
    twinA->setCreatedAt(twinB->createdAt());
    twinA->setId(QUuid(QStringLiteral("{00000000-0000-0000-0000-000000000002}")));
    twinB->setId(QUuid(QStringLiteral("{00000000-0000-0000-0000-000000000001}")));
    EXPECT_EQ(names(libraryOrder(context)), (QStringList{QStringLiteral("New"), QStringLiteral("Middle"),
                                                          QStringLiteral("TwinB"), QStringLiteral("TwinA"),
                                                          QStringLiteral("Old")}));

    makeWindow();
    EXPECT_EQ(rows(), names(libraryOrder(context)));
    middle->touch();
    QCoreApplication::processEvents(); // the list follows at the end of the turn
    EXPECT_EQ(rows().first(), QStringLiteral("Middle"));
}

TEST_F(CanvasListViewTest, ClicksSelectRowsAndTheWindowFollows)
{
    const CanvasPtr a = addCanvas(QStringLiteral("A"), 1);
    const CanvasPtr b = addCanvas(QStringLiteral("B"), 2);
    const CanvasPtr c = addCanvas(QStringLiteral("C"), 3);
    showWithSidebar();
    ASSERT_EQ(window->selectedCanvas(), a);

    click(b);
    EXPECT_EQ(window->selectedCanvas(), b);
    EXPECT_EQ(library().selectedCanvasIDs(), QSet<QUuid>{b->id()});

    click(c, Qt::ControlModifier);
    EXPECT_EQ(library().selectedCanvasIDs(), (QSet<QUuid>{b->id(), c->id()}));
    EXPECT_TRUE(window->selectedCanvas() == b || window->selectedCanvas() == c);

    // The window switching to one of the selected rows keeps both selected.
    window->setSelectedCanvas(b);
    EXPECT_EQ(library().selectedCanvasIDs(), (QSet<QUuid>{b->id(), c->id()}));
    // Another canvas replaces the list's selection.
    window->setSelectedCanvas(a);
    EXPECT_EQ(library().selectedCanvasIDs(), QSet<QUuid>{a->id()});
    EXPECT_EQ(library().listView()->selectionModel()->selectedRows().size(), 1);

    // An empty selection leaves the window's canvas as it was.
    click(a, Qt::ControlModifier);
    EXPECT_TRUE(library().selectedCanvasIDs().isEmpty());
    EXPECT_EQ(window->selectedCanvas(), a);
}

TEST_F(CanvasListViewTest, AddAndColourMoveTheCanvasToTheTop)
{
    addCanvas(QStringLiteral("Canvas 1"), 30);
    addCanvas(QStringLiteral("Canvas 2"), 20);
    const CanvasPtr old = addCanvas(QStringLiteral("Canvas 4"), 10);
    makeWindow().show();
    library().newCanvasButton()->click();
    const CanvasPtr added = window->selectedCanvas();
    EXPECT_EQ(added->name(), QStringLiteral("Canvas 4"));
    EXPECT_EQ(library().selectedCanvasIDs(), QSet<QUuid>{added->id()});
    EXPECT_EQ(rows().first(), QStringLiteral("Canvas 4"));

    // Colour from the dot's menu: the entries, in order, then the default.
    QMenu* menu = library().makeColorMenu(old, window.get());
    QStringList entries;
    for (QAction* action : menu->actions())
        entries << (action->isSeparator() ? QStringLiteral("-") : action->text());
    EXPECT_EQ(entries, (QStringList{QStringLiteral("Cyan"), QStringLiteral("Pink"), QStringLiteral("Green"),
                                    QStringLiteral("Orange"), QStringLiteral("Purple"), QStringLiteral("Red"),
                                    QStringLiteral("Teal"), QStringLiteral("Yellow"), QStringLiteral("-"),
                                    QStringLiteral("White (Default)")}));
    Clock::setSource([] { return now().addSecs(5); });
    menu->actions().at(4)->trigger();
    EXPECT_EQ(old->titleColorHex(), QStringLiteral("#B388FF"));
    EXPECT_EQ(library().canvases().first(), old);
    EXPECT_EQ(window->selectedCanvas(), added); // colouring leaves the selection

    Clock::setSource([] { return now().addSecs(9); });
    library().canvases().last()->setModifiedAt(now().addSecs(7));
    library().refresh();
    menu->actions().last()->trigger();
    EXPECT_FALSE(old->titleColorHex().has_value());
    EXPECT_EQ(library().canvases().first(), old);
    delete menu;
}

TEST_F(CanvasListViewTest, RenameAppliesOnlyANonEmptyNameFromTheField)
{
    const CanvasPtr a = addCanvas(QStringLiteral("A"), 1);
    const CanvasPtr b = addCanvas(QStringLiteral("B"), 2);
    showWithSidebar();
    const QDateTime before = b->modifiedAt();
    WarningRecorder::warnings().clear();
    const WarningRecorder recorder;
    // Return ends the rename through the list, once the key is done.
    const auto submit = [this] {
        QTest::keyClick(renameField(), Qt::Key_Return);
        QCoreApplication::processEvents();
    };

    library().startRenaming(b);
    ASSERT_TRUE(renameField());
    EXPECT_EQ(renameField()->placeholderText(), QStringLiteral("Canvas name"));
    EXPECT_EQ(renameField()->text(), QStringLiteral("B"));
    renameField()->clear();
    submit();
    EXPECT_FALSE(library().isRenaming());
    EXPECT_EQ(b->name(), QStringLiteral("B"));
    EXPECT_EQ(b->modifiedAt(), before);
    EXPECT_EQ(rows().last(), QStringLiteral("B"));

    // Tab leaves the field where it is; the canvas shown stays.
    library().startRenaming(b);
    QTest::keyClicks(renameField(), QStringLiteral(" typed"));
    window->setSelectedCanvas(a);
    QTest::keyClick(renameField(), Qt::Key_Tab);
    EXPECT_EQ(window->selectedCanvas()->name(), QStringLiteral("A"));
    EXPECT_EQ(*library().isRenaming(), b->id());
    // Moving the field to another row drops what was typed.
    library().startRenaming(a);
    EXPECT_EQ(b->name(), QStringLiteral("B"));
    EXPECT_EQ(*library().isRenaming(), a->id());

    library().startRenaming(b);
    renameField()->selectAll();
    QTest::keyClicks(renameField(), QStringLiteral("  Budget "));
    Clock::setSource([] { return now().addSecs(30); });
    submit();
    EXPECT_EQ(b->name(), QStringLiteral("  Budget ")); // stored as typed
    EXPECT_EQ(b->modifiedAt(), now().addSecs(30));
    EXPECT_EQ(rows().first(), QStringLiteral("  Budget "));
    EXPECT_FALSE(library().isRenaming());

    // A name longer than a line edit's default is kept whole, and typed onto.
    a->setName(QString(100000, QLatin1Char('N')));
    library().startRenaming(a);
    renameField()->end(false);
    QTest::keyClicks(renameField(), QStringLiteral("x"));
    submit();
    EXPECT_EQ(a->name().size(), 100001);
    EXPECT_TRUE(a->name().endsWith(QStringLiteral("Nx")));
    // The list closed each field it had opened, and knew each one.
    EXPECT_EQ(WarningRecorder::warnings().filter(QStringLiteral("QAbstractItemView")), QStringList());
}

TEST_F(CanvasListViewTest, DuplicateCopiesRowsAndLinksButNotTheTitleColour)
{
    const CanvasPtr source = addCanvas(QStringLiteral("Budget"), 60);
    source->setTitleColorHex(QStringLiteral("#FF5252"));
    const BlockPtr first = addRow(source, QStringLiteral("100"), QStringLiteral("#FFB800"));
    first->setLabel(QStringLiteral("Rent"));
    first->setResult(100);
    first->setPartLabels({{QStringLiteral("n0"), QStringLiteral("base")}});
    first->setPartColors({{QStringLiteral("n0"), QStringLiteral("#00FF88")}});
    const BlockPtr second = addRow(source, QStringLiteral("{rent:FFB800} x 2"));
    second->setHasError(true);
    second->setErrorMessage(QStringLiteral("Invalid expression"));
    Link::create(first, second, QStringLiteral("rent"), QStringLiteral("#FFB800"))->setCanvas(source);
    // A link to a row of another canvas is left out of the copy.
    const CanvasPtr other = addCanvas(QStringLiteral("Other"), 90);
    const BlockPtr outside = addRow(other, QStringLiteral("5"));
    Link::create(outside, second, QStringLiteral("far"), QStringLiteral("#00D4FF"))->setCanvas(source);
    const QDateTime sourceModified = source->modifiedAt();
    makeWindow().show();

    const CanvasPtr copy = library().duplicateCanvas(source);
    EXPECT_EQ(copy->name(), QStringLiteral("Budget Copy"));
    EXPECT_NE(copy->id(), source->id());
    EXPECT_FALSE(copy->titleColorHex().has_value());
    EXPECT_EQ(copy->createdAt(), copy->modifiedAt());
    EXPECT_EQ(window->selectedCanvas(), copy);
    EXPECT_EQ(library().selectedCanvasIDs(), QSet<QUuid>{copy->id()});
    EXPECT_EQ(library().canvases().first(), copy);
    EXPECT_EQ(source->modifiedAt(), sourceModified);
    EXPECT_TRUE(copy->context());

    ASSERT_EQ(copy->blocks().size(), 2);
    const BlockPtr c1 = copy->blocks().at(0);
    const BlockPtr c2 = copy->blocks().at(1);
    EXPECT_NE(c1->id(), first->id());
    EXPECT_EQ(c1->label(), QStringLiteral("Rent"));
    EXPECT_EQ(c1->colorHex(), QStringLiteral("#FFB800"));
    EXPECT_EQ(c1->result(), 100.0);
    EXPECT_EQ(c1->partLabels(), first->partLabels());
    EXPECT_EQ(c1->partColors(), first->partColors());
    EXPECT_EQ(c2->expression(), second->expression());
    EXPECT_TRUE(c2->hasError());
    EXPECT_EQ(c2->errorMessage(), QStringLiteral("Invalid expression"));
    ASSERT_EQ(copy->links().size(), 1);
    const LinkPtr link = copy->links().first();
    EXPECT_EQ(link->sourceBlock(), c1);
    EXPECT_EQ(link->destinationBlock(), c2);
    EXPECT_EQ(link->placeholderName(), QStringLiteral("rent"));
    EXPECT_EQ(c1->outgoingLinks(), LinkList{link});
    EXPECT_EQ(c2->incomingLinks(), LinkList{link});
    EXPECT_EQ(source->links().size(), 2);
    EXPECT_EQ(first->outgoingLinks().size(), 1);

    EXPECT_EQ(library().duplicateCanvas(copy)->name(), QStringLiteral("Budget Copy Copy"));
}

// The alert shows a canvas name exactly as typed, whatever markup it holds.
TEST_F(CanvasListViewTest, DeleteAlertShowsNamesAsTyped)
{
    const QString names[] = {
        QStringLiteral("Budget"), QStringLiteral("<b>Bold</b> & <i>x</i>"), QStringLiteral("<!-- hidden"),
        QStringLiteral("a < b > c &amp;"), QStringLiteral("<img src=x>"),
    };
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        const QList<CanvasPtr> canvases{Canvas::create(name, 0, 0, 1)};
        const QString rich = CanvasListView::deleteAlertRichMessage(canvases);
        EXPECT_TRUE(Qt::mightBeRichText(rich));
        EXPECT_EQ(QTextDocumentFragment::fromHtml(rich).toPlainText(), CanvasListView::deleteAlertMessage(canvases));
    }
    // An imported name of a megabyte asks with its start only.
    const QString message =
        CanvasListView::deleteAlertMessage({Canvas::create(QString(1000000, QLatin1Char('N')), 0, 0, 1)});
    EXPECT_TRUE(message.startsWith(QStringLiteral("Are you sure you want to delete \"NNN")));
    EXPECT_TRUE(message.endsWith(QStringLiteral("N…\"?")));
    EXPECT_LT(message.size(), 300);
}

TEST_F(CanvasListViewTest, DeleteAsksWithTheRightTextsAndSelectsTheNewestThatRemains)
{
    EXPECT_EQ(CanvasListView::deleteAlertTitle(1), QStringLiteral("Delete Canvas?"));
    EXPECT_EQ(CanvasListView::deleteAlertTitle(3), QStringLiteral("Delete Canvases?"));

    const CanvasPtr a = addCanvas(QStringLiteral("A"), 1);
    const CanvasPtr budget = addCanvas(QStringLiteral("Budget"), 2);
    const CanvasPtr c = addCanvas(QStringLiteral("C"), 3);
    const CanvasPtr d = addCanvas(QStringLiteral("D"), 4);
    const CanvasPtr e = addCanvas(QStringLiteral("E"), 5);
    addRow(c, QStringLiteral("1"));
    showWithSidebar();

    // Cancel changes nothing.
    confirmDeletes = false;
    library().confirmDelete(budget);
    EXPECT_EQ(alerts, QStringList{QStringLiteral("Delete Canvas?|Are you sure you want to delete \"Budget\"?")});
    EXPECT_FALSE(budget->isDeleted());
    EXPECT_TRUE(library().canvasesToDelete().isEmpty());
    EXPECT_EQ(window->selectedCanvas(), a);

    // A row that is not selected is deleted alone; the newest remaining is selected.
    confirmDeletes = true;
    library().setSelectedCanvasIDs({a->id(), e->id()});
    library().confirmDelete(budget);
    EXPECT_TRUE(budget->isDeleted());
    EXPECT_FALSE(a->isDeleted());
    EXPECT_FALSE(e->isDeleted());
    EXPECT_EQ(window->selectedCanvas(), a);
    EXPECT_EQ(library().selectedCanvasIDs(), QSet<QUuid>{a->id()});

    // The delete command with several rows selected asks once for all.
    alerts.clear();
    library().setSelectedCanvasIDs({c->id(), d->id(), a->id()});
    QTest::keyClick(library().listView(), Qt::Key_Delete);
    EXPECT_EQ(alerts, QStringList{QStringLiteral("Delete Canvases?|Are you sure you want to delete 3 canvases?")});
    EXPECT_TRUE(a->isDeleted() && c->isDeleted() && d->isDeleted());
    EXPECT_EQ(context.blockCount(), 0);
    EXPECT_EQ(window->selectedCanvas(), e);
    EXPECT_EQ(rows(), QStringList{QStringLiteral("E")});

    // Nothing selected: no question.
    alerts.clear();
    library().setSelectedCanvasIDs({});
    library().confirmDeleteSelected();
    EXPECT_TRUE(alerts.isEmpty());

    library().confirmDeleteCanvases({0});
    EXPECT_TRUE(e->isDeleted());
    EXPECT_FALSE(window->selectedCanvas());
    EXPECT_TRUE(library().selectedCanvasIDs().isEmpty());
    EXPECT_TRUE(rows().isEmpty());
}

TEST_F(CanvasListViewTest, TheContextMenuOffersTheRowOperations)
{
    const CanvasPtr a = addCanvas(QStringLiteral("A"), 1);
    makeWindow();
    std::unique_ptr<QMenu> menu(library().makeContextMenu(a, window.get()));
    QStringList entries;
    for (QAction* action : menu->actions())
        entries << (action->isSeparator() ? QStringLiteral("-") : action->text());
    EXPECT_EQ(entries, (QStringList{QStringLiteral("Color"), QStringLiteral("Rename"), QStringLiteral("Duplicate"),
                                    QStringLiteral("-"), QStringLiteral("Export..."), QStringLiteral("-"),
                                    QStringLiteral("Delete")}));
    EXPECT_EQ(menu->actions().at(2)->shortcut(), QKeySequence(QStringLiteral("Ctrl+D")));

    // "Export..." hands over that canvas alone, whatever is selected.
    QList<CanvasPtr> exported;
    library().setExporter([&](const QList<CanvasPtr>& canvases) { exported = canvases; });
    const CanvasPtr b = addCanvas(QStringLiteral("B"), 2);
    library().refresh();
    library().setSelectedCanvasIDs({a->id(), b->id()});
    menu.reset(library().makeContextMenu(b, window.get()));
    menu->actions().at(4)->trigger();
    EXPECT_EQ(exported, QList<CanvasPtr>{b});
}

// A right-click opens a row's menu; it does not select that row, and the menu
// of a row that is not selected acts on that row alone.
TEST_F(CanvasListViewTest, RightClickOnAnUnselectedRowKeepsTheSelection)
{
    const CanvasPtr a = addCanvas(QStringLiteral("A"), 1);
    const CanvasPtr b = addCanvas(QStringLiteral("B"), 2);
    const CanvasPtr c = addCanvas(QStringLiteral("C"), 3);
    showWithSidebar();
    click(a);
    click(b, Qt::ControlModifier);
    const QSet<QUuid> selected{a->id(), b->id()};
    ASSERT_EQ(library().selectedCanvasIDs(), selected);
    const CanvasPtr shown = window->selectedCanvas();

    for (const CanvasPtr& target : {c, a}) {
        SCOPED_TRACE(target->name().toStdString());
        QWidget* viewport = library().listView()->viewport();
        QTest::mousePress(viewport, Qt::RightButton, {}, rowRect(target).center());
        QTest::mouseRelease(viewport, Qt::RightButton, {}, rowRect(target).center());
        EXPECT_EQ(library().selectedCanvasIDs(), selected);
        EXPECT_EQ(window->selectedCanvas(), shown);
    }

    // Its colour entry colours that row alone and keeps the selection.
    std::unique_ptr<QMenu> menu(library().makeContextMenu(c, window.get()));
    QMenu* colors = menu->actions().at(0)->menu();
    ASSERT_TRUE(colors);
    colors->actions().at(1)->trigger();
    EXPECT_EQ(c->titleColorHex(), QStringLiteral("#FF6B9D"));
    EXPECT_FALSE(a->titleColorHex().has_value());
    EXPECT_FALSE(b->titleColorHex().has_value());
    EXPECT_EQ(library().selectedCanvasIDs(), selected);
    EXPECT_EQ(window->selectedCanvas(), shown);
}
