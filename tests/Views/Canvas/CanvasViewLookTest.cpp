#include "Views/Canvas/CanvasViewTestSupport.h"

#include "Models/HexColor.h"
#include "Platform/Defaults.h"
#include "Views/Window/Appearance.h"

#include <QDir>
#include <QImage>
#include <QPalette>
#include <QStyle>
#include <gtest/gtest.h>

namespace {

CanvasPtr sampleCanvas()
{
    CanvasPtr canvas = makeCanvas(QStringLiteral("Haushalt März"));
    const BlockPtr rent = addRow(canvas, QStringLiteral("Miete"), QStringLiteral("850 + 120"), 20, QStringLiteral("#00D4FF"));
    rent->setPartLabel(QStringLiteral("kalt"), 0, QStringLiteral("850"));
    rent->setPartLabel(QStringLiteral("NK"), 1, QStringLiteral("120"));
    rent->setPartColor(QStringLiteral("#FFB800"), 1, QStringLiteral("120"));
    const BlockPtr food = addRow(canvas, QStringLiteral("Lebensmittel"), QStringLiteral("4 x 95,50"), 76,
                                 QStringLiteral("#FF6B9D"));
    const BlockPtr income = addRow(canvas, QStringLiteral("Gehalt"), QStringLiteral("3200"), 132, QStringLiteral("#00FF88"));
    const BlockPtr rest = addRow(canvas, QStringLiteral("Rest"), QStringLiteral("{A:#00FF88} - {B:#00D4FF} - {C:#FF6B9D}"),
                                 188, QStringLiteral("#B388FF"));
    linkRows(canvas, income, rest, QStringLiteral("A"));
    linkRows(canvas, rent, rest, QStringLiteral("B"));
    linkRows(canvas, food, rest, QStringLiteral("C"));
    addRow(canvas, QStringLiteral("Sparrate"), QStringLiteral("\"monatlich\" 15%"), 244, QStringLiteral("#FFB800"));
    addRow(canvas, QString(), QStringLiteral("1/3"), 300, QStringLiteral("#64FFDA"));
    canvas->setTitleColorHex(std::nullopt);
    return canvas;
}

QImage render(bool light)
{
    EditorPreferences preferences;
    Defaults::standard().setValue(QStringLiteral("canvasLightMode"), light);
    const CanvasPtr canvas = sampleCanvas();
    ShownEditor editor(canvas, nullptr, QSize(900, 520));
    editor.view.setSelectedBlockID(canvas->blocks().at(1)->id());
    QApplication::processEvents();
    const QImage image = editor.view.grab().toImage();
    const QByteArray dir = qgetenv("QUILLSHEET_SCREENSHOT_DIR");
    if (!dir.isEmpty())
        image.save(QDir(QString::fromLocal8Bit(dir)).filePath(light ? "canvas-light.png" : "canvas-dark.png"));
    // And with a field open for typing.
    editor.view.setFocusedBlockID(canvas->blocks().at(3)->id());
    QApplication::processEvents();
    if (!dir.isEmpty())
        editor.view.grab().save(QDir(QString::fromLocal8Bit(dir)).filePath(light ? "canvas-light-editing.png" : "canvas-dark-editing.png"));
    return image;
}

bool containsColor(const QImage& image, const QColor& color, int tolerance = 12)
{
    for (int y = 0; y < image.height(); y += 1) {
        for (int x = 0; x < image.width(); x += 1) {
            const QColor pixel = image.pixelColor(x, y);
            if (std::abs(pixel.red() - color.red()) <= tolerance && std::abs(pixel.green() - color.green()) <= tolerance
                && std::abs(pixel.blue() - color.blue()) <= tolerance)
                return true;
        }
    }
    return false;
}

} // namespace

// The canvas draws on its own background with the row colours visible.
TEST(CanvasViewLook, DarkAndLightBackgroundsWithRowColours)
{
    const QImage dark = render(false);
    EXPECT_EQ(dark.pixelColor(5, dark.height() - 5), QColor(Qt::black));
    EXPECT_TRUE(containsColor(dark, QColor(0xFF, 0x6B, 0x9D)));  // a pink row
    EXPECT_TRUE(containsColor(dark, QColor(0xFF, 0xB8, 0x00)));  // a number's own colour

    const QImage light = render(true);
    EXPECT_EQ(light.pixelColor(5, light.height() - 5), QColor(Qt::white));
    // Row colours are drawn darker on white, as on a printed page.
    EXPECT_TRUE(containsColor(light, CanvasView::lightCanvasColor(QColor(0xB3, 0x88, 0xFF)))); // purple row
    EXPECT_FALSE(containsColor(light, QColor(0xB3, 0x88, 0xFF), 4));
}

namespace {

// Colours that occur inside a rectangle of an image.
bool rectContains(const QImage& image, const QRectF& rect, const QColor& color, int tolerance = 16)
{
    return containsColor(image.copy(rect.toRect()), color, tolerance);
}

} // namespace

// Parts take their own colours: a percent sign its number's, a linked value
// its source row's, a missing value the gray question mark.
TEST(CanvasViewLook, PartsAreDrawnInTheirOwnColours)
{
    EditorPreferences preferences;
    const CanvasPtr canvas = makeCanvas();
    const BlockPtr percent = addRow(canvas, QString(), QStringLiteral("50%"), 20, QStringLiteral("#00D4FF"));
    percent->setPartColor(QStringLiteral("#FF5252"), 0, QStringLiteral("50"));
    const BlockPtr source = addRow(canvas, QString(), QStringLiteral("7"), 76, QStringLiteral("#00FF88"));
    const BlockPtr linked = addRow(canvas, QString(), QStringLiteral("{A:#00D4FF}"), 132, QStringLiteral("#FFB800"));
    linkRows(canvas, source, linked, QStringLiteral("A"));
    addRow(canvas, QString(), QStringLiteral("{Gone}"), 188, QStringLiteral("#FFB800"));
    ShownEditor editor(canvas);
    const QImage image = editor.view.tableWidget()->grab().toImage();

    const QColor red(0xFF, 0x52, 0x52), cyan(0x00, 0xD4, 0xFF), green(0x00, 0xFF, 0x88), orange(0xFF, 0xB8, 0x00);
    EXPECT_TRUE(rectContains(image, editor.view.expressionRect(0), red));
    EXPECT_FALSE(rectContains(image, editor.view.expressionRect(0), cyan));
    EXPECT_TRUE(rectContains(image, editor.view.expressionRect(2), green));
    EXPECT_FALSE(rectContains(image, editor.view.expressionRect(2), orange));
    EXPECT_TRUE(rectContains(image, editor.view.expressionRect(3), QColor(142, 142, 147), 30));
    EXPECT_FALSE(rectContains(image, editor.view.expressionRect(3), orange));
}

// On the white canvas every row colour reads: at least 3:1 against white for
// the row's value, numbers and label, whichever of the eight colours it has.
TEST(CanvasViewLook, RowTextOnTheLightCanvasHasContrast)
{
    EditorPreferences preferences;
    Defaults::standard().setValue(QStringLiteral("canvasLightMode"), true);
    const CanvasPtr canvas = makeCanvas();
    for (int i = 0; i < CanvasView::blockColors().size(); ++i)
        addRow(canvas, QStringLiteral("Zeile"), QStringLiteral("88 + 88"), 20 + 56 * i, CanvasView::blockColors().at(i));
    ShownEditor editor(canvas, nullptr, QSize(900, 600));
    const QImage image = editor.view.tableWidget()->grab().toImage();
    const QByteArray dir = qgetenv("QUILLSHEET_SCREENSHOT_DIR");
    if (!dir.isEmpty())
        editor.view.grab().save(QDir(QString::fromLocal8Bit(dir)).filePath(QStringLiteral("canvas-light-colours.png")));
    auto darkest = [&](const QRectF& rect) {
        QColor best = Qt::white;
        const QImage part = image.copy(rect.toRect());
        for (int y = 0; y < part.height(); ++y)
            for (int x = 0; x < part.width(); ++x)
                if (contrastRatio(part.pixelColor(x, y), Qt::white) > contrastRatio(best, Qt::white))
                    best = part.pixelColor(x, y);
        return best;
    };
    for (int i = 0; i < CanvasView::blockColors().size(); ++i) {
        SCOPED_TRACE(CanvasView::blockColors().at(i).toStdString());
        const QColor stored = *colorFromHex(CanvasView::blockColors().at(i));
        const QColor drawn = CanvasView::lightCanvasColor(stored);
        EXPECT_GE(contrastRatio(drawn, Qt::white), 3.0);
        EXPECT_NEAR(drawn.hsvHueF(), stored.hsvHueF(), 0.02) << "the same hue, darker";
        EXPECT_GE(contrastRatio(darkest(editor.view.resultCell(canvas->blocks().at(i), i).textBox), Qt::white), 3.0);
        EXPECT_GE(contrastRatio(darkest(editor.view.expressionRect(i)), Qt::white), 3.0);
        EXPECT_GE(contrastRatio(darkest(editor.view.labelRect(i)), Qt::white), 3.0) << "the fainter label too";
        EXPECT_EQ(canvas->blocks().at(i)->colorHex(), CanvasView::blockColors().at(i)) << "stored colours stay";
    }
    // The dark canvas draws the colours as they are.
    Defaults::standard().setValue(QStringLiteral("canvasLightMode"), false);
    EXPECT_EQ(editor.view.shownColor(QColor(0xFF, 0xFF, 0x00)), QColor(0xFF, 0xFF, 0x00));
}

// The toolbar's brush stands on the window's toolbar, whatever the canvas:
// it keeps the window's text colour in light and dark canvas alike.
TEST(CanvasViewLook, RowColourIconIsVisibleInBothModes)
{
    EditorPreferences preferences;
    const QColor toolbar = QApplication::palette().color(QPalette::Window);
    for (const bool light : {false, true}) {
        SCOPED_TRACE(light);
        Defaults::standard().setValue(QStringLiteral("canvasLightMode"), light);
        const CanvasPtr canvas = makeCanvas();
        const BlockPtr row = addRow(canvas, QString(), QStringLiteral("1"), 20);
        ShownEditor editor(canvas);
        editor.view.setSelectedBlockID(row->id());
        const QImage icon = editor.view.rowColorAction()->icon().pixmap(32, 32).toImage();
        double best = 1;
        for (int y = 0; y < icon.height(); ++y)
            for (int x = 0; x < icon.width(); ++x)
                if (icon.pixelColor(x, y).alpha() == 255)
                    best = std::max(best, contrastRatio(icon.pixelColor(x, y), toolbar));
        EXPECT_GE(best, 4.5);
    }
}

namespace {

// The program's own style and palette for the length of a test.
class ProgramAppearance {
public:
    ProgramAppearance()
        : m_style(QApplication::style()->name())
        , m_palette(QApplication::palette())
    {
        applyDarkAppearance(*qApp);
    }
    ~ProgramAppearance()
    {
        QApplication::setStyle(m_style);
        QApplication::setPalette(m_palette);
    }

private:
    QString m_style;
    QPalette m_palette;
};

// For each divider of a menu and its submenus, the largest difference in one
// channel between the divider's strip and the menu's ground above the line.
QList<int> dividerContrasts(QMenu* menu)
{
    QList<int> contrasts;
    menu->ensurePolished();
    menu->resize(menu->sizeHint());
    const QImage image = menu->grab().toImage();
    for (QAction* action : menu->actions()) {
        if (action->menu())
            contrasts += dividerContrasts(action->menu());
        if (!action->isSeparator())
            continue;
        const QRect strip = menu->actionGeometry(action);
        const QColor ground = image.pixelColor(strip.center().x(), strip.top());
        int most = 0;
        for (int y = strip.top(); y <= strip.bottom(); ++y) {
            const QColor pixel = image.pixelColor(strip.center().x(), y);
            most = std::max({most, std::abs(pixel.red() - ground.red()), std::abs(pixel.green() - ground.green()),
                             std::abs(pixel.blue() - ground.blue())});
        }
        contrasts.append(most);
    }
    return contrasts;
}

} // namespace

// A number's menu and a row's menu divide their groups with lines that can
// be seen, whichever canvas mode is on.
TEST(CanvasViewLook, MenuDividersShowOnBothCanvases)
{
    ProgramAppearance appearance;
    for (const bool light : {false, true}) {
        SCOPED_TRACE(light ? "light" : "dark");
        EditorPreferences preferences;
        Defaults::standard().setValue(QStringLiteral("canvasLightMode"), light);
        const CanvasPtr canvas = makeCanvas();
        const BlockPtr row = addRow(canvas, QString(), QStringLiteral("850 + 120"), 20);
        row->setPartLabel(QStringLiteral("kalt"), 0, QStringLiteral("850"));
        row->setPartColor(QStringLiteral("#FFB800"), 0, QStringLiteral("850"));
        addRow(canvas, QString(), QStringLiteral("1"), 76);
        ShownEditor editor(canvas);
        const std::unique_ptr<QMenu> number(editor.view.createNumberPartMenu(row, QStringLiteral("850"), 0, &editor.view));
        const std::unique_ptr<QMenu> rowMenu(editor.view.createRowContextMenu(row, 0, 2, &editor.view));
        for (QMenu* menu : {number.get(), rowMenu.get()}) {
            const QList<int> contrasts = dividerContrasts(menu);
            ASSERT_FALSE(contrasts.isEmpty());
            for (const int contrast : contrasts)
                EXPECT_GE(contrast, 16);
        }
    }
}
