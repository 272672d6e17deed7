#include "Views/Window/ContentView.h"

#include "Engine/CanvasRecalculation.h"
#include "Models/CalcSettings.h"
#include "Models/Canvas.h"
#include "Models/Identifiers.h"
#include "Models/ModelContext.h"
#include "Store/ObjectStore.h"
#include "Platform/Defaults.h"
#include "Platform/NotificationCenter.h"
#include "Platform/UpdateController.h"
#include "Platform/CloudService.h"
#include "Services/HoverMonitor.h"
#include "Views/Window/Appearance.h"
#include "Views/Share/CanvasExportController.h"
#include "Views/Library/CanvasListView.h"
#include "Views/Feedback/FeedbackSheet.h"
#include "Views/Window/PanelSlide.h"
#include "Views/Window/PlainAlert.h"
#include "Views/Share/ShareButton.h"
#include "Views/Settings/SyncStatusButton.h"
#include "Views/Settings/SettingsButton.h"
#include "Views/Settings/SettingsOverlay.h"
#include "Views/Settings/SettingsView.h"
#include "Views/Window/ViewTeardown.h"

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QTimer>
#include <QToolBar>
#include <QStyle>
#include <QToolButton>
#include <QUndoGroup>
#include <QUndoStack>
#include <QVBoxLayout>

namespace {

void setBlackBackground(QWidget* widget)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, Qt::black);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

const QString lastOpenedKey = QStringLiteral("lastOpenedCanvasID");

QAction* postingAction(QMenu* menu, const QString& title, const QString& notification,
                       const QList<QKeySequence>& shortcuts = {})
{
    QAction* action = menu->addAction(title);
    action->setShortcuts(shortcuts);
    QObject::connect(action, &QAction::triggered, menu,
                     [notification] { NotificationCenter::defaultCenter().post(notification); });
    return action;
}

} // namespace

const QString ContentView::emptyTitle = QStringLiteral("No Canvas Selected");
const QString ContentView::emptyDescription =
    QStringLiteral("Select a canvas from the sidebar or create a new one to get started.");
const QString ContentView::emptyAction = QStringLiteral("Create Canvas");

ContentView::ContentView(ModelContext* modelContext, EditorFactory editorFactory, QWidget* parent)
    : ContentView(modelContext, std::move(editorFactory), Defaults::standard(), parent)
{
}

ContentView::ContentView(ModelContext* modelContext, EditorFactory editorFactory, Defaults& defaults,
                         QWidget* parent)
    : QMainWindow(parent)
    , m_modelContext(modelContext)
    , m_outsideSignals(new QObject(this))
    , m_editorFactory(std::move(editorFactory))
    , m_defaults(defaults)
    , m_undoGroup(new QUndoGroup(this))
    , m_manualPath(defaultManualPath())
{
    setObjectName(QStringLiteral("ContentView"));
    setWindowTitle(QStringLiteral("Quillsheet"));
    // Every canvas, shown or not, follows a change of the settings.
    CanvasRecalculation::shared().watch(m_modelContext);
    // The width follows from the panes: the editor's own minimum, plus the
    // library's while it shows.
    setMinimumHeight(minimumWindowHeight);
    resize(1100, 720);

    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    m_saveWarning = new QWidget(central);
    m_saveWarning->setObjectName(QStringLiteral("saveWarning"));
    m_saveWarning->setAttribute(Qt::WA_StyledBackground);
    m_saveWarning->setStyleSheet(QStringLiteral(
        "#saveWarning { background: #4a3300; border-bottom: 1px solid #7a5600; } QLabel { color: #ffd98a; }"));
    auto* warningRow = new QHBoxLayout(m_saveWarning);
    warningRow->setContentsMargins(12, 6, 12, 6);
    auto* warningIcon = new QLabel(m_saveWarning);
    warningIcon->setPixmap(
        symbolIcon(QStringLiteral("exclamationmark.triangle"), QColor(0xff, 0xd9, 0x8a)).pixmap(16, 16));
    m_saveWarningText = new QLabel(m_saveWarning);
    m_saveWarningText->setObjectName(QStringLiteral("saveWarningText"));
    m_saveWarningText->setWordWrap(true);
    m_saveWarningText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Only a notice can be put away; a warning stays until a save succeeds.
    m_saveWarningClose = new QToolButton(m_saveWarning);
    m_saveWarningClose->setObjectName(QStringLiteral("saveWarningClose"));
    m_saveWarningClose->setText(QStringLiteral("×"));
    m_saveWarningClose->setToolTip(QStringLiteral("Close"));
    m_saveWarningClose->setAutoRaise(true);
    m_saveWarningClose->setStyleSheet(QStringLiteral("QToolButton { color: #ffd98a; border: none; }"));
    connect(m_saveWarningClose, &QToolButton::clicked, this, &ContentView::hideSaveWarning);
    m_saveWarningExport = new QPushButton(QStringLiteral("Export All Canvases…"), m_saveWarning);
    m_saveWarningExport->setObjectName(QStringLiteral("saveWarningExport"));
    connect(m_saveWarningExport, &QPushButton::clicked, this, [this] { exportAllCanvases(); });
    warningRow->addWidget(warningIcon);
    warningRow->addWidget(m_saveWarningText, 1);
    warningRow->addWidget(m_saveWarningExport);
    warningRow->addWidget(m_saveWarningClose);
    m_saveWarning->hide();

    m_splitter = new QSplitter(Qt::Horizontal, central);
    m_splitter->setChildrenCollapsible(false);
    m_splitter->setHandleWidth(1);
    // Palettes, not style sheets, on the editor's ancestors: a style sheet
    // there would override the editor's own black or white canvas palette.
    setBlackBackground(m_splitter);
    m_library = new CanvasListView(modelContext, m_splitter);
    m_detail = new QStackedWidget(m_splitter);
    m_detail->setObjectName(QStringLiteral("detail"));
    // Never squeezed by the library: at the smallest window the expressions
    // still show their start.
    m_detail->setMinimumWidth(minimumEditorWidth);
    setBlackBackground(m_detail);
    m_emptyState = buildEmptyState();
    m_detail->addWidget(m_emptyState);
    m_splitter->addWidget(m_library);
    m_splitter->addWidget(m_detail);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_library->hide(); // the window opens on the editor alone
    m_sidebarSlide = new PanelSlide(m_library, PanelSlide::Extent::width, [this] { return m_sidebarWidth; }, this);
    // The splitter keeps its panes' sizes; it must be told each step.
    auto sizeSidebar = [this](int width) { m_splitter->setSizes({width, std::max(m_splitter->width() - width, 1)}); };
    connect(m_sidebarSlide, &PanelSlide::extentChanged, this, sizeSidebar);
    connect(m_sidebarSlide, &PanelSlide::settled, this, [this, sizeSidebar](bool shown) {
        if (shown)
            sizeSidebar(m_sidebarWidth);
        else
            narrowAfterSidebar();
    });
    connect(m_splitter, &QSplitter::splitterMoved, this, [this] {
        if (m_library->isVisible() && !m_sidebarSlide->isSliding())
            m_sidebarWidth = m_library->width();
    });

    column->addWidget(m_saveWarning);
    column->addWidget(m_splitter, 1);
    setCentralWidget(central);

    connect(m_library, &CanvasListView::selectedCanvasChanged, this, &ContentView::setSelectedCanvas);
    connect(&NotificationCenter::defaultCenter(), &NotificationCenter::posted, m_outsideSignals,
            [this](const QString& name) { observe(name); });
    connect(m_modelContext, &ModelContext::changed, m_outsideSignals, [this] {
        // A canvas deleted elsewhere takes its editor with it, then its history.
        if (m_selectedCanvas && m_selectedCanvas->isDeleted())
            setSelectedCanvas(nullptr);
        dropHistoriesOfDeletedCanvases();
    });

    // Editors contribute their own items (actions marked "toolbarItem").
    m_toolbar = addToolBar(QStringLiteral("Toolbar"));
    m_toolbar->setObjectName(QStringLiteral("toolbar"));
    m_toolbar->setMovable(false);
    m_toolbar->setFloatable(false);
    m_toolbar->toggleViewAction()->setEnabled(false);
    m_toolbar->hide();
    {
        // As high with its items hidden as with them shown: the canvas below
        // stays put when an item comes and goes.
        QToolButton probe;
        probe.setIconSize(m_toolbar->iconSize());
        probe.setToolButtonStyle(m_toolbar->toolButtonStyle());
        QPixmap blank(m_toolbar->iconSize());
        blank.fill(Qt::transparent);
        probe.setIcon(QIcon(blank));
        const int margins = 2
            * (m_toolbar->style()->pixelMetric(QStyle::PM_ToolBarItemMargin, nullptr, m_toolbar)
               + m_toolbar->style()->pixelMetric(QStyle::PM_ToolBarFrameWidth, nullptr, m_toolbar));
        m_toolbarHeight = probe.sizeHint().height() + margins;
        m_toolbar->setMinimumHeight(m_toolbarHeight);
    }
    m_toolbarSlide = new PanelSlide(
        m_toolbar, PanelSlide::Extent::height,
        [this] { return std::max(m_toolbar->sizeHint().height(), m_toolbarHeight); }, this);

    m_urlOpener = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    m_exportController = new CanvasExportController(m_defaults, this);
    m_presentMessage = [this](const QString& title, const QString& text) {
        auto* box = new QMessageBox(QMessageBox::Information, title, text, QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setTextInteractionFlags(Qt::TextSelectableByMouse);
        box->setTextFormat(Qt::PlainText); // paths are shown as they are
        box->open();
    };
    buildMenus();
    buildToolbarItems();

    m_hoverMonitor = new HoverMonitor(m_defaults, this);
    // Above the canvas stand the menu bar and, while shown, the toolbar: the
    // toolbar must stay while the pointer is on its way to its buttons.
    // Only this window's pointer counts: the pointer at the top of the
    // settings or feedback window must not move the canvas under the place
    // the user is about to click in here.
    m_hoverMonitor->setWatchedWindows([this](const QWindow* window) { return window == windowHandle(); });
    m_hoverMonitor->setChromeHeight([this](const QWindow* window) -> double {
        if (window != windowHandle())
            return 0.0;
        // The whole toolbar, also while it is still sliding in.
        return isToolbarVisible() ? m_toolbar->geometry().top() + m_toolbarSlide->fullExtent() : 0.0;
    });
    m_hoverMonitor->setHold([this] { return holdsPointer(); });
    connect(m_hoverMonitor, &HoverMonitor::showToolbarChanged, this, &ContentView::updateToolbarVisibility);
    connect(m_hoverMonitor, &HoverMonitor::showSidebarChanged, this, &ContentView::followSidebar);
    connect(&m_defaults, &Defaults::changed, m_outsideSignals, [this](const QString& key) { preferenceChanged(key); });
    updateToolbarVisibility();
}

ContentView::~ContentView()
{
    removeEditor();
    // QWidget's destructor, still to come, closes the window: the focus
    // moves, fields commit, the library reports; none of it may call here.
    delete m_outsideSignals;
    // Its callbacks read this window; no pointer event may reach them now.
    delete m_hoverMonitor;
    m_hoverMonitor = nullptr;
    disconnectChildren(this);
}

QWidget* ContentView::buildEmptyState()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("emptyState"));
    page->setAttribute(Qt::WA_StyledBackground);
    page->setStyleSheet(QStringLiteral("#emptyState { background: #000000; }"));
    auto* layout = new QVBoxLayout(page);
    layout->addStretch(1);

    auto* icon = new QLabel(page);
    icon->setPixmap(symbolIcon(QStringLiteral("square.grid.2x2"), QColor(0x8e, 0x8e, 0x93), 44).pixmap(44, 44));
    icon->setAlignment(Qt::AlignCenter);
    auto* title = new QLabel(emptyTitle, page);
    title->setObjectName(QStringLiteral("emptyTitle"));
    title->setAlignment(Qt::AlignCenter);
    QFont titleFont = title->font();
    titleFont.setPixelSize(20);
    titleFont.setWeight(QFont::DemiBold);
    title->setFont(titleFont);
    auto* description = new QLabel(emptyDescription, page);
    description->setObjectName(QStringLiteral("emptyDescription"));
    description->setAlignment(Qt::AlignCenter);
    description->setWordWrap(true);
    QFont descriptionFont = description->font();
    descriptionFont.setPixelSize(13);
    description->setFont(descriptionFont);
    description->setStyleSheet(QStringLiteral("color: #8e8e93;"));
    description->setFixedWidth(360);
    description->setMinimumHeight(description->heightForWidth(360));
    auto* button = new QPushButton(emptyAction, page);
    button->setObjectName(QStringLiteral("createCanvasButton"));
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(QStringLiteral(
        "QPushButton { background: #0a84ff; color: white; border: none; border-radius: 6px; padding: 6px 16px; "
        "font-size: 13px; font-weight: 600; } QPushButton:hover { background: #2b95ff; } "
        "QPushButton:pressed { background: #0070e0; }"));
    connect(button, &QPushButton::clicked, this, &ContentView::createNewCanvas);

    layout->addWidget(icon, 0, Qt::AlignHCenter);
    layout->addSpacing(10);
    layout->addWidget(title, 0, Qt::AlignHCenter);
    layout->addSpacing(4);
    layout->addWidget(description, 0, Qt::AlignHCenter);
    layout->addSpacing(14);
    layout->addWidget(button, 0, Qt::AlignHCenter);
    layout->addStretch(1);
    return page;
}

void ContentView::buildMenus()
{
    using namespace CommandNotification;
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    m_windowShortcuts << postingAction(file, QStringLiteral("New Canvas"), newCanvasRequested,
                                       {QKeySequence(Qt::CTRL | Qt::Key_N)});
    m_windowShortcuts << postingAction(file, QStringLiteral("Import Canvases..."), importCanvasesRequested,
                                       {QKeySequence(Qt::CTRL | Qt::Key_O)});
    // Like the commands on the shown canvas, it waits for something to act on.
    m_exportSelectedAction = postingAction(file, QStringLiteral("Export Selected..."), exportCanvasesRequested,
                                           {QKeySequence(Qt::CTRL | Qt::Key_E)});
    m_exportSelectedAction->setEnabled(false);
    connect(m_library, &CanvasListView::selectionChanged, this,
            [this] { m_exportSelectedAction->setEnabled(!m_library->selectedCanvases().isEmpty()); });
    m_windowShortcuts << m_exportSelectedAction;
    file->addSeparator();
    m_windowShortcuts << postingAction(file, QStringLiteral("Print..."), printCanvasRequested,
                                       {QKeySequence(Qt::CTRL | Qt::Key_P)});
    auto canvasOutput = [this](QMenu* menu, const QString& title, ShareAction action) {
        QAction* item = menu->addAction(title);
        item->setEnabled(false);
        // The share menu opens below the toolbar's share button while it shows;
        // a toolbar already sliding away counts as gone.
        connect(item, &QAction::triggered, this, [this, action] {
            scheduleShareAction(m_exportController, m_selectedCanvas, action, 100,
                                isToolbarVisible() ? shareButton() : nullptr);
        });
        m_canvasOutputActions.append(item);
    };
    canvasOutput(file, QStringLiteral("Export PDF..."), ShareAction::exportPDF);
    QMenu* share = file->addMenu(QStringLiteral("Share"));
    share->setObjectName(QStringLiteral("shareMenu"));
    canvasOutput(share, QStringLiteral("Share PDF..."), ShareAction::sharePDF);
    canvasOutput(share, QStringLiteral("Share Canvas..."), ShareAction::shareCanvas);
    qApp->installEventFilter(this);
    file->addSeparator();
    QAction* quit = file->addAction(QStringLiteral("Quit"));
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setMenuRole(QAction::QuitRole);
    connect(quit, &QAction::triggered, this, &QWidget::close);

    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    QAction* undo = m_undoGroup->createUndoAction(this, QStringLiteral("Undo"));
    undo->setShortcuts(QKeySequence::Undo);
    QAction* redo = m_undoGroup->createRedoAction(this, QStringLiteral("Redo"));
    redo->setShortcuts(QKeySequence::Redo);
    edit->addAction(undo);
    edit->addAction(redo);
    edit->addSeparator();
    QAction* settings = edit->addAction(QStringLiteral("Settings…"));
    settings->setObjectName(QStringLiteral("settingsAction"));
    settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    settings->setMenuRole(QAction::PreferencesRole);
    connect(settings, &QAction::triggered, this, &ContentView::showSettingsWindow);

    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    m_sidebarAction = view->addAction(QStringLiteral("Show Sidebar"));
    m_sidebarAction->setCheckable(true);
    m_sidebarAction->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_S));
    connect(m_sidebarAction, &QAction::toggled, this, [this](bool on) { setSidebarVisible(on, true); });
    // Showing the toolbar for good is the same switch as the settings'
    // "Auto-hide Toolbar", turned the other way.
    m_toolbarAction = view->addAction(QStringLiteral("Show Toolbar"));
    m_toolbarAction->setCheckable(true);
    m_toolbarAction->setChecked(!m_defaults.boolValue(QStringLiteral("autoHideToolbar")).value_or(true));
    m_toolbarAction->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_T));
    connect(m_toolbarAction, &QAction::triggered, this,
            [this](bool on) { m_defaults.setValue(QStringLiteral("autoHideToolbar"), !on); });

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    postingAction(help, QStringLiteral("Quillsheet Manual"), openManualRequested);
    postingAction(help, QStringLiteral("Feedback senden …"), showFeedbackSheet,
                  {QKeySequence(Qt::CTRL | Qt::Key_Question), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Question)});
    help->addSeparator();
    QAction* updates = help->addAction(QStringLiteral("Auf Updates prüfen …"));
    connect(updates, &QAction::triggered, this, [this] {
        if (m_updateController)
            m_updateController->checkForUpdates();
    });
}

void ContentView::observe(const QString& notification)
{
    if (notification == CommandNotification::newCanvasRequested)
        createNewCanvas();
    else if (notification == CommandNotification::openManualRequested)
        openManualPDF();
    else if (notification == CommandNotification::printCanvasRequested && m_selectedCanvas)
        m_exportController->printCanvas(m_selectedCanvas);
    else if (notification == CommandNotification::showFeedbackSheet)
        openFeedbackSheet();
}

FeedbackSheet* ContentView::feedbackSheet() const
{
    return m_feedbackSheet;
}

void ContentView::openFeedbackSheet()
{
    if (m_feedbackSheet) {
        m_feedbackSheet->raise();
        m_feedbackSheet->activateWindow();
        return;
    }
    m_feedbackSheet = new FeedbackSheet(m_modelContext, this);
    m_feedbackSheet->setAttribute(Qt::WA_DeleteOnClose);
    m_feedbackSheet->open(); // window-modal, without blocking
}

void ContentView::setSelectedCanvas(const CanvasPtr& canvas)
{
    if (canvas == m_selectedCanvas)
        return;
    // A canvas chosen in the library leaves the keyboard there, to choose on
    // with the arrow keys or to rename, duplicate or delete; any other change
    // hands it to the new editor, which takes it when it appears.
    const QPointer<QWidget> keyboard = m_library->isChoosingInList() ? focusWidget() : nullptr;
    removeEditor();
    m_selectedCanvas = canvas;
    if (canvas) {
        QUndoStack* history = historyOf(canvas);
        m_undoGroup->setActiveStack(history);
        m_editor = m_editorFactory ? m_editorFactory(canvas, history) : nullptr;
        if (m_editor) {
            m_detail->addWidget(m_editor);
            m_detail->setCurrentWidget(m_editor);
            for (QAction* action : m_editor->actions()) {
                if (!action->property("toolbarItem").toBool())
                    continue;
                m_toolbar->insertAction(m_toolbarSpacer, action);
                if (auto* button = qobject_cast<QToolButton*>(m_toolbar->widgetForAction(action)))
                    button->setPopupMode(QToolButton::InstantPopup);
            }
        }
        m_defaults.setValue(lastOpenedKey, uuidString(canvas->id()));
    } else {
        m_undoGroup->setActiveStack(nullptr);
        m_detail->setCurrentWidget(m_emptyState);
    }
    if (keyboard && m_library->isAncestorOf(keyboard))
        keyboard->setFocus(Qt::OtherFocusReason);
    for (QAction* action : m_canvasOutputActions)
        action->setEnabled(canvas != nullptr);
    showShareButton(canvas);
    Q_EMIT selectedCanvasChanged(canvas);
    m_library->setSelectedCanvas(canvas);
}

// What the editor brings stands at the leading end; the window's own items at
// the trailing end, in the order share, sync status, settings.
void ContentView::buildToolbarItems()
{
    auto* spacer = new QWidget(m_toolbar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_toolbarSpacer = m_toolbar->addWidget(spacer);
    m_syncButton = new SyncStatusButton(m_defaults, CloudService::shared(), SyncStatusMonitor::Timing{}, m_toolbar);
    m_syncAction = m_toolbar->addWidget(m_syncButton);
    m_settingsButton = new SettingsButton(m_toolbar);
    connect(m_settingsButton, &QAbstractButton::clicked, this, &ContentView::showSettingsCard);
    m_toolbar->addWidget(m_settingsButton);
}

void ContentView::showShareButton(const CanvasPtr& canvas)
{
    delete m_shareAction; // takes its button along
    m_shareAction = nullptr;
    if (canvas)
        m_shareAction = m_toolbar->insertWidget(m_syncAction, new ShareButton(canvas, m_exportController, m_toolbar));
}

ShareButton* ContentView::shareButton() const
{
    return m_shareAction ? qobject_cast<ShareButton*>(m_toolbar->widgetForAction(m_shareAction)) : nullptr;
}

// The pointer decides, never the editor's items: a row selected or not must
// not make the canvas jump under the pointer.
void ContentView::updateToolbarVisibility()
{
    if (!m_hoverMonitor->showToolbar())
        m_toolbarSlide->hide(pointerHideMilliseconds);
    else // with auto-hide off the toolbar simply stands there
        m_toolbarSlide->show(m_hoverMonitor->autoHideToolbar() ? pointerShowMilliseconds : 0);
}

bool ContentView::isToolbarVisible() const
{
    return m_toolbarSlide->isShown();
}

// The pointer opens and closes the sidebar only while the switch is on, and
// only from the two plain states: the user's own choice otherwise stands.
void ContentView::followSidebar(bool show)
{
    if (!m_hoverMonitor->autoShowSidebar())
        return;
    slideSidebar(show, show ? pointerShowMilliseconds : pointerHideMilliseconds);
}

bool ContentView::holdsPointer() const
{
    if (m_settingsOverlay && m_settingsOverlay->isPresented())
        return true;
    // A submenu's parent is its menu: the first widget that is no popup tells
    // whose popup it is.
    QWidget* owner = QApplication::activePopupWidget();
    while (owner && owner->isWindow() && owner->windowType() == Qt::Popup)
        owner = owner->parentWidget();
    return owner && owner->window() == this;
}

// Once the card or a menu has closed, the pointer's place decides again
// without waiting for it to move.
void ContentView::recheckPointer()
{
    QTimer::singleShot(0, this, [this] {
        if (m_hoverMonitor && windowHandle())
            m_hoverMonitor->recheck(windowHandle());
    });
}

void ContentView::preferenceChanged(const QString& key)
{
    if (key != QLatin1String("autoHideToolbar") && key != QLatin1String("autoShowSidebar"))
        return;
    m_hoverMonitor->refreshSettings();
    const QSignalBlocker blocker(m_toolbarAction);
    m_toolbarAction->setChecked(!m_hoverMonitor->autoHideToolbar());
}

void ContentView::removeEditor()
{
    if (!m_editor)
        return;
    m_detail->removeWidget(m_editor);
    QWidget* editor = m_editor;
    m_editor = nullptr;
    delete editor;
    m_detail->setCurrentWidget(m_emptyState);
}

QUndoStack* ContentView::undoStack() const
{
    return m_undoGroup->activeStack();
}

// Undo steps hold the canvas and row ids, never an editor, so a canvas's
// history outlives the editors shown for it.
QUndoStack* ContentView::historyOf(const CanvasPtr& canvas)
{
    CanvasHistory& history = m_histories[canvas->id()];
    if (history.canvas.lock() != canvas) {
        delete history.stack; // an earlier record with the same id
        history.canvas = canvas;
        history.stack = new QUndoStack(m_undoGroup);
        m_undoGroup->addStack(history.stack);
    }
    return history.stack;
}

void ContentView::dropHistoriesOfDeletedCanvases()
{
    for (auto it = m_histories.begin(); it != m_histories.end();) {
        const CanvasPtr canvas = it->canvas.lock();
        if (canvas && !canvas->isDeleted()) {
            ++it;
            continue;
        }
        // The editor holding this stack went before (deleted canvases close theirs).
        if (m_undoGroup->activeStack() == it->stack)
            m_undoGroup->setActiveStack(nullptr);
        delete it->stack;
        it = m_histories.erase(it);
    }
}

void ContentView::setupInitialState()
{
    const QList<CanvasPtr> canvases = libraryOrder(*m_modelContext);
    if (canvases.isEmpty()) {
        setSidebarVisible(true);
        createNewCanvas();
        return;
    }
    if (m_selectedCanvas)
        return;
    const QUuid remembered = QUuid::fromString(m_defaults.stringValue(lastOpenedKey).value_or(QString()));
    if (!remembered.isNull()) {
        for (const CanvasPtr& canvas : canvases) {
            if (canvas->id() == remembered) {
                setSelectedCanvas(canvas);
                return;
            }
        }
    }
    setSelectedCanvas(canvases.first());
}

void ContentView::createNewCanvas()
{
    const CanvasPtr canvas =
        Canvas::create(QStringLiteral("Canvas %1").arg(m_modelContext->canvasCount() + 1), 0, 0, 1.0);
    m_modelContext->insert(canvas);
    m_library->refresh();
    setSelectedCanvas(canvas);
}

QString ContentView::defaultManualPath()
{
    const QDir programFolder(QCoreApplication::applicationDirPath());
    const QString beside = programFolder.filePath(QStringLiteral("MANUAL.pdf"));
    const QString installed = programFolder.filePath(QStringLiteral("../share/quillsheet/MANUAL.pdf"));
    if (!QFileInfo::exists(beside) && QFileInfo::exists(installed))
        return QDir::cleanPath(installed);
    return beside;
}

void ContentView::openManualPDF()
{
    const QString title = QStringLiteral("Quillsheet Manual");
    const QString path = m_manualPath.isEmpty() ? defaultManualPath() : QFileInfo(m_manualPath).absoluteFilePath();
    if (m_manualPath.isEmpty() || !QFileInfo(m_manualPath).isFile()) {
        m_presentMessage(title, QStringLiteral("The manual could not be found. It belongs at:\n%1").arg(path));
        return;
    }
    if (m_urlOpener && !m_urlOpener(QUrl::fromLocalFile(path)))
        m_presentMessage(title, QStringLiteral("There is no application to open PDF files. The manual is at:\n%1")
                                    .arg(path));
}

bool ContentView::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Hide && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        if (widget->isWindow() && widget->windowType() == Qt::Popup)
            recheckPointer();
    }
    // A focused line edit claims Ctrl+E (and others) for itself before the
    // menu sees them; the window's File commands win instead.
    if (event->type() == QEvent::ShortcutOverride) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && widget->window() == this && widget->inherits("QLineEdit")) {
            const QKeySequence pressed(static_cast<QKeyEvent*>(event)->keyCombination());
            for (const QAction* action : std::as_const(m_windowShortcuts)) {
                if (action->isEnabled() && action->shortcuts().contains(pressed)) {
                    event->ignore();
                    return true;
                }
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

bool ContentView::isSidebarVisible() const
{
    return m_sidebarSlide->isShown();
}

void ContentView::setSidebarVisible(bool visible, bool animated)
{
    slideSidebar(visible, animated ? commandSlideMilliseconds : 0);
}

void ContentView::slideSidebar(bool visible, int durationMs)
{
    if (visible == isSidebarVisible())
        return;
    if (visible && !m_widthBeforeSidebar && !(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))) {
        m_widthBeforeSidebar = width();
        m_widthForSidebar = 0;
    }
    // Comes back as wide as the user left it: dragging the divider keeps the
    // width, a window too narrow for it does not.
    m_sidebarSlide->setShown(visible, durationMs);
    const QSignalBlocker blocker(m_sidebarAction);
    m_sidebarAction->setChecked(visible);
}

void ContentView::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    // Only the library's room pushes the window out to its least width; any
    // other width while the library shows is the user's choice and stays.
    if (m_widthBeforeSidebar && !m_library->isHidden())
        m_widthForSidebar = width() > *m_widthBeforeSidebar && width() == minimumWidth() ? width() : 0;
}

void ContentView::narrowAfterSidebar()
{
    const std::optional<int> before = std::exchange(m_widthBeforeSidebar, std::nullopt);
    if (!before || m_widthForSidebar == 0 || width() != m_widthForSidebar
        || (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
        return;
    // The least width shrinks once the layouts have seen the library go;
    // they would only hear of it later.
    m_splitter->refresh();
    centralWidget()->updateGeometry();
    layout()->activate();
    resize(std::max(*before, minimumWidth()), height());
}

void ContentView::watchStore(ObjectStore* store)
{
    m_store = store;
    if (!store)
        return;
    connect(store, &ObjectStore::saveFailed, m_outsideSignals, [this](const QString& text) { showSaveWarning(text); });
    connect(store, &ObjectStore::saveRecovered, m_outsideSignals, [this] { hideSaveWarning(); });
    connect(store, &ObjectStore::storeMended, m_outsideSignals,
            [this](const QString& text) { showSaveWarning(text, true); });
    // An export stands for the canvases only until they change again.
    connect(m_modelContext, &ModelContext::changed, m_outsideSignals, [this] { m_exportIsCurrent = false; });
    // Imports save each file as it is read, so a failure undoes that file alone.
    m_library->setStoreCommit([guarded = QPointer<ObjectStore>(store)]() -> std::optional<QString> {
        if (!guarded || guarded->save())
            return std::nullopt;
        return guarded->saveError().value_or(QStringLiteral("the store could not be written"));
    });
    if (const auto error = store->saveError())
        showSaveWarning(*error);
}

bool ContentView::isShowingSaveWarning() const
{
    return !m_saveWarning->isHidden();
}

void ContentView::showSaveWarning(const QString& message, bool notice)
{
    // The store's message already says what happened and what is at stake.
    m_saveWarningText->setText(message);
    m_saveWarningClose->setVisible(notice);
    m_saveWarningExport->setVisible(!notice);
    m_saveWarning->show();
}

void ContentView::hideSaveWarning()
{
    m_saveWarning->hide();
}

void ContentView::setQuitConfirmation(std::function<bool(const QString&)> confirmation)
{
    m_confirmQuit = std::move(confirmation);
}

bool ContentView::exportAllCanvases()
{
    const QList<CanvasPtr> canvases = m_modelContext->canvases();
    const std::optional<QString> written = m_library->exportCanvasesNow(canvases);
    if (!written)
        return false;
    m_exportedTo = *written;
    m_exportedAt = QDateTime::currentDateTime();
    m_exportIsCurrent = true;
    return true;
}

bool ContentView::quitLosesNothing() const
{
    // Every canvas is in a file the user can import: the export, or the
    // exchange file the store keeps while its own file is lost.
    return m_exportIsCurrent || (m_store && m_store->isFileLost() && !m_store->exchangeFile().isEmpty());
}

QString ContentView::quitStakes() const
{
    const int count = m_modelContext->canvasCount();
    // "the 1 canvas was", "all 3 canvases were"
    const auto every = [count](const char* one, const char* many) {
        return count == 1 ? QStringLiteral("the 1 canvas %1").arg(QLatin1String(one))
                          : QStringLiteral("all %1 canvases %2").arg(count).arg(QLatin1String(many));
    };
    const auto capitalised = [](QString text) { return text.replace(0, 1, text.at(0).toUpper()); };
    if (m_exportIsCurrent)
        return QStringLiteral("%1 exported to “%2” at %3, so quitting now loses nothing.")
            .arg(capitalised(every("was", "were")), QDir::toNativeSeparators(m_exportedTo),
                 m_exportedAt.toString(QStringLiteral("HH:mm")));
    if (quitLosesNothing())
        return QStringLiteral("The store on disk does not hold your canvases, but %1 written to “%2” at %3, so "
                              "quitting now loses nothing.")
            .arg(every("was", "were"), QDir::toNativeSeparators(m_store->exchangeFile()),
                 m_store->exchangedAt().toString(QStringLiteral("HH:mm")));
    QString stakes = m_store && m_store->isFileLost()
        ? QStringLiteral("If you quit now, %1 lost: the store on disk does not hold them.").arg(every("is", "are"))
        : QStringLiteral("If you quit now, the changes since %1 are lost.")
              .arg(m_store ? m_store->lastSaved().toString(QStringLiteral("HH:mm")) : QString());
    if (m_exportedAt.isValid())
        stakes += QStringLiteral(" The export to “%1” at %2 lacks the changes made since.")
                      .arg(QDir::toNativeSeparators(m_exportedTo), m_exportedAt.toString(QStringLiteral("HH:mm")));
    return stakes;
}

void ContentView::showSettingsWindow()
{
    if (!m_settingsWindow) {
        m_settingsWindow = new SettingsView({}, CalcSettings::shared(), m_defaults, this);
        m_settingsWindow->setWindowFlag(Qt::Window);
        m_settingsWindow->setObjectName(QStringLiteral("settingsWindow"));
        // Here the close button closes the window; the view and its tab stay for the next time.
        m_settingsWindow->setOnDismiss([window = m_settingsWindow] { window->close(); });
        auto* close = new QAction(m_settingsWindow);
        close->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
        connect(close, &QAction::triggered, m_settingsWindow, &QWidget::close);
        m_settingsWindow->addAction(close);
        m_settingsWindow->adjustSize();
        // First shown over the upper part of the main window; later where the user left it.
        const QRect frame = geometry();
        m_settingsWindow->move(frame.center().x() - m_settingsWindow->width() / 2, frame.top() + 60);
    }
    m_settingsWindow->show();
    m_settingsWindow->raise();
    m_settingsWindow->activateWindow();
}

void ContentView::showSettingsCard()
{
    if (!m_settingsOverlay) {
        m_settingsOverlay = new SettingsOverlay(this, CalcSettings::shared(), m_defaults);
        connect(m_settingsOverlay, &SettingsOverlay::presentedChanged, this, &ContentView::recheckPointer);
    }
    m_settingsOverlay->setPresented(true);
}

void ContentView::setUpdateController(UpdateController* controller)
{
    m_updateController = controller;
    if (controller)
        connect(controller, &UpdateController::messageRequested, m_outsideSignals, [this](const QString& text) {
            showPlainAlert(this, QMessageBox::Information, QStringLiteral("Quillsheet"), text);
        });
}

void ContentView::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (event->spontaneous())
        return;
    setupInitialState();
    Q_EMIT contentShown();
}

void ContentView::hideEvent(QHideEvent* event)
{
    QMainWindow::hideEvent(event);
    if (!event->spontaneous())
        Q_EMIT contentGone();
}

void ContentView::closeEvent(QCloseEvent* event)
{
    // Results still to follow a settings change are saved with the rest.
    CanvasRecalculation::shared().finishAll();
    if (m_store && !m_store->save()) {
        // The store keeps trying while the question is open; once a save
        // succeeds nothing is lost, the question goes and the quit goes on.
        bool savedMeanwhile = false;
        QPointer<QMessageBox> question;
        const QMetaObject::Connection recovered = connect(m_store, &ObjectStore::saveRecovered, this, [&] {
            savedMeanwhile = true;
            if (question)
                question->done(QMessageBox::Cancel);
        });
        bool quit = false;
        // Asked again after each export, saying what is at stake then.
        for (bool asking = true; asking && !savedMeanwhile;) {
            asking = false;
            const QString message = m_store->saveError().value_or(QString()) + QStringLiteral("\n\n") + quitStakes();
            // Question and buttons say what the message says.
            const bool safe = quitLosesNothing();
            const QString title = m_exportIsCurrent ? QStringLiteral("Quit? Your canvases are exported.")
                : safe ? QStringLiteral("Quit? Your canvases are in an exchange file.")
                       : QStringLiteral("Quit without saving?");
            const QString quitLabel = safe ? QStringLiteral("Quit") : QStringLiteral("Quit Without Saving");
            if (m_confirmQuit) {
                quit = m_confirmQuit(title + QStringLiteral("\n\n") + message + QStringLiteral("\n\n[")
                                     + quitLabel + u']');
                break;
            }
            QMessageBox alert(this);
            question = &alert;
            alert.setIcon(safe ? QMessageBox::Information : QMessageBox::Warning);
            alert.setWindowTitle(QStringLiteral("Quillsheet"));
            alert.setText(title);
            alert.setInformativeText(message);
            alert.setTextFormat(Qt::PlainText); // the store's error text is never markup
            QPushButton* stay = alert.addButton(QStringLiteral("Keep Quillsheet Open"), QMessageBox::RejectRole);
            QPushButton* exportAll = alert.addButton(QStringLiteral("Export All Canvases…"), QMessageBox::ActionRole);
            QPushButton* discard
                = alert.addButton(quitLabel, safe ? QMessageBox::AcceptRole : QMessageBox::DestructiveRole);
            alert.setDefaultButton(safe ? discard : stay);
            alert.exec();
            quit = alert.clickedButton() == discard;
            if (alert.clickedButton() == exportAll) {
                exportAllCanvases();
                asking = true;
            }
        }
        disconnect(recovered);
        if (!quit && !savedMeanwhile) {
            event->ignore();
            return;
        }
    }
    QMainWindow::closeEvent(event);
}
