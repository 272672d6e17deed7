// The library's export and import of exchange files: dialogs, alerts and
// the selection afterwards. The work itself is LibraryExchange's.
#include "Models/Canvas.h"
#include "Platform/NotificationCenter.h"
#include "Services/LibraryExchange.h"
#include "Views/Library/CanvasListView.h"
#include "Views/Library/ExchangeDialogs.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>

namespace {

// Dialogs open this long after the command that asked for them.
constexpr int dialogDelayMilliseconds = 100;

// A busy cursor while the main thread works; lifted for alerts.
class BusyCursor {
public:
    BusyCursor() { lift(false); }
    ~BusyCursor()
    {
        if (m_shown)
            QApplication::restoreOverrideCursor();
    }
    void lift(bool lifted)
    {
        if (lifted == !m_shown)
            return;
        if (lifted)
            QApplication::restoreOverrideCursor();
        else
            QApplication::setOverrideCursor(Qt::WaitCursor);
        m_shown = !lifted;
    }

private:
    bool m_shown = false;
};

} // namespace

void CanvasListView::setUpExchange()
{
    m_exporter = [this](const QList<CanvasPtr>& canvases) { exportCanvases(canvases); };
    connect(&NotificationCenter::defaultCenter(), &NotificationCenter::posted, this, [this](const QString& name) {
        if (name == CommandNotification::exportCanvasesRequested)
            exportSelectedCanvases();
        else if (name == CommandNotification::importCanvasesRequested)
            importCanvases();
    });
}

void CanvasListView::setExchangeDialogs(std::shared_ptr<ExchangeDialogs> dialogs)
{
    m_exchangeDialogs = std::move(dialogs);
}

void CanvasListView::setStoreCommit(std::function<std::optional<QString>()> commit)
{
    m_storeCommit = std::move(commit);
}

void CanvasListView::exportSelectedCanvases()
{
    exportCanvases(selectedCanvases());
}

void CanvasListView::exportCanvases(const QList<CanvasPtr>& canvases)
{
    if (canvases.isEmpty())
        return;
    QTimer::singleShot(dialogDelayMilliseconds, this, [this, canvases] { runExport(canvases); });
}

void CanvasListView::importCanvases()
{
    QTimer::singleShot(dialogDelayMilliseconds, this, [this] { runImport(); });
}

void CanvasListView::runExport(const QList<CanvasPtr>& requested)
{
    exportCanvasesNow(requested);
}

std::optional<QString> CanvasListView::exportCanvasesNow(const QList<CanvasPtr>& requested)
{
    // A canvas deleted since the request is not written.
    QList<CanvasPtr> canvases;
    for (const CanvasPtr& canvas : requested)
        if (!canvas->isDeleted())
            canvases.append(canvas);
    if (canvases.isEmpty())
        return std::nullopt;
    if (!m_exchangeDialogs)
        m_exchangeDialogs = ExchangeDialogs::standard();
    const std::shared_ptr<ExchangeDialogs> dialogs = m_exchangeDialogs;
    const QPointer<QWidget> parent = window();
    const std::optional<QString> path = dialogs->chooseExportFile(parent, LibraryExchange::proposedFileName(canvases));
    if (!path)
        return std::nullopt;
    std::optional<ExchangeFailure> failure;
    {
        BusyCursor busy;
        failure = LibraryExchange::exportCanvases(canvases, *path);
    }
    if (failure) {
        dialogs->showAlert(parent, *failure);
        return std::nullopt;
    }
    return path;
}

void CanvasListView::runImport()
{
    if (!m_exchangeDialogs)
        m_exchangeDialogs = ExchangeDialogs::standard();
    const std::shared_ptr<ExchangeDialogs> dialogs = m_exchangeDialogs;
    const QPointer<CanvasListView> self = this;
    const QPointer<QWidget> parent = window();
    const QStringList files = dialogs->chooseImportFiles(parent);
    if (!self || files.isEmpty())
        return;

    LibraryExchange exchange(*m_modelContext, m_storeCommit);
    // Busy until the list and the editor show the result: with thousands of
    // canvases both take a while too.
    BusyCursor busy;
    const QList<CanvasPtr> imported = exchange.importFiles(files, [&](const ExchangeFailure& failure) {
        busy.lift(true);
        dialogs->showAlert(parent, failure);
        busy.lift(false);
    });
    if (!self || imported.isEmpty())
        return;
    refresh();
    assignSelectedCanvas(imported.first());
    setSelectedCanvasIDs({imported.first()->id()});
}
