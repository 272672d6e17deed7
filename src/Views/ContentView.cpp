#include "Views/ContentView.h"

#include "Models/Canvas.h"
#include "Models/Identifiers.h"
#include "Models/ModelContext.h"
#include "Models/ObjectStore.h"
#include "Platform/Defaults.h"
#include "Platform/NotificationCenter.h"
#include "Platform/UpdateController.h"
#include "Views/Appearance.h"
#include "Views/CanvasListView.h"
#include "Views/ViewTeardown.h"

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QToolBar>
#include <QStyle>
#include <QToolButton>
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
    , m_undoStack(new QUndoStack(this))
    , m_manualPath(defaultManualPath())
{
    setObjectName(QStringLiteral("ContentView"));
    setWindowTitle(QStringLiteral("Quillsheet"));
    setMinimumSize(640, 420);
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
    m_saveWarningText->setWordWrap(true);
    m_saveWarningText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    warningRow->addWidget(warningIcon);
    warningRow->addWidget(m_saveWarningText, 1);
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
    setBlackBackground(m_detail);
    m_emptyState = buildEmptyState();
    m_detail->addWidget(m_emptyState);
    m_splitter->addWidget(m_library);
    m_splitter->addWidget(m_detail);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_library->hide(); // the window opens on the editor alone
    connect(m_splitter, &QSplitter::splitterMoved, this, [this] {
        if (m_library->isVisible())
            m_sidebarWidth = m_library->width();
    });

    column->addWidget(m_saveWarning);
    column->addWidget(m_splitter, 1);
    setCentralWidget(central);

    connect(m_library, &CanvasListView::selectedCanvasChanged, this, &ContentView::setSelectedCanvas);
    connect(&NotificationCenter::defaultCenter(), &NotificationCenter::posted, m_outsideSignals,
            [this](const QString& name) { observe(name); });
    connect(m_modelContext, &ModelContext::changed, m_outsideSignals, [this] {
        // A canvas deleted elsewhere takes its editor with it.
        if (m_selectedCanvas && m_selectedCanvas->isDeleted())
            setSelectedCanvas(nullptr);
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
        m_toolbar->setMinimumHeight(probe.sizeHint().height() + margins);
    }

    m_urlOpener = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    buildMenus();
}

ContentView::~ContentView()
{
    removeEditor();
    // QWidget's destructor, still to come, closes the window: the focus
    // moves, fields commit, the library reports; none of it may call here.
    delete m_outsideSignals;
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
    postingAction(file, QStringLiteral("New Canvas"), newCanvasRequested, {QKeySequence(Qt::CTRL | Qt::Key_N)});
    postingAction(file, QStringLiteral("Import Canvases..."), importCanvasesRequested,
                  {QKeySequence(Qt::CTRL | Qt::Key_O)});
    postingAction(file, QStringLiteral("Export Selected..."), exportCanvasesRequested,
                  {QKeySequence(Qt::CTRL | Qt::Key_E)});
    file->addSeparator();
    postingAction(file, QStringLiteral("Print..."), printCanvasRequested, {QKeySequence(Qt::CTRL | Qt::Key_P)});
    file->addSeparator();
    QAction* quit = file->addAction(QStringLiteral("Quit"));
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setMenuRole(QAction::QuitRole);
    connect(quit, &QAction::triggered, this, &QWidget::close);

    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    QAction* undo = m_undoStack->createUndoAction(this, QStringLiteral("Undo"));
    undo->setShortcuts(QKeySequence::Undo);
    QAction* redo = m_undoStack->createRedoAction(this, QStringLiteral("Redo"));
    redo->setShortcuts(QKeySequence::Redo);
    edit->addAction(undo);
    edit->addAction(redo);

    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    m_sidebarAction = view->addAction(QStringLiteral("Show Sidebar"));
    m_sidebarAction->setCheckable(true);
    m_sidebarAction->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_S));
    connect(m_sidebarAction, &QAction::toggled, this, &ContentView::setSidebarVisible);

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
}

void ContentView::setSelectedCanvas(const CanvasPtr& canvas)
{
    if (canvas == m_selectedCanvas)
        return;
    removeEditor();
    m_selectedCanvas = canvas;
    if (canvas) {
        m_editor = m_editorFactory ? m_editorFactory(canvas, m_undoStack) : nullptr;
        if (m_editor) {
            m_detail->addWidget(m_editor);
            m_detail->setCurrentWidget(m_editor);
            for (QAction* action : m_editor->actions()) {
                if (!action->property("toolbarItem").toBool())
                    continue;
                m_toolbar->addAction(action);
                if (auto* button = qobject_cast<QToolButton*>(m_toolbar->widgetForAction(action)))
                    button->setPopupMode(QToolButton::InstantPopup);
                connect(action, &QAction::changed, this, &ContentView::updateToolbarVisibility);
            }
            updateToolbarVisibility();
        }
        m_defaults.setValue(lastOpenedKey, uuidString(canvas->id()));
    } else {
        m_detail->setCurrentWidget(m_emptyState);
    }
    Q_EMIT selectedCanvasChanged(canvas);
    m_library->setSelectedCanvas(canvas);
}

// An empty toolbar would only be a stray strip above the canvas. While an
// editor offers items the strip stays, even when they hide for want of a
// selection: otherwise the canvas jumps under the pointer at every click.
void ContentView::updateToolbarVisibility()
{
    m_toolbar->setVisible(m_editor && !m_toolbar->actions().isEmpty());
}

void ContentView::removeEditor()
{
    if (!m_editor)
        return;
    // Undo steps belong to the editor that made them.
    m_undoStack->clear();
    m_detail->removeWidget(m_editor);
    QWidget* editor = m_editor;
    m_editor = nullptr;
    delete editor;
    updateToolbarVisibility();
    m_detail->setCurrentWidget(m_emptyState);
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
    if (m_manualPath.isEmpty() || !QFileInfo(m_manualPath).isFile())
        return;
    if (m_urlOpener)
        m_urlOpener(QUrl::fromLocalFile(QFileInfo(m_manualPath).absoluteFilePath()));
}

bool ContentView::isSidebarVisible() const
{
    return !m_library->isHidden();
}

void ContentView::setSidebarVisible(bool visible)
{
    if (visible == isSidebarVisible())
        return;
    if (visible) {
        m_library->show();
        const int total = m_splitter->width();
        m_splitter->setSizes({m_sidebarWidth, std::max(total - m_sidebarWidth, 1)});
    } else {
        m_sidebarWidth = m_library->width();
        m_library->hide();
    }
    const QSignalBlocker blocker(m_sidebarAction);
    m_sidebarAction->setChecked(visible);
}

void ContentView::watchStore(ObjectStore* store)
{
    m_store = store;
    if (!store)
        return;
    connect(store, &ObjectStore::saveFailed, m_outsideSignals, [this](const QString& text) { showSaveWarning(text); });
    connect(store, &ObjectStore::saveRecovered, m_outsideSignals, [this] { hideSaveWarning(); });
    if (const auto error = store->saveError())
        showSaveWarning(*error);
}

bool ContentView::isShowingSaveWarning() const
{
    return !m_saveWarning->isHidden();
}

void ContentView::showSaveWarning(const QString& message)
{
    // The store's message already says what happened and that nothing is lost.
    m_saveWarningText->setText(message);
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

void ContentView::setUpdateController(UpdateController* controller)
{
    m_updateController = controller;
    if (controller)
        connect(controller, &UpdateController::messageRequested, m_outsideSignals, [this](const QString& text) {
            QMessageBox::information(this, QStringLiteral("Quillsheet"), text);
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
    if (m_store && !m_store->save()) {
        const QString message = QStringLiteral(
            "Quillsheet could not save your latest changes: %1\n\nIf you quit now, these changes are lost.")
                                    .arg(m_store->saveError().value_or(QString()));
        bool quit = false;
        if (m_confirmQuit) {
            quit = m_confirmQuit(message);
        } else {
            QMessageBox alert(this);
            alert.setIcon(QMessageBox::Warning);
            alert.setWindowTitle(QStringLiteral("Quillsheet"));
            alert.setText(QStringLiteral("Quit without saving?"));
            alert.setInformativeText(message);
            QPushButton* stay = alert.addButton(QStringLiteral("Keep Quillsheet Open"), QMessageBox::RejectRole);
            QPushButton* discard = alert.addButton(QStringLiteral("Quit Without Saving"), QMessageBox::DestructiveRole);
            alert.setDefaultButton(stay);
            alert.exec();
            quit = alert.clickedButton() == discard;
        }
        if (!quit) {
            event->ignore();
            return;
        }
    }
    QMainWindow::closeEvent(event);
}
