#include "Views/Window/QuillsheetApp.h"

#include "Engine/CanvasRecalculation.h"
#include "Models/CalcSettings.h"
#include "Store/ObjectStore.h"
#include "Platform/AppIdentity.h"
#include "Platform/CloudService.h"
#include "Platform/Defaults.h"
#include "Views/Window/PlainAlert.h"

#include <QDir>
#include <QGuiApplication>
#include <QMessageBox>
#include <QStandardPaths>
#include <cstdio>

QuillsheetApp::Environment QuillsheetApp::Environment::standard(ContentView::EditorFactory editorFactory)
{
    Environment environment;
    environment.dataFolder = applicationDataFolder();
    environment.homeFolder = QDir::homePath();
    environment.defaults = &Defaults::standard();
    environment.cloud = &CloudService::shared();
    environment.makeUpdateController = [](QObject* parent) { return new UpdateController(parent); };
    environment.refreshRates = [] { CalcSettings::shared().refreshRatesIfNeeded(); };
    environment.editorFactory = std::move(editorFactory);
    environment.print = [](const QString& line, bool isError) {
        std::FILE* stream = isError ? stderr : stdout;
        std::fprintf(stream, "%s\n", qPrintable(line));
        std::fflush(stream);
    };
    // Without a screen nobody could answer a dialog.
    const QString platform = QGuiApplication::platformName();
    environment.showDialogs = platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
    return environment;
}

QuillsheetApp::QuillsheetApp(Environment environment, QObject* parent)
    : QObject(parent)
    , m_environment(std::move(environment))
{
    if (!m_environment.print)
        m_environment.print = [](const QString&, bool) {};
    // First step of start-up: the controller exists, unstarted.
    m_updaterController = m_environment.makeUpdateController ? m_environment.makeUpdateController(this)
                                                             : new UpdateController(this);
}

QuillsheetApp::~QuillsheetApp()
{
    // The window goes before the store whose records it shows.
    m_window.reset();
    save();
}

QuillsheetApp::StartResult QuillsheetApp::init()
{
    const QString path = QDir(m_environment.dataFolder).filePath(QStringLiteral("default.store"));
    StoreOpening opening = openApplicationStore(path, m_environment.homeFolder, *m_environment.defaults,
                                                *m_environment.cloud, m_environment.print);
    m_migration = opening.migration;
    if (opening.outcome == StoreOpening::Outcome::alreadyRunning) {
        report(QStringLiteral("Quillsheet"), StartupText::alreadyRunning(), false);
        return StartResult::alreadyRunning;
    }
    if (m_migration == StoreMigration::failed) {
        report(QStringLiteral("Quillsheet"),
               QStringLiteral("Quillsheet could not copy the canvases of its earlier version and has to quit. "
                              "Nothing was changed: the old store stays where it is, and the next start tries "
                              "again.\n\nOld store: %1\n\nError: %2\n\nIf the disk is full, free some space. "
                              "To start without the old canvases, move that folder away.")
                   .arg(QDir::toNativeSeparators(formerStoreFolder(m_environment.homeFolder)), opening.error),
               true);
        return StartResult::failed;
    }
    if (opening.outcome == StoreOpening::Outcome::failed) {
        report(QStringLiteral("Quillsheet"), StartupText::cannotOpen(path, opening.failure, opening.error), true);
        return StartResult::failed;
    }
    m_store = std::move(opening.store);
    m_mirrored = opening.mirrored;
    if (!opening.notice.isEmpty())
        report(QStringLiteral("Quillsheet"), opening.notice, false);

    if (m_environment.refreshRates)
        m_environment.refreshRates();

    m_window = std::make_unique<ContentView>(&m_store->context(), m_environment.editorFactory,
                                             *m_environment.defaults);
    m_window->watchStore(m_store.get());
    m_window->setUpdateController(m_updaterController);
    m_updaterStartTask = new UpdaterStartTask(*m_updaterController, this);
    connect(m_window.get(), &ContentView::contentShown, m_updaterStartTask, &UpdaterStartTask::contentShown);
    connect(m_window.get(), &ContentView::contentGone, m_updaterStartTask, &UpdaterStartTask::contentGone);
    return StartResult::running;
}

int QuillsheetApp::exitCode(StartResult result)
{
    switch (result) {
    case StartResult::running:
    case StartResult::alreadyRunning:
        return 0;
    case StartResult::failed:
        break;
    }
    return 1;
}

void QuillsheetApp::save()
{
    if (m_store) {
        CanvasRecalculation::shared().finishAll();
        m_store->save();
    }
}

void QuillsheetApp::report(const QString& title, const QString& text, bool error)
{
    if (!error)
        m_environment.print(text, false);
    if (!m_environment.showDialogs)
        return;
    showPlainAlert(nullptr, error ? QMessageBox::Critical : QMessageBox::Information, title, text);
}
