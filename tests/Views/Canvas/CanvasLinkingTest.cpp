#include "Views/Canvas/CanvasViewTestSupport.h"
#include "support/TestSupport.h"

#include "Engine/CalculatorEngine.h"
#include "Models/Identifiers.h"
#include "Models/ModelContext.h"

#include <gtest/gtest.h>

namespace {

// A clock that only moves when told to, so touches can be seen.
class SteppingClock {
public:
    SteppingClock()
    {
        Clock::setSource([this] { return m_now; });
    }
    ~SteppingClock() { Clock::setSource({}); }
    void step() { m_now = m_now.addSecs(60); }

private:
    QDateTime m_now = QDateTime(QDate(2024, 3, 1), QTime(9, 0), Qt::UTC);
};

struct LinkingCanvas {
    LinkingCanvas()
    {
        context.insert(canvas);
    }
    BlockPtr row(const QString& expression, const QString& color = QStringLiteral("#00D4FF"))
    {
        const BlockPtr block = addRow(canvas, QString(), expression, 20 + 56.0 * canvas->blocks().size(), color);
        CalculatorEngine::shared().evaluateBlock(block);
        return block;
    }
    QStringList names(const BlockPtr& block) const
    {
        QStringList list;
        for (const LinkPtr& link : block->incomingLinks())
            list << link->placeholderName();
        return list;
    }
    EditorPreferences preferences;
    SteppingClock clock;
    CanvasPtr canvas = makeCanvas();
    ModelContext context;
    CanvasView view{canvas, &context, nullptr};
};

} // namespace

TEST(CanvasLinking, SelfDuplicateAndCyclicLinksAreRefused)
{
    LinkingCanvas t;
    const BlockPtr p = t.row(QStringLiteral("1"));
    const BlockPtr q = t.row(QString());
    const BlockPtr r = t.row(QString());

    t.view.createLink(p, p);
    EXPECT_TRUE(t.canvas->links().isEmpty());

    t.view.createLink(p, q);
    ASSERT_EQ(t.canvas->links().size(), 1);
    const QString once = q->expression();
    t.view.createLink(p, q); // the same two rows again
    EXPECT_EQ(t.canvas->links().size(), 1);
    EXPECT_EQ(q->expression(), once);

    t.view.createLink(q, p); // back along the link
    EXPECT_EQ(t.canvas->links().size(), 1);
    EXPECT_EQ(p->expression(), QStringLiteral("1"));

    t.view.createLink(q, r);
    t.view.createLink(r, p); // around P -> Q -> R
    EXPECT_EQ(t.canvas->links().size(), 2);
    t.view.createLink(p, r); // a second path is no cycle
    EXPECT_EQ(t.canvas->links().size(), 3);
    EXPECT_EQ(r->result(), 2.0);

    EXPECT_TRUE(CanvasView::wouldCreateCycle(p, p));
    EXPECT_TRUE(CanvasView::wouldCreateCycle(r, p));
    EXPECT_FALSE(CanvasView::wouldCreateCycle(p, r));
}

TEST(CanvasLinking, ANewLinkIsNamedTokenedEvaluatedAndTouchesTheCanvas)
{
    LinkingCanvas t;
    const BlockPtr source = t.row(QStringLiteral("5"));
    const BlockPtr empty = t.row(QString(), QStringLiteral("#FF6B9D"));
    const BlockPtr twelve = t.row(QStringLiteral("12"));
    const BlockPtr space = t.row(QStringLiteral(" "));
    const QDateTime before = t.canvas->modifiedAt();
    t.clock.step();

    t.view.createLink(source, empty);
    EXPECT_EQ(empty->expression(), QStringLiteral("{A:#00D4FF}"));
    EXPECT_EQ(empty->result(), 5.0);
    EXPECT_GT(t.canvas->modifiedAt(), before);
    const LinkPtr link = t.canvas->links().value(0);
    ASSERT_TRUE(link);
    EXPECT_EQ(link->colorHex(), QStringLiteral("#00D4FF"));
    EXPECT_TRUE(source->outgoingLinks().contains(link));
    EXPECT_TRUE(empty->incomingLinks().contains(link));
    EXPECT_EQ(link->context(), &t.context);

    t.view.createLink(source, twelve);
    EXPECT_EQ(twelve->expression(), QStringLiteral("12 + {A:#00D4FF}"));
    EXPECT_EQ(twelve->result(), 17.0);
    t.view.createLink(source, space);
    EXPECT_EQ(space->expression(), QStringLiteral("  + {A:#00D4FF}"));
    // An operator or a bracket waiting for its operand takes the value.
    const std::pair<QString, QString> awaiting[] = {
        {QStringLiteral("12 + 8 + "), QStringLiteral("12 + 8 + {A:#00D4FF}")},
        {QStringLiteral("3 x"), QStringLiteral("3 x {A:#00D4FF}")},
        {QStringLiteral("100 \u2013"), QStringLiteral("100 \u2013 {A:#00D4FF}")},
        {QStringLiteral("2 * ("), QStringLiteral("2 * ( {A:#00D4FF}")},
        {QStringLiteral("Box"), QStringLiteral("Box + {A:#00D4FF}")},
    };
    for (const auto& [typed, linked] : awaiting) {
        const BlockPtr row = t.row(typed);
        t.view.createLink(source, row);
        EXPECT_EQ(row->expression(), linked);
    }

    // The link keeps the colour of the moment of linking.
    source->setColorHex(QStringLiteral("#FFFF00"));
    EXPECT_EQ(link->colorHex(), QStringLiteral("#00D4FF"));

    // A change of the source reaches the destinations.
    source->setExpression(QStringLiteral("6"));
    CalculatorEngine::shared().evaluateBlock(source);
    EXPECT_EQ(twelve->result(), 18.0);
}

TEST(CanvasLinking, NamesRunFromAToZThenX1)
{
    EXPECT_EQ(CanvasView::generatePlaceholderName({}), QStringLiteral("A"));
    EXPECT_EQ(CanvasView::generatePlaceholderName({QStringLiteral("A"), QStringLiteral("B")}), QStringLiteral("C"));
    EXPECT_EQ(CanvasView::generatePlaceholderName({QStringLiteral("a")}), QStringLiteral("A"));
    EXPECT_EQ(CanvasView::generatePlaceholderName({QStringLiteral("X1")}), QStringLiteral("A"));
    QStringList letters;
    for (char c = 'A'; c <= 'Z'; ++c)
        letters << QString(QChar::fromLatin1(c));
    EXPECT_EQ(CanvasView::generatePlaceholderName(letters), QStringLiteral("X1"));
    EXPECT_EQ(CanvasView::generatePlaceholderName(letters + QStringList{QStringLiteral("X1")}), QStringLiteral("X2"));
    letters.removeAll(QStringLiteral("Q"));
    EXPECT_EQ(CanvasView::generatePlaceholderName(letters + QStringList{QStringLiteral("X1")}), QStringLiteral("Q"));

    // Through createLink: the names already ending at the destination count.
    LinkingCanvas t;
    const BlockPtr destination = t.row(QString());
    for (int i = 0; i < 28; ++i)
        t.view.createLink(t.row(QString::number(i)), destination);
    EXPECT_EQ(t.names(destination).mid(24), (QStringList{QStringLiteral("Y"), QStringLiteral("Z"),
                                                          QStringLiteral("X1"), QStringLiteral("X2")}));
    EXPECT_EQ(destination->result(), 27 * 28 / 2.0);
}

// A token of the new name already there is reused; a token of a longer name
// is another link's, so the new link still gets its own token.
TEST(CanvasLinking, ExistingTokensAreMatchedAsWholeTokens)
{
    LinkingCanvas t;
    const BlockPtr source = t.row(QStringLiteral("4"));
    const BlockPtr leftover = t.row(QStringLiteral("{A} * 2"));
    CalculatorEngine::shared().evaluateBlock(leftover);
    EXPECT_TRUE(leftover->hasError());
    t.view.createLink(source, leftover);
    EXPECT_EQ(leftover->expression(), QStringLiteral("{A} * 2"));
    EXPECT_EQ(leftover->result(), 8.0);

    const BlockPtr alphaSource = t.row(QStringLiteral("1"), QStringLiteral("#FF6B9D"));
    const BlockPtr alpha = t.row(QString());
    linkRows(t.canvas, alphaSource, alpha, QStringLiteral("Alpha"));
    alpha->setExpression(QStringLiteral("{Alpha:#FF6B9D}"));
    t.view.createLink(source, alpha);
    EXPECT_EQ(t.names(alpha), (QStringList{QStringLiteral("Alpha"), QStringLiteral("A")}));
    EXPECT_EQ(alpha->expression(), QStringLiteral("{Alpha:#FF6B9D} + {A:#00D4FF}"));
    EXPECT_EQ(alpha->result(), 5.0);
}

TEST(CanvasLinking, DeletingALinkRemovesItsTokensEverywhereAndReEvaluates)
{
    LinkingCanvas t;
    const BlockPtr a = t.row(QStringLiteral("3"));
    const BlockPtr b = t.row(QStringLiteral("4"), QStringLiteral("#FF6B9D"));
    const BlockPtr row = t.row(QString());
    t.view.createLink(a, row);
    t.view.createLink(b, row);
    row->setExpression(QStringLiteral("{A:#00D4FF} + {B:#FF6B9D} + {A}"));
    CalculatorEngine::shared().evaluateBlock(row);
    EXPECT_EQ(row->result(), 10.0);
    const LinkPtr first = t.canvas->links().at(0);
    const int links = t.context.linkCount();
    const int counter = t.view.evaluationCounter();
    const QDateTime before = t.canvas->modifiedAt();
    t.clock.step();

    t.view.deleteLink(first, row);
    EXPECT_EQ(row->expression(), QStringLiteral(" + {B:#FF6B9D} + "));
    EXPECT_FALSE(t.canvas->links().contains(first));
    EXPECT_FALSE(a->outgoingLinks().contains(first));
    EXPECT_FALSE(row->incomingLinks().contains(first));
    EXPECT_TRUE(first->isDeleted());
    EXPECT_EQ(t.context.linkCount(), links - 1);
    EXPECT_EQ(t.view.evaluationCounter(), counter + 1);
    EXPECT_GT(t.canvas->modifiedAt(), before);
    EXPECT_NE(row->result(), std::optional<double>(10.0)); // evaluated again

    // A row whose expression holds no token still loses the link.
    const LinkPtr second = t.canvas->links().at(0);
    row->setExpression(QStringLiteral("5"));
    t.view.deleteLink(second, row);
    EXPECT_TRUE(t.canvas->links().isEmpty());
    EXPECT_EQ(row->result(), 5.0);
}

TEST(CanvasLinking, DeletionMatchesTheNameLiterallyAndWhole)
{
    LinkingCanvas t;
    const BlockPtr source = t.row(QStringLiteral("2"));
    const BlockPtr other = t.row(QStringLiteral("9"));
    const BlockPtr row = t.row(QString());
    const LinkPtr netto = linkRows(t.canvas, source, row, QStringLiteral("Netto (EUR)"));
    linkRows(t.canvas, other, row, QStringLiteral("Netto (EUR)2"));
    row->setExpression(QStringLiteral("{Netto (EUR):#FFB800} x 2 + {Netto (EUR)2:#FFB800}"));
    t.view.deleteLink(netto, row);
    EXPECT_EQ(row->expression(), QStringLiteral(" x 2 + {Netto (EUR)2:#FFB800}"));

    const LinkPtr a = linkRows(t.canvas, source, row, QStringLiteral("A"));
    row->setExpression(QStringLiteral("{A}"));
    t.view.deleteLink(a, row);
    EXPECT_EQ(row->expression(), QString());
    const LinkPtr again = linkRows(t.canvas, source, row, QStringLiteral("A"));
    row->setExpression(QStringLiteral("5 + {A:#00D4FF}"));
    t.view.deleteLink(again, row);
    EXPECT_EQ(row->expression(), QStringLiteral("5 + "));
}

TEST(CanvasLinking, ALinkedRowGoesBelowTheLowestRow)
{
    LinkingCanvas t;
    const BlockPtr first = t.row(QStringLiteral("2,5 €"), QStringLiteral("#FF6B9D"));
    const BlockPtr lowest = t.row(QStringLiteral("1"));
    const BlockPtr middle = t.row(QStringLiteral("1"));
    lowest->setPositionY(500); // the position counts, not the number of rows
    t.view.setSelectedBlockID(middle->id());
    middle->setIsSelected(true);
    middle->setIsEditing(true);

    t.view.createLinkedRow(first);
    const BlockPtr added = t.canvas->blocks().last();
    EXPECT_EQ(QRectF(added->positionX(), added->positionY(), added->width(), added->height()),
              QRectF(20, 556, 200, 56));
    EXPECT_EQ(added->expression(), QStringLiteral("{A:#FF6B9D}"));
    EXPECT_EQ(added->colorHex(), QStringLiteral("#FF6B9D"));
    EXPECT_EQ(added->result(), 2.5);
    EXPECT_EQ(t.view.resultText(added), QStringLiteral("2,5 €"));
    EXPECT_TRUE(added->isSelected());
    EXPECT_TRUE(added->isEditing());
    EXPECT_EQ(t.view.selectedBlockID(), added->id());
    EXPECT_FALSE(middle->isSelected());
    EXPECT_FALSE(middle->isEditing());
}

TEST(CanvasLinking, ALinkedBlockBelowFindsAFreeSpot)
{
    LinkingCanvas t;
    const BlockPtr source = t.row(QStringLiteral("7"));
    source->setIsSelected(true);
    t.view.createLinkedBlockBelow(source);
    const BlockPtr added = t.canvas->blocks().last();
    EXPECT_EQ(QRectF(added->positionX(), added->positionY(), added->width(), added->height()),
              QRectF(70, 96, 150, 50));
    EXPECT_EQ(added->expression(), QStringLiteral("{A}"));
    EXPECT_EQ(added->result(), 7.0);
    EXPECT_TRUE(added->isSelected());
    EXPECT_FALSE(source->isSelected());
    EXPECT_EQ(t.view.selectedBlockID(), added->id());
    ASSERT_EQ(added->incomingLinks().size(), 1);
    EXPECT_EQ(added->incomingLinks()[0]->placeholderName(), QStringLiteral("A"));

    // Everywhere taken: 250 below the start.
    LinkingCanvas crowded;
    const BlockPtr from = crowded.row(QStringLiteral("1"));
    const BlockPtr wall = crowded.row(QString());
    wall->setPositionX(-1000);
    wall->setPositionY(-1000);
    wall->setWidth(3000);
    wall->setHeight(3000);
    crowded.view.createLinkedBlockBelow(from);
    const BlockPtr placed = crowded.canvas->blocks().last();
    EXPECT_EQ(QPointF(placed->positionX(), placed->positionY()), QPointF(70, 346));
}

// The release point picks the row from the rows as laid out; the index is
// cut toward zero.
TEST(CanvasLinking, TheDropRowComesFromTheRealGeometry)
{
    LinkingCanvas t;
    const BlockPtr first = t.row(QStringLiteral("1"));
    const BlockPtr second = t.row(QStringLiteral("2"));
    const double top = t.view.rowsTop();
    const double pitch = t.view.rowPitch();

    t.view.setTemporaryLink(TemporaryLink{second, {}, {}});
    t.view.endLinkDrag(QPointF(0, top - pitch + 1)); // just above the first row
    EXPECT_FALSE(t.view.temporaryLink().has_value());
    EXPECT_EQ(first->expression(), QStringLiteral("1 + {A:#00D4FF}"));

    t.view.setTemporaryLink(TemporaryLink{second, {}, {}});
    t.view.endLinkDrag(QPointF(0, top + pitch + 2)); // on the source itself
    EXPECT_EQ(t.canvas->blocks().size(), 2);
    EXPECT_EQ(t.canvas->links().size(), 1);

    t.view.setTemporaryLink(TemporaryLink{first, {}, {}});
    t.view.endLinkDrag(QPointF(0, top - pitch)); // far enough above: a new row
    EXPECT_EQ(t.canvas->blocks().size(), 3);
    EXPECT_EQ(t.canvas->links().size(), 2);

    // No drag in progress: nothing happens.
    t.view.endLinkDrag(QPointF(0, top + 1));
    EXPECT_EQ(t.canvas->links().size(), 2);
}
