#pragma once

#include "Models/RecordPointers.h"

#include <QDateTime>
#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <QUrl>
#include <QUuid>
#include <functional>
#include <memory>
#include <optional>

class CanvasExportController;
class CanvasListView;
class FeedbackSheet;
class Defaults;
class HoverMonitor;
class SettingsButton;
class ShareButton;
class SyncStatusButton;
class ModelContext;
class ObjectStore;
class QPushButton;
class PanelSlide;
class QLabel;
class QSplitter;
class QStackedWidget;
class QToolBar;
class QToolButton;
class QUndoGroup;
class QUndoStack;
class SettingsOverlay;
class SettingsView;
class UpdateController;

// The main window: the canvas library beside the editor of the selected
// canvas. It owns one undo history per canvas and the menu bar, creates new
// canvases and opens the manual on the menu commands' notifications.
class ContentView : public QMainWindow {
    Q_OBJECT
public:
    // Builds the editor of one canvas; the window owns what it returns.
    using EditorFactory = std::function<QWidget*(const CanvasPtr& canvas, QUndoStack* undoStack)>;

    ContentView(ModelContext* modelContext, EditorFactory editorFactory, QWidget* parent = nullptr);
    // The same over an explicit defaults database (tests).
    ContentView(ModelContext* modelContext, EditorFactory editorFactory, Defaults& defaults,
                QWidget* parent = nullptr);
    ~ContentView() override;

    CanvasPtr selectedCanvas() const { return m_selectedCanvas; }
    // Shows the canvas in the editor (a fresh editor per canvas) and
    // remembers it under lastOpenedCanvasID; none shows the empty state.
    void setSelectedCanvas(const CanvasPtr& canvas);

    // Chooses the canvas to open; runs each time the window is shown.
    void setupInitialState();
    void createNewCanvas();
    void openManualPDF();
    // Opens the feedback form over the window; one at a time.
    void openFeedbackSheet();
    FeedbackSheet* feedbackSheet() const;

    // Where the sidebar and the toolbar are heading: while they slide they
    // count as what they will be.
    bool isSidebarVisible() const;
    // At once, or animated as the View menu's command does.
    void setSidebarVisible(bool visible, bool animated = false);
    bool isToolbarVisible() const;
    PanelSlide* sidebarSlide() const { return m_sidebarSlide; }
    PanelSlide* toolbarSlide() const { return m_toolbarSlide; }
    // How long the toolbar and the sidebar take to come and to go when the
    // pointer decides, and the sidebar for the View menu's command.
    static constexpr int pointerShowMilliseconds = 150;
    static constexpr int pointerHideMilliseconds = 200;
    static constexpr int commandSlideMilliseconds = 200;
    // The smallest window is this wide with the library hidden; the library,
    // while it shows, widens it by its own width rather than narrowing the
    // editor.
    static constexpr int minimumEditorWidth = 640;
    static constexpr int minimumWindowHeight = 420;
    QToolBar* toolbar() const { return m_toolbar; }
    // The window's own toolbar items: share (only with a canvas selected),
    // sync status, settings.
    ShareButton* shareButton() const;
    SyncStatusButton* syncStatusButton() const { return m_syncButton; }
    SettingsButton* settingsButton() const { return m_settingsButton; }
    // Decides from the pointer when the toolbar and the sidebar show.
    HoverMonitor* hoverMonitor() const { return m_hoverMonitor; }

    CanvasListView* library() const { return m_library; }
    QWidget* editor() const { return m_editor; }
    // The undo history of the canvas shown (none without one). Each canvas
    // keeps its own for the window's lifetime, until the canvas is deleted.
    QUndoStack* undoStack() const;
    QUndoGroup* undoGroup() const { return m_undoGroup; }
    // Print, PDF and share of the selected canvas.
    CanvasExportController* exportController() const { return m_exportController; }

    // Save failures of the store show as a warning in the window until a
    // save succeeds; a store made anew shows as a notice until closed;
    // closing with unsaved changes asks first.
    void watchStore(ObjectStore* store);
    bool isShowingSaveWarning() const;
    // Asks whether to quit and lose unsaved changes; true to quit. It gets
    // the question, the message and the quit button's label in brackets,
    // one after another. The standard one shows an alert; tests answer it
    // themselves.
    void setQuitConfirmation(std::function<bool(const QString& message)> confirmation);
    // "Export All Canvases…": every canvas in memory into one exchange file,
    // the way out while the store cannot be saved. True once written.
    bool exportAllCanvases();
    // What quitting now would lose, in a sentence.
    QString quitStakes() const;
    // Whether every canvas is in a file the user can import.
    bool quitLosesNothing() const;

    // The settings, as a window of their own ("Settings…", Ctrl+,; Escape or
    // Ctrl+W closes it) and as a card over the window below its menu bar
    // (made on first use).
    void showSettingsWindow();
    void showSettingsCard();
    SettingsView* settingsWindow() const { return m_settingsWindow; }
    SettingsOverlay* settingsOverlay() const { return m_settingsOverlay; }

    // The update command's controller.
    void setUpdateController(UpdateController* controller);

    // The manual PDF (beside the program by default) and how it is opened.
    static QString defaultManualPath();
    void setManualPath(const QString& path) { m_manualPath = path; }
    QString manualPath() const { return m_manualPath; }
    void setUrlOpener(std::function<bool(const QUrl&)> opener) { m_urlOpener = std::move(opener); }
    // How the window tells the user something it could not do (title,
    // text): an alert that does not block by default; tests record it.
    void setMessagePresenter(std::function<void(const QString& title, const QString& text)> presenter)
    {
        m_presentMessage = std::move(presenter);
    }

    // The texts of the empty state.
    static const QString emptyTitle;
    static const QString emptyDescription;
    static const QString emptyAction;

Q_SIGNALS:
    void selectedCanvasChanged(const CanvasPtr& canvas);
    // The window's content was shown, or went away (hidden or closed).
    void contentShown();
    void contentGone();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildMenus();
    void updateToolbarVisibility();
    void followSidebar(bool show);
    void slideSidebar(bool visible, int durationMs);
    // The library is gone: a window it widened goes back to its width before.
    void narrowAfterSidebar();
    // While the settings card or a menu of this window is open, nothing the
    // pointer is over may move: the toolbar and the sidebar stay.
    bool holdsPointer() const;
    void recheckPointer();
    void preferenceChanged(const QString& key);
    void buildToolbarItems();
    void showShareButton(const CanvasPtr& canvas);
    QWidget* buildEmptyState();
    // A notice (the store was made anew) can be closed; a warning cannot.
    void showSaveWarning(const QString& message, bool notice = false);
    void hideSaveWarning();
    void observe(const QString& notification);
    void removeEditor();
    QUndoStack* historyOf(const CanvasPtr& canvas);
    void dropHistoriesOfDeletedCanvases();

    ModelContext* m_modelContext;
    // Receives the signals of everything outside the window (model, store,
    // notifications, updates); deleted first when the window goes.
    QObject* m_outsideSignals;
    EditorFactory m_editorFactory;
    Defaults& m_defaults;
    QUndoGroup* m_undoGroup;
    struct CanvasHistory {
        std::weak_ptr<Canvas> canvas;
        QUndoStack* stack = nullptr;
    };
    QHash<QUuid, CanvasHistory> m_histories;
    QToolBar* m_toolbar = nullptr;
    QSplitter* m_splitter = nullptr;
    CanvasListView* m_library = nullptr;
    QStackedWidget* m_detail = nullptr;
    QWidget* m_emptyState = nullptr;
    QWidget* m_editor = nullptr;
    QWidget* m_saveWarning = nullptr;
    QLabel* m_saveWarningText = nullptr;
    QToolButton* m_saveWarningClose = nullptr;
    QPushButton* m_saveWarningExport = nullptr;
    // The last "Export All Canvases…", and whether nothing changed since.
    QString m_exportedTo;
    QDateTime m_exportedAt;
    bool m_exportIsCurrent = false;
    QAction* m_sidebarAction = nullptr;
    QAction* m_toolbarAction = nullptr;
    QAction* m_toolbarSpacer = nullptr;
    QAction* m_exportSelectedAction = nullptr;
    QAction* m_shareAction = nullptr;
    QAction* m_syncAction = nullptr;
    SyncStatusButton* m_syncButton = nullptr;
    SettingsButton* m_settingsButton = nullptr;
    HoverMonitor* m_hoverMonitor = nullptr;
    CanvasExportController* m_exportController = nullptr;
    QList<QAction*> m_canvasOutputActions;
    CanvasPtr m_selectedCanvas;
    ObjectStore* m_store = nullptr;
    UpdateController* m_updateController = nullptr;
    QPointer<FeedbackSheet> m_feedbackSheet;
    SettingsView* m_settingsWindow = nullptr;
    SettingsOverlay* m_settingsOverlay = nullptr;
    QString m_manualPath;
    std::function<bool(const QUrl&)> m_urlOpener;
    std::function<bool(const QString&)> m_confirmQuit;
    std::function<void(const QString&, const QString&)> m_presentMessage;
    // Menu commands whose shortcuts stay the window's while a text field
    // has the focus (a line edit would take Ctrl+E as "end of line").
    QList<QAction*> m_windowShortcuts;
    int m_sidebarWidth = 220;
    // The window's width before the library made it wider, and the width it
    // was made (0 once the user chose another): the library hiding gives
    // the earlier width back.
    std::optional<int> m_widthBeforeSidebar;
    int m_widthForSidebar = 0;
    int m_toolbarHeight = 0;
    PanelSlide* m_toolbarSlide = nullptr;
    PanelSlide* m_sidebarSlide = nullptr;
};
