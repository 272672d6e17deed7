#include "Views/Canvas/CanvasView.h"

#include "Views/Share/CanvasImageDocument.h"
#include "Views/Canvas/CanvasKey.h"
#include "Views/Canvas/CanvasViewWidgets.h"
#include "Views/Window/PlainAlert.h"
#include "Views/Canvas/TextFieldBridges.h"
#include "Views/Window/ViewTeardown.h"

#include "Engine/CalculatorEngine.h"
#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/HexColor.h"
#include "Models/ModelContext.h"
#include "Platform/Defaults.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QUndoStack>

// Key and clipboard traces are info level: off unless QT_LOGGING_RULES turns them on.
Q_LOGGING_CATEGORY(canvasLogger, "com.quillsheet.CanvasView", QtWarningMsg)

namespace {

QIcon paintbrushIcon(const QColor& color)
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(color, 3, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(24, 6), QPointF(13, 19));
    QPainterPath tip;
    tip.moveTo(13, 17);
    tip.cubicTo(6, 18, 9, 25, 4, 27);
    tip.cubicTo(12, 29, 17, 24, 15, 20);
    tip.closeSubpath();
    QColor fill = color;
    fill.setAlphaF(0.6);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawPath(tip);
    return QIcon(pixmap);
}

} // namespace

CanvasView::CanvasView(const CanvasPtr& canvas, ModelContext* modelContext, QUndoStack* undoStack, QWidget* parent)
    : QWidget(parent)
    , m_canvas(canvas)
    , m_modelContext(modelContext)
    , m_undoStack(undoStack)
    , m_outsideSignals(new QObject(this))
{
    Q_ASSERT(m_canvas);
    buildWidgets();
    connectContext();
    connect(&Defaults::standard(), &Defaults::changed, m_outsideSignals, [this](const QString& key) {
        if (key == QLatin1String("canvasLightMode")) {
            applyAppearance();
            refresh();
        }
    });
    // Rows are read again in a changed number style and with changed tax or
    // exchange rates; a burst of changes (a tax label typed) evaluates once.
    auto* settingsChange = new QTimer(this);
    settingsChange->setSingleShot(true);
    settingsChange->setInterval(0);
    connect(settingsChange, &QTimer::timeout, this, [this] {
        CalculatorEngine::shared().evaluateCanvas(m_canvas);
        raiseEvaluationCounter();
    });
    const CalcSettings& settings = CalcSettings::shared();
    for (auto signal : {&CalcSettings::decimalStyleChanged, &CalcSettings::taxRatesChanged,
                        &CalcSettings::exchangeRatesChanged})
        connect(&settings, signal, settingsChange, qOverload<>(&QTimer::start));
    // Edit › Undo and Redo reach the history without the editor: a sum step
    // left with nothing to do goes right after.
    if (m_undoStack)
        connect(m_undoStack, &QUndoStack::indexChanged, m_outsideSignals, [this] { pruneSumKeywordSteps(); },
                Qt::QueuedConnection);
    applyAppearance();
    refresh();
}

CanvasView::~CanvasView()
{
    // QWidget's destructor, still to come, closes the window and deletes the
    // fields; the focus-out that follows must find nothing that calls here.
    for (RowTextField* field : {m_labelField, m_expressionField, m_numberLabelField}) {
        if (field) {
            field->onKey = nullptr;
            field->onFocusOut = nullptr;
        }
    }
    if (m_pickerWatcher)
        m_expressionField->removeEventFilter(m_pickerWatcher);
    delete m_outsideSignals;
    disconnectChildren(this);
}

void CanvasView::buildWidgets()
{
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_MacShowFocusRect, false);
    // Dead keys and compose sequences reach the canvas as committed text.
    setAttribute(Qt::WA_InputMethodEnabled, true);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_scrollArea = new QScrollArea(this);
    m_scrollArea->setFrameShape(QFrame::NoFrame);
    m_scrollArea->setWidgetResizable(true);
    m_scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scrollArea->setFocusPolicy(Qt::NoFocus);
    m_scrollArea->verticalScrollBar()->setSingleStep(int(tableRowHeight / 2));
    m_table = new CanvasTableSurface(this, nullptr);
    m_scrollArea->setWidget(m_table);
    layout->addWidget(m_scrollArea, 1);

    // The keypad takes this place while showKeypad is set.
    m_keypadSlot = new QWidget(this);
    m_keypadSlot->setVisible(false);
    layout->addWidget(m_keypadSlot);
    buildKeypad();

    m_header = new QWidget(m_table);
    auto* headerLayout = new QHBoxLayout(m_header);
    headerLayout->setContentsMargins(20, 0, 20, 24);
    headerLayout->setSpacing(8);
    m_titleField = new InlineTitleField(m_header);
    m_titleField->setFixedHeight(40);
    headerLayout->addWidget(m_titleField, 1);
    m_header->setFixedHeight(40 + 24);
    m_header->setGeometry(0, int(tableTopPadding), 400, 64);
    m_header->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_header, &QWidget::customContextMenuRequested, this, [this](const QPoint& point) {
        QMenu* menu = createTitleColorMenu(this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(m_header->mapToGlobal(point));
    });
    connect(m_titleField, &InlineTitleField::textEdited, this, [this](const QString& text) {
        m_canvas->setName(text);
        m_canvas->touch();
    });
    connect(m_titleField, &InlineTitleField::editingChanged, this,
            [this](bool editing) { m_isEditingCanvasTitle = editing; });

    m_labelField = new RowTextField(m_table);
    m_labelField->hide();
    m_labelField->onKey = [this](QKeyEvent* event) { return labelFieldKey(event); };
    m_labelField->onFocusOut = [this](Qt::FocusReason reason) { fieldFocusLost(m_labelField, reason); };
    connect(m_labelField, &QLineEdit::textEdited, this, &CanvasView::onLabelEdited);
    QFont labelFont = font();
    labelFont.setPixelSize(20);
    m_labelField->setFont(labelFont);

    m_expressionField = new RowTextField(m_table);
    m_expressionField->hide();
    m_expressionField->onKey = [this](QKeyEvent* event) { return expressionFieldKey(event); };
    m_expressionField->onFocusOut = [this](Qt::FocusReason reason) { fieldFocusLost(m_expressionField, reason); };
    connect(m_expressionField, &QLineEdit::textEdited, this, &CanvasView::onExpressionEdited);
    QFont expressionFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    expressionFont.setPixelSize(20);
    expressionFont.setWeight(QFont::Medium);
    m_expressionField->setFont(expressionFont);

    m_rowColorAction = new QAction(QStringLiteral("Row color"), this);
    m_rowColorAction->setToolTip(QStringLiteral("Row color"));
    auto* colorMenu = new QMenu(this);
    for (const QString& hex : blockColors()) {
        QAction* item = colorMenu->addAction(circleIcon(hex), colorName(hex));
        connect(item, &QAction::triggered, this, [this, hex] { setSelectedBlockColor(hex); });
    }
    m_rowColorAction->setMenu(colorMenu);
    m_rowColorAction->setVisible(false);
    m_rowColorAction->setProperty("toolbarItem", true); // the window shows it in its toolbar
    addAction(m_rowColorAction);
}

void CanvasView::connectContext()
{
    if (!m_modelContext)
        return;
    // Changes made elsewhere (the engine's propagation, the library, a store
    // reload) redraw the table once per event-loop turn. Only a change of
    // the rows' order or number measures every row again; a changed label
    // or result moves the column widths from that row alone.
    connect(m_modelContext, &ModelContext::blockChanged, m_outsideSignals, [this](CalculationBlock* block, const char* property) {
        if (qstrcmp(property, "positionY") == 0 || qstrcmp(property, "canvas") == 0) {
            invalidateLayout();
        } else if (qstrcmp(property, "label") == 0 || qstrcmp(property, "result") == 0) {
            if (m_rowWidths.count(block)) {
                forgetRowWidths(block);
                noteRowWidths(block);
                applyColumnWidths();
            } else if (!m_layoutDirty && block->canvas().get() == m_canvas.get()) {
                invalidateLayout();
            }
        }
        scheduleRefresh();
    });
    connect(m_modelContext, &ModelContext::linkChanged, m_outsideSignals, [this] { scheduleRefresh(); });
    connect(m_modelContext, &ModelContext::canvasChanged, m_outsideSignals, [this](Canvas* canvas, const char* property) {
        if (canvas != m_canvas.get())
            return;
        if (qstrcmp(property, "blocks") == 0)
            invalidateLayout();
        scheduleRefresh();
    });
}

void CanvasView::scheduleRefresh()
{
    if (m_refreshScheduled)
        return;
    m_refreshScheduled = true;
    QTimer::singleShot(0, this, [this] {
        m_refreshScheduled = false;
        // The layout is rebuilt only if nothing has rebuilt it since.
        applyRefresh();
    });
}

void CanvasView::refresh()
{
    invalidateLayout();
    applyRefresh();
}

void CanvasView::applyRefresh()
{
    updateTableHeight();
    if (m_scrollTarget) {
        scrollRowIntoView(*m_scrollTarget);
        m_scrollTarget.reset();
    }
    m_titleField->setText(titleText());
    m_titleField->setTitleColor(titleColor());
    placeEditors();
    updateRowColorAction();
    updateLinkPicker();
    m_table->update();
}

CanvasView::Palette CanvasView::canvasColors() const
{
    if (m_lightMode)
        return {Qt::white, Qt::black, QColor(60, 60, 67, 153)};
    return {Qt::black, Qt::white, QColor(235, 235, 245, 153)};
}

void CanvasView::applyAppearance()
{
    m_lightMode = canvasLightMode();
    const Palette colors = canvasColors();
    QPalette p = QWidget::palette();
    p.setColor(QPalette::Window, colors.background);
    p.setColor(QPalette::Base, colors.background);
    p.setColor(QPalette::WindowText, colors.text);
    p.setColor(QPalette::Text, colors.text);
    p.setColor(QPalette::PlaceholderText, colors.secondary);
    p.setColor(QPalette::Highlight, QColor(10, 132, 255));
    p.setColor(QPalette::HighlightedText, Qt::white);
    const QColor chrome = m_lightMode ? QColor(236, 236, 236) : QColor(28, 28, 30);
    p.setColor(QPalette::Button, chrome);
    p.setColor(QPalette::ButtonText, colors.text);
    p.setColor(QPalette::Mid, m_lightMode ? QColor(190, 190, 190) : QColor(72, 72, 74));
    p.setColor(QPalette::Dark, m_lightMode ? QColor(160, 160, 160) : QColor(99, 99, 102));
    setPalette(p);
    setAutoFillBackground(true);
    m_scrollArea->viewport()->setAutoFillBackground(true);
    m_table->update();
}

namespace {

// Darker at the same hue until the colour reads on white.
QColor readableOnWhite(QColor color)
{
    float hue = 0, saturation = 0, value = 0;
    color.getHsvF(&hue, &saturation, &value);
    while (contrastRatio(color, Qt::white) < 3.0 && value > 0.01f) {
        value *= 0.97f;
        color = QColor::fromHsvF(hue, saturation, value);
    }
    return QColor::fromRgb(color.rgb());
}

} // namespace

QColor CanvasView::titleColor() const
{
    if (const auto hex = m_canvas->titleColorHex()) {
        if (const auto color = colorFromHex(*hex))
            return shownColor(*color); // darker on a light canvas, like the rows
    }
    QColor color = m_lightMode ? Qt::black : Qt::white;
    color.setAlphaF(0.9);
    return color;
}

QColor CanvasView::lightCanvasColor(const QColor& color)
{
    static QHash<QRgb, QRgb> known; // the same few colours, painted over and over
    const QRgb key = color.rgb();
    if (const auto found = known.constFind(key); found != known.constEnd())
        return QColor::fromRgb(*found);
    // The page darkening leaves yellow, green and teal near 2:1 on white:
    // too faint for text on a screen. Those go darker still, same hue.
    const QColor darker = readableOnWhite(printDarker(QColor::fromRgb(key)));
    known.insert(key, darker.rgb());
    return darker;
}

QColor CanvasView::shownColor(const QColor& color) const
{
    if (!m_lightMode)
        return color;
    QColor shown = lightCanvasColor(color);
    shown.setAlphaF(color.alphaF());
    return shown;
}

QColor CanvasView::fadedColor(const QColor& shown, double alpha) const
{
    if (!m_lightMode) {
        QColor faded = shown;
        faded.setAlphaF(faded.alphaF() * alpha);
        return faded;
    }
    // Seen through on white, a faded colour loses the contrast the darkening
    // gave it: blend it with white here and keep it readable.
    const double a = alpha * shown.alphaF();
    auto blend = [a](int channel) { return int(std::lround(channel * a + 255 * (1 - a))); };
    return readableOnWhite(QColor(blend(shown.red()), blend(shown.green()), blend(shown.blue())));
}

QString CanvasView::titleText() const
{
    return m_canvas->name();
}

void CanvasView::updateRowColorAction()
{
    const bool hasSelection = m_selectedBlockID.has_value() || !m_selectedBlockIDs.isEmpty();
    m_rowColorAction->setVisible(hasSelection);
    // The item stands in the window's toolbar, not on the canvas: drawn in
    // the window's own text colour it shows in light and dark canvases alike.
    const QColor color = QApplication::palette().color(QPalette::Active, QPalette::ButtonText);
    if (color != m_brushIconColor || m_rowColorAction->icon().isNull()) {
        m_brushIconColor = color;
        m_rowColorAction->setIcon(paintbrushIcon(color));
    }
}

QIcon CanvasView::circleIcon(const QString& hex)
{
    QPixmap pixmap(24, 24);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colorFromHex(hex).value_or(QColor(Qt::white)));
    painter.drawEllipse(QRectF(2, 2, 20, 20));
    return QIcon(pixmap);
}

// ---- State ----

void CanvasView::setSelectedBlockID(const std::optional<QUuid>& id)
{
    if (id)
        selectRow(*id);
    else
        m_selectedBlockID.reset();
    updateRowColorAction();
    m_table->update();
}

// A row chosen on its own ends a multi-selection it is not part of: what is
// highlighted must be what copy, cut, delete, colour and move act on.
void CanvasView::selectRow(const QUuid& id)
{
    m_selectedBlockID = id;
    if (!m_selectedBlockIDs.contains(id))
        m_selectedBlockIDs.clear();
}

void CanvasView::setSelectedBlockIDs(const QSet<QUuid>& ids)
{
    m_selectedBlockIDs = ids;
    updateRowColorAction();
    m_table->update();
}

void CanvasView::raiseEvaluationCounter()
{
    ++m_evaluationCounter;
    refresh();
}

void CanvasView::setTemporaryLink(const std::optional<TemporaryLink>& link)
{
    m_temporaryLink = link;
    m_table->update();
}

void CanvasView::setShowKeypad(bool show)
{
    m_showKeypad = show;
    presentKeypad(show);
}

void CanvasView::setShowingExportSheet(bool showing)
{
    if (m_showingExportSheet == showing)
        return;
    m_showingExportSheet = showing;
    if (showing)
        QTimer::singleShot(0, this, &CanvasView::presentExporter);
}

void CanvasView::setShowLinkAutocomplete(bool show)
{
    m_showLinkAutocomplete = show;
    updateLinkPicker();
}

bool CanvasView::isCanvasFocused() const
{
    return hasFocus();
}

bool CanvasView::snapToLanes()
{
    return Defaults::standard().boolValue(QStringLiteral("snapToLanes")).value_or(false);
}

bool CanvasView::snapToRight()
{
    return Defaults::standard().boolValue(QStringLiteral("snapToRight")).value_or(false);
}

bool CanvasView::editorMode()
{
    return Defaults::standard().boolValue(QStringLiteral("editorMode")).value_or(true);
}

bool CanvasView::canvasLightMode()
{
    return Defaults::standard().boolValue(QStringLiteral("canvasLightMode")).value_or(false);
}

QString CanvasView::sumKeyword()
{
    return Defaults::standard().stringValue(QStringLiteral("sumKeyword")).value_or(QStringLiteral("Summe"));
}

void CanvasView::touchCanvas()
{
    m_canvas->touch();
}

// ---- Lifecycle ----

void CanvasView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_appeared) {
        m_appeared = true;
        onAppear();
    }
}

void CanvasView::onAppear()
{
    // Flags left over from an earlier run mean nothing to a new editor.
    for (const BlockPtr& block : m_canvas->blocks()) {
        block->setIsSelected(false);
        block->setIsEditing(false);
        block->setIsLabelEditing(false);
    }
    CalculatorEngine::shared().evaluateCanvas(m_canvas);
    raiseEvaluationCounter();
    setFocus(Qt::OtherFocusReason);
}

void CanvasView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        m_textStyles.reset();
        refresh();
    }
    else if (event->type() == QEvent::ApplicationPaletteChange)
        updateRowColorAction();
}

void CanvasView::undo()
{
    pruneSumKeywordSteps();
    if (m_undoStack)
        m_undoStack->undo();
    refresh();
}

void CanvasView::redo()
{
    pruneSumKeywordSteps();
    if (m_undoStack)
        m_undoStack->redo();
    refresh();
}

void CanvasView::presentExporter()
{
    if (!m_showingExportSheet)
        return;
    const QString path = QFileDialog::getSaveFileName(this, QString(), m_canvas->name() + QStringLiteral(".png"),
                                                      QStringLiteral("PNG (*.png)"));
    if (!path.isEmpty()) {
        QString error;
        if (!CanvasImageDocument(m_exportedImage).write(path, &error))
            showPlainAlert(this, QMessageBox::Warning, QStringLiteral("Export fehlgeschlagen"), error);
    }
    // Whatever the outcome, the image is not kept.
    m_exportedImage.reset();
    m_showingExportSheet = false;
}

// ---- Keys that reach the canvas itself ----

bool CanvasView::event(QEvent* event)
{
    // Undo, Redo, Copy, Cut and Paste pressed on the canvas (not in a field,
    // which keeps its own text undo and clipboard) are the editor's: claiming
    // them here keeps the window's Edit menu shortcuts from firing too, which
    // Qt would treat as ambiguous.
    if (event->type() == QEvent::ShortcutOverride && claimsShortcut(static_cast<QKeyEvent*>(event))) {
        event->accept();
        return true;
    }
    // Tab on the canvas adds rows; it must not move the focus away.
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
            keyPressEvent(key);
            return true;
        }
    }
    return QWidget::event(event);
}

void CanvasView::inputMethodEvent(QInputMethodEvent* event)
{
    if (!event->commitString().isEmpty()) {
        CanvasKey key;
        key.characters = event->commitString();
        handleKeyPress(key);
    }
    event->accept();
}

void CanvasView::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_ScrollLock:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
        // A modifier alone is never typing.
        QWidget::keyPressEvent(event);
        return;
    default:
        break;
    }
    if (handleKeyPress(event))
        event->accept();
    else
        QWidget::keyPressEvent(event);
}
