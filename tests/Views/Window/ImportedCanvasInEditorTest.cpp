#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Store/CanvasExport.h"
#include "Models/Link.h"
#include "Models/ModelContext.h"
#include "Platform/Defaults.h"
#include "Views/Library/CanvasListView.h"
#include "Views/Canvas/CanvasView.h"
#include "Views/Window/ContentView.h"
#include "Views/Library/ExchangeDialogs.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QListView>
#include <QTemporaryDir>
#include <QTest>
#include <QUndoStack>
#include <gtest/gtest.h>

namespace {

class NoDialogs : public ExchangeDialogs {
public:
    std::optional<QString> chooseExportFile(QWidget*, const QString&) override { return exportPath; }
    QStringList chooseImportFiles(QWidget*) override { return importPaths; }
    void showAlert(QWidget*, const ExchangeFailure& failure) override { alerts << failure.message; }
    std::optional<QString> exportPath;
    QStringList importPaths;
    QStringList alerts;
};

QByteArray row(int n, const QByteArray& members)
{
    return QByteArray("{\"id\":\"00000000-0000-0000-0000-00000000000") + QByteArray::number(n) + "\"," + members + "}";
}

QByteArray link(int from, int to, const char* name)
{
    return QByteArray("{\"sourceBlockID\":\"00000000-0000-0000-0000-00000000000") + QByteArray::number(from)
        + "\",\"destinationBlockID\":\"00000000-0000-0000-0000-00000000000" + QByteArray::number(to)
        + "\",\"placeholderName\":\"" + name + "\",\"colorHex\":\"zz\"}";
}

} // namespace

// Files may carry anything the reader accepts: self-links, cycles, extreme
// geometry, megabyte texts, colours that are not colours. The real editor
// and library show and edit such a canvas without crashing or hanging.
TEST(ImportedCanvasInEditorTest, AcceptedButExtremeContentOpensAndEdits)
{
    const QByteArray huge(1024 * 1024, 'W');
    struct Geometry {
        const char* x;
        const char* y;
        const char* width;
        const char* height;
    };
    const QList<Geometry> geometries = {
        {"1e308", "-1e308", "-5", "1e300"},
        {"-1e308", "1e308", "1e308", "-1e308"},
        {"2147483648", "-2147483649", "0", "0"},
        {"0.1", "9e15", "4e9", "-4e9"},
    };
    QByteArray rows;
    for (int i = 0; i < geometries.size(); ++i) {
        const Geometry& g = geometries[i];
        rows += (i ? "," : "")
            + row(i + 1, QByteArray("\"positionX\":") + g.x + ",\"positionY\":" + g.y + ",\"width\":" + g.width
                             + ",\"height\":" + g.height + ",\"colorHex\":\"not a colour\","
                             + "\"partColors\":{\"n0\":\"#xyz\"},\"partLabels\":{\"n0\":\"" + (i == 0 ? huge : "x")
                             + "\"},\"expression\":\"{A:zz} + {B:zz} + 1\",\"label\":\""
                             + (i == 1 ? huge : QByteArray("row")) + "\"");
    }
    const QByteArray links = link(1, 1, "A") + "," + link(2, 3, "A") + "," + link(3, 2, "B") + "," + link(4, 1, "B")
        + "," + link(1, 4, "A");
    const QByteArray document = "{\"canvases\":[{\"name\":\"" + huge + "\",\"titleColorHex\":\"###\","
        + "\"viewportScale\":-1e308,\"blocks\":[" + rows + "],\"links\":[" + links + "]}]}";

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("extreme.quillsheet"));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(document);
    }
    Defaults defaults(dir.filePath(QStringLiteral("prefs.conf")));
    ModelContext context;
    ContentView window(
        &context, [&](const CanvasPtr& c, QUndoStack* stack) { return new CanvasView(c, &context, stack); }, defaults);
    auto dialogs = std::make_shared<NoDialogs>();
    dialogs->importPaths = {path};
    window.library()->setExchangeDialogs(dialogs);
    window.resize(900, 600);
    window.show();
    window.setSidebarVisible(true);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    window.library()->importCanvases();
    ASSERT_TRUE(waitUntil([&] { return window.selectedCanvas() && window.selectedCanvas()->name() == QString::fromLatin1(huge); }, 5000));
    EXPECT_TRUE(dialogs->alerts.isEmpty());
    const CanvasPtr canvas = window.selectedCanvas();
    ASSERT_EQ(canvas->blocks().size(), 4);
    EXPECT_EQ(canvas->links().size(), 5);
    EXPECT_EQ(canvas->blocks()[0]->positionX(), 1e308); // accepted unchanged
    EXPECT_EQ(canvas->viewportScale(), -1e308);

    auto* editor = qobject_cast<CanvasView*>(window.editor());
    ASSERT_TRUE(editor);
    QCoreApplication::processEvents();
    EXPECT_FALSE(window.grab().isNull());
    EXPECT_FALSE(window.library()->listView()->grab().isNull());

    // Editing over the extreme rows: lines, new rows, moves, reorders, deletes.
    EXPECT_GE(editor->totalLines(), 1);
    editor->addNewLine();
    editor->addBlockToCurrentLine();
    editor->addNewRow();
    editor->normalizeRowPositions();
    editor->moveRowsUp();
    editor->moveRowsDown();
    const BlockList current = canvas->blocks();
    editor->reorderBlockToIndex(current[0], 2);
    editor->updateDropTarget(1e9, current[1]);
    const BlockPtr last = canvas->blocks().last(); // a copy: the list grows under the call
    editor->createLinkedBlockBelow(last);
    QCoreApplication::processEvents();
    EXPECT_FALSE(window.grab().isNull());
    editor->deleteSelectedBlocks();
    QCoreApplication::processEvents();
    EXPECT_FALSE(window.grab().isNull());

    // And it goes out again as it came in.
    dialogs->exportPath = dir.filePath(QStringLiteral("again.quillsheet"));
    window.library()->exportCanvases({canvas});
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(*dialogs->exportPath); }, 5000));
    EXPECT_TRUE(dialogs->alerts.isEmpty());
}
