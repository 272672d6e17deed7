#include "Views/Share/CanvasExportController.h"

#include "Models/Canvas.h"
#include "Platform/Defaults.h"
#include "Platform/FileWriting.h"
#include "Platform/ShareServices.h"
#include "Services/CanvasPrintPainter.h"
#include "Services/CanvasShareData.h"
#include "Engine/CanvasRecalculation.h"
#include "Views/Window/PlainAlert.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>

const QString CanvasExportController::failureTitle = QStringLiteral("Export fehlgeschlagen");
const QString CanvasExportController::failureText = QStringLiteral("Das PDF konnte nicht erzeugt werden.");
const QString CanvasExportController::printFailureTitle = QStringLiteral("Printing failed");
const QString CanvasExportController::shareFailureTitle = QStringLiteral("Sharing failed");

CanvasExportController::CanvasExportController(Defaults& defaults, QObject* parent)
    : QObject(parent)
    , m_defaults(defaults)
    , m_dialogs(std::make_shared<DesktopExportDialogs>())
    , m_picker(std::make_shared<DesktopSharePicker>())
    , m_exchangeData(canvasExchangeFileData)
    , m_pdfData(CanvasPrintPainter::pdfData)
    , m_keyWindow([] { return QApplication::activeWindow(); })
    , m_shareRoot(QDir::tempPath())
{
}

// Share folders still waiting for their removal go with the program.
CanvasExportController::~CanvasExportController() = default;

QWidget* CanvasExportController::keyWindow() const
{
    return m_keyWindow ? m_keyWindow() : nullptr;
}

PrintPage CanvasExportController::pageFor(const CanvasPtr& canvas, ExportMode mode) const
{
    PrintLayoutParameters parameters;
    parameters.mode = mode;
    parameters.canvasLightMode = m_defaults.boolValue(QStringLiteral("canvasLightMode")).value_or(false);
    // Printed results are those of the settings in force.
    CanvasRecalculation::shared().bringUpToDate({canvas});
    return CanvasPrintView(*canvas, parameters).body();
}

void CanvasExportController::preparePrinter(QPrinter& printer, const QString& documentName)
{
    printer.setDocName(documentName);
    printer.setPageMargins(QMarginsF(36, 36, 36, 36), QPageLayout::Point);
}

bool CanvasExportController::printPage(QPagedPaintDevice& printer, const PrintPage& page)
{
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    // Fitted to the paper's width (never enlarged), centred across it, and
    // continued on further sheets between whole rows.
    const QRectF paper = printer.pageLayout().paintRect(QPageLayout::Point);
    const double fit = std::min(1.0, paper.width() / page.size.width());
    const double deviceScale = printer.logicalDpiX() / 72.0;
    const double left = (paper.width() - page.size.width() * fit) / 2;
    const QList<PrintSlice> slices = CanvasPrintView::paginate(page, paper.height() / fit);
    for (qsizetype i = 0; i < slices.size(); ++i) {
        if (i > 0 && !printer.newPage())
            return false;
        painter.save();
        painter.scale(deviceScale, deviceScale);
        painter.translate(left, 0);
        painter.scale(fit, fit);
        CanvasPrintPainter::paintSlice(painter, page, slices[i]);
        painter.restore();
    }
    return painter.end();
}

void CanvasExportController::printCanvas(const CanvasPtr& asked, QWidget* view)
{
    // Held here: the caller's pointer may be reset while the dialog is open.
    const CanvasPtr canvas = asked;
    if (!canvas || canvas->isDeleted())
        return;
    // Laid out before the dialog opens: edits made meanwhile are not printed.
    const PrintPage page = pageFor(canvas, ExportMode::print);
    QPrinter printer(QPrinter::HighResolution);
    preparePrinter(printer, canvas->name());
    QWidget* parent = view && view->window() ? view->window() : keyWindow();
    // The print dialog makes its output file name from the document name:
    // while it is open that name is a file name (no "/" leading into a
    // folder, and ".pdf" for it to cut off instead of a dot in the name).
    printer.setDocName(ShareServices::fileName(canvas->name(), QStringLiteral(".pdf")));
    const bool accepted = m_dialogs && m_dialogs->runPrintDialog(printer, parent);
    printer.setDocName(canvas->name());
    if (!accepted)
        return;
    const QString file = printer.outputFileName();
    if (file.isEmpty()) {
        if (!printPage(printer, page))
            m_dialogs->showAlert(parent, printFailureTitle, QStringLiteral("The printer did not accept the job."));
        return;
    }
    // The printer would write its file as it goes and never notice a refused
    // write: the PDF is made in memory and written like every other file, so
    // a failure leaves no partial file and an earlier file unchanged.
    const std::optional<QByteArray> pdf = printedPdf(printer, page);
    if (!pdf)
        m_dialogs->showAlert(parent, printFailureTitle, failureText);
    else if (const auto why = FileWriting::writeWholeFile(file, *pdf))
        m_dialogs->showAlert(parent, printFailureTitle,
                             QStringLiteral("“%1” could not be written: %2.").arg(QFileInfo(file).fileName(), *why));
}

std::optional<QByteArray> CanvasExportController::printedPdf(const QPrinter& printer, const PrintPage& page)
{
    // Greyed as the printer's own PDF would be: each colour by its grey value.
    PrintPage shown = page;
    if (printer.colorMode() == QPrinter::GrayScale) {
        auto grey = [](const QColor& color) {
            const int value = qGray(color.rgb());
            return QColor(value, value, value, color.alpha());
        };
        shown.background = grey(shown.background);
        for (PrintItem& item : shown.items)
            item.color = grey(item.color);
    }
    QByteArray data;
    QBuffer buffer(&data);
    if (!buffer.open(QIODevice::WriteOnly))
        return std::nullopt;
    {
        // The printer's own PDF settings: paper, margins, resolution, title.
        QPdfWriter writer(&buffer);
        writer.setCreator(printer.creator());
        writer.setTitle(printer.docName());
        writer.setPdfVersion(printer.pdfVersion());
        writer.setResolution(printer.resolution());
        if (!writer.setPageLayout(printer.pageLayout()) || !printPage(writer, shown))
            return std::nullopt;
    }
    if (!data.startsWith("%PDF-"))
        return std::nullopt;
    return data;
}

std::optional<QByteArray> CanvasExportController::exportPDF(const CanvasPtr& canvas) const
{
    if (!canvas || !m_pdfData)
        return std::nullopt;
    return m_pdfData(pageFor(canvas, ExportMode::pdf), canvas->name());
}

void CanvasExportController::savePDF(const CanvasPtr& asked, QWidget* window)
{
    const CanvasPtr canvas = asked;
    if (!canvas || canvas->isDeleted() || !m_dialogs)
        return;
    QWidget* parent = window ? window : keyWindow();
    const std::optional<QByteArray> data = exportPDF(canvas);
    if (!data) {
        m_dialogs->showAlert(parent, failureTitle, failureText);
        return;
    }
    const QString path = m_dialogs->chooseSaveFile(parent, ShareServices::fileName(canvas->name(), QStringLiteral(".pdf")));
    if (path.isEmpty())
        return;
    // A failed write leaves an existing file whole and says why.
    if (const auto why = FileWriting::writeWholeFile(path, *data))
        m_dialogs->showAlert(parent, failureTitle, *why);
}

void CanvasExportController::sharePDF(const CanvasPtr& canvas, QWidget* view, const QPoint& point)
{
    if (!canvas || canvas->isDeleted())
        return;
    const std::optional<QByteArray> data = exportPDF(canvas);
    if (!data)
        return;
    shareFile(canvas->name(), QStringLiteral(".pdf"), *data, view, point);
}

void CanvasExportController::shareCanvas(const CanvasPtr& canvas, QWidget* view, const QPoint& point)
{
    if (!canvas || canvas->isDeleted() || !m_exchangeData)
        return;
    const std::optional<QByteArray> data = m_exchangeData(canvas);
    if (!data)
        return;
    shareFile(canvas->name(), QStringLiteral(".quillsheet"), *data, view, point);
}

void CanvasExportController::shareFile(const QString& name, const QString& extension, const QByteArray& bytes,
                                       QWidget* view, const QPoint& point)
{
    // A folder of its own for each share, readable by this user only, so
    // two shares of equally named canvases never touch each other's file.
    // Nothing is offered when the file could not be written whole; the
    // user hears why instead of seeing nothing happen.
    const QString fileName = ShareServices::fileName(name, extension);
    auto refuse = [&](const QString& why) {
        if (m_dialogs)
            m_dialogs->showAlert(view && view->window() ? view->window() : keyWindow(), shareFailureTitle,
                                 QStringLiteral("“%1” could not be written: %2.").arg(fileName, why));
    };
    auto folder = std::make_unique<QTemporaryDir>(QDir(m_shareRoot).filePath(QStringLiteral("quillsheet-share-XXXXXX")));
    if (!folder->isValid())
        return refuse(folder->errorString());
    QFile::setPermissions(folder->path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QString path = folder->filePath(fileName);
    if (const auto why = FileWriting::writeWholeFile(path, bytes))
        return refuse(*why);
    QTemporaryDir* pending = folder.get();
    m_pendingShares.push_back(std::move(folder));
    QTimer::singleShot(m_shareLifetime, this, [this, pending] {
        const auto found = std::find_if(m_pendingShares.begin(), m_pendingShares.end(),
                                        [pending](const auto& entry) { return entry.get() == pending; });
        if (found == m_pendingShares.end())
            return;
        const QString removed = pending->path();
        m_pendingShares.erase(found);
        Q_EMIT shareFolderRemoved(removed);
    });
    if (view && m_picker)
        m_picker->offer(path, view, point);
}

namespace {

// The documents folder when there is one, else home.
QString startFolder()
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

// Without a screen nobody could answer a dialog or pick from a menu.
bool canShowDialogs()
{
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

} // namespace

bool DesktopExportDialogs::runPrintDialog(QPrinter& printer, QWidget* parent)
{
    if (!canShowDialogs())
        return false;
    QPrintDialog dialog(&printer, parent);
    dialog.setWindowTitle(QStringLiteral("Print"));
    return dialog.exec() == QDialog::Accepted;
}

QString DesktopExportDialogs::chooseSaveFile(QWidget* parent, const QString& proposedName)
{
    if (!canShowDialogs())
        return QString();
    QFileDialog dialog(parent, QStringLiteral("Export PDF"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QStringLiteral("PDF (*.pdf)"));
    dialog.setDefaultSuffix(QStringLiteral("pdf"));
    dialog.setDirectory(startFolder());
    dialog.selectFile(proposedName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

void DesktopExportDialogs::showAlert(QWidget* parent, const QString& message, const QString& informativeText)
{
    if (!canShowDialogs())
        return;
    showPlainAlert(parent, QMessageBox::Warning, QStringLiteral("Quillsheet"), message, informativeText);
}

void DesktopSharePicker::offer(const QString& filePath, QWidget* anchor, const QPoint& point)
{
    if (!anchor || !canShowDialogs())
        return;
    auto services = std::make_shared<ShareServices>();
    auto* menu = new QMenu(anchor);
    menu->setObjectName(QStringLiteral("sharePicker"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addSection(QFileInfo(filePath).fileName());
    const QPointer<QWidget> parent(anchor);
    for (const ShareServices::Entry& entry : services->available()) {
        QAction* action = menu->addAction(entry.title);
        QObject::connect(action, &QAction::triggered, menu, [services, entry, filePath, parent] {
            switch (entry.service) {
            case ShareServices::Service::email:
            case ShareServices::Service::open:
            case ShareServices::Service::showInFolder:
            case ShareServices::Service::copy: {
                QString why;
                if (!services->perform(entry.service, filePath, &why))
                    showPlainAlert(parent, QMessageBox::Warning, QStringLiteral("Quillsheet"), why);
                break;
            }
            case ShareServices::Service::saveCopy: {
                const QString destination = QFileDialog::getSaveFileName(
                    parent, QStringLiteral("Save a Copy"),
                    QDir(startFolder()).filePath(QFileInfo(filePath).fileName()));
                if (destination.isEmpty())
                    return;
                QString error;
                if (!services->saveCopy(filePath, destination, &error))
                    showPlainAlert(parent, QMessageBox::Warning, QStringLiteral("Quillsheet"),
                                   QStringLiteral("The copy could not be saved: %1").arg(error));
                break;
            }
            }
        });
    }
    menu->popup(anchor->mapToGlobal(point));
}
