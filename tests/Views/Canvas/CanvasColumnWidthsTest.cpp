// The label and result columns are kept as rows change one at a time; after
// every kind of change they must be what measuring every row gives.

#include "Views/Canvas/CanvasViewTestSupport.h"
#include "support/TestSupport.h"

#include "Models/ModelContext.h"

#include <QLineEdit>
#include <functional>
#include <gtest/gtest.h>

namespace {

struct Step {
    const char* name;
    std::function<void(CanvasView&, const CanvasPtr&)> run;
    bool needsStore = false; // changes made behind the editor's back reach it through the store
};

void typeInto(QWidget* field, const QString& text)
{
    QTest::keyClicks(field, text);
}

void expectMeasuredWidths(const CanvasView& view, const CanvasPtr& canvas)
{
    if (canvas->blocks().isEmpty())
        return;
    EXPECT_DOUBLE_EQ(view.labelRect(0).width(), CanvasView::labelColumnWidth(canvas->blocks()));
    EXPECT_DOUBLE_EQ(view.resultRect(0).width(), CanvasView::tableResultColumnWidth(canvas->blocks()));
}

const QList<Step>& steps()
{
    static const QList<Step> list{
        {"typing a long value", [](CanvasView& view, const CanvasPtr& canvas) {
             view.setFocusedBlockID(canvas->blocks().at(1)->id());
             typeInto(view.expressionEditor(), QStringLiteral("123456789"));
         }},
        {"taking it back", [](CanvasView& view, const CanvasPtr&) {
             for (int i = 0; i < 9; ++i)
                 QTest::keyClick(view.expressionEditor(), Qt::Key_Backspace);
         }},
        {"a source feeding a linked row grows", [](CanvasView& view, const CanvasPtr& canvas) {
             view.setFocusedBlockID(canvas->blocks().at(0)->id());
             typeInto(view.expressionEditor(), QStringLiteral("0000000"));
         }},
        {"a long label typed in its field", [](CanvasView& view, const CanvasPtr& canvas) {
             view.setFocusedLabelBlockID(canvas->blocks().at(2)->id());
             typeInto(view.labelEditor(), QStringLiteral(" mit sehr langer Beschriftung"));
         }},
        {"the label cleared", [](CanvasView& view, const CanvasPtr&) {
             qobject_cast<QLineEdit*>(view.labelEditor())->selectAll();
             QTest::keyClick(view.labelEditor(), Qt::Key_Backspace);
         }},
        {"a row made to fail", [](CanvasView& view, const CanvasPtr& canvas) {
             view.setFocusedBlockID(canvas->blocks().at(0)->id());
             typeInto(view.expressionEditor(), QStringLiteral("/0"));
         }},
        {"letters typed on the canvas", [](CanvasView& view, const CanvasPtr& canvas) {
             view.setFocusedBlockID(std::nullopt);
             view.setSelectedBlockID(canvas->blocks().at(3)->id());
             QTest::keyClicks(&view, QStringLiteral("Zusammenfassung"));
         }},
        {"digits typed on the canvas", [](CanvasView& view, const CanvasPtr&) {
             QTest::keyClicks(&view, QStringLiteral("99999999"));
         }},
        {"the widest row deleted", [](CanvasView& view, const CanvasPtr& canvas) {
             view.setSelectedBlockID(canvas->blocks().at(3)->id());
             view.deleteSelectedBlock();
         }},
        {"a row added", [](CanvasView& view, const CanvasPtr&) { view.addNewRow(); }},
        {"a value changed from outside", [](CanvasView& view, const CanvasPtr& canvas) {
             canvas->blocks().at(1)->setLabel(QStringLiteral("Von anderswo geändert"));
             canvas->blocks().at(1)->setResult(1234567.891);
             QApplication::processEvents();
         }, true},
    };
    return list;
}

} // namespace

TEST(CanvasColumnWidths, FollowEveryKindOfChangeOneRowAtATime)
{
    for (const bool stored : {false, true}) {
        SCOPED_TRACE(stored ? "in a store context" : "detached");
        EditorPreferences preferences;
        const CanvasPtr canvas = makeCanvas();
        const BlockPtr first = addRow(canvas, QStringLiteral("Basis"), QStringLiteral("12"), 20);
        const BlockPtr linked = addRow(canvas, QString(), QStringLiteral("{A:#00D4FF} x 2"), 76);
        linkRows(canvas, first, linked, QStringLiteral("A"));
        addRow(canvas, QStringLiteral("Kurz"), QStringLiteral("3"), 132);
        addRow(canvas, QString(), QStringLiteral("4"), 188);
        ModelContext context;
        if (stored)
            context.insert(canvas);
        CanvasView view(canvas, stored ? &context : nullptr, nullptr);
        view.resize(900, 600);
        view.show();
        QApplication::processEvents();
        expectMeasuredWidths(view, canvas);
        for (const Step& step : steps()) {
            if (step.needsStore && !stored)
                continue;
            SCOPED_TRACE(step.name);
            step.run(view, canvas);
            QApplication::processEvents();
            expectMeasuredWidths(view, canvas);
        }
    }
}

// A long label must not squeeze the expressions out of a narrow window: the
// label column gives way (down to its minimum) before the expression does.
TEST(CanvasColumnWidths, NarrowWindowKeepsExpressionsInView)
{
    struct Case {
        const char* name;
        const char* label;
        int windowWidth;
        double expectedLabel; // below zero: whatever leaves the expression its minimum
    };
    const QString longLabel = QStringLiteral("Netto inklusive Mehrwertsteuer für das ganze Jahr");
    const Case cases[] = {
        {"a wide window keeps the long label whole", "long", 1200, CanvasView::maxLabelColumnWidth},
        {"a short label is never cut", "Kurz", 640, CanvasView::minLabelColumnWidth},
        {"the smallest window cuts the long label", "long", 640, -1},
        {"a tiny editor stops at the label minimum", "long", 400, CanvasView::minLabelColumnWidth},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EditorPreferences preferences;
        const CanvasPtr canvas = makeCanvas();
        const QString label = QString::fromUtf8(c.label) == QStringLiteral("long") ? longLabel : QString::fromUtf8(c.label);
        addRow(canvas, label, QStringLiteral("1.000,50 + 19%"), 20);
        ShownEditor shown(canvas, nullptr, QSize(c.windowWidth, 400));
        const CanvasView& view = shown.view;
        const QRectF labelColumn = view.labelRect(0);
        const QRectF expression = view.expressionRect(0);
        if (c.expectedLabel >= 0) {
            EXPECT_DOUBLE_EQ(labelColumn.width(), c.expectedLabel);
        } else {
            EXPECT_DOUBLE_EQ(expression.width(), CanvasView::minExpressionColumnWidth);
        }
        if (labelColumn.width() > CanvasView::minLabelColumnWidth) {
            EXPECT_GE(expression.width(), CanvasView::minExpressionColumnWidth);
        }
        EXPECT_LE(labelColumn.right(), expression.left());
        if (expression.width() > 0) {
            EXPECT_LE(expression.right(), view.resultRect(0).left());
        }
    }
}
