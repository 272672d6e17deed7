#pragma once

#include "Platform/StoreStartup.h"
#include "Platform/UpdateController.h"
#include "Views/Window/ContentView.h"

#include <QObject>
#include <functional>
#include <memory>

class CloudService;
class Defaults;
class ObjectStore;

// The application: start-up in order (update controller, old-store copy, the
// store with or without mirroring, exchange rates), then the main window.
class QuillsheetApp : public QObject {
    Q_OBJECT
public:
    // What start-up works with; standard() is the real machine, tests
    // replace folders, the cloud, the update backend and the rate refresh.
    struct Environment {
        QString dataFolder;
        QString homeFolder;
        Defaults* defaults = nullptr;
        CloudService* cloud = nullptr;
        std::function<UpdateController*(QObject* parent)> makeUpdateController;
        std::function<void()> refreshRates;
        ContentView::EditorFactory editorFactory;
        StartupPrinter print;
        // Whether failures are also shown in a dialog (not without a screen).
        bool showDialogs = true;

        static Environment standard(ContentView::EditorFactory editorFactory);
    };

    enum class StartResult { running, alreadyRunning, failed };

    explicit QuillsheetApp(Environment environment, QObject* parent = nullptr);
    ~QuillsheetApp() override;

    // Runs the start-up steps. On running the window is built but not shown.
    StartResult init();
    // The process exit code for a start that did not reach the window.
    static int exitCode(StartResult result);

    UpdateController& updaterController() { return *m_updaterController; }
    ObjectStore* sharedModelContainer() const { return m_store.get(); }
    bool isMirrored() const { return m_mirrored; }
    ContentView* window() const { return m_window.get(); }
    UpdaterStartTask* updaterStartTask() const { return m_updaterStartTask; }
    StoreMigration migration() const { return m_migration; }

    // Saves what is pending (quit, logout, termination signals).
    void save();

private:
    void report(const QString& title, const QString& text, bool error);

    Environment m_environment;
    UpdateController* m_updaterController = nullptr;
    UpdaterStartTask* m_updaterStartTask = nullptr;
    std::unique_ptr<ObjectStore> m_store;
    std::unique_ptr<ContentView> m_window;
    StoreMigration m_migration = StoreMigration::notNeeded;
    bool m_mirrored = false;
};
