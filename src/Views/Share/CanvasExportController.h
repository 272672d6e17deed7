#pragma once

#include "Models/RecordPointers.h"
#include "Services/CanvasPrintView.h"

#include <QByteArray>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class Defaults;
class QPagedPaintDevice;
class QPrinter;
class QTemporaryDir;
class QWidget;

// The dialogs the output operations open; tests answer them themselves.
class ExportDialogs {
public:
    virtual ~ExportDialogs() = default;
    // The print dialog for printer; true when the user chose to print.
    virtual bool runPrintDialog(QPrinter& printer, QWidget* parent) = 0;
    // The file to save to, proposing proposedName; empty when cancelled.
    virtual QString chooseSaveFile(QWidget* parent, const QString& proposedName) = 0;
    // A warning alert with a message and an informative text.
    virtual void showAlert(QWidget* parent, const QString& message, const QString& informativeText) = 0;
};

// Offers a file to whatever can take it, anchored at point in anchor.
class SharePicker {
public:
    virtual ~SharePicker() = default;
    virtual void offer(const QString& filePath, QWidget* anchor, const QPoint& point) = 0;
};

// Prints a canvas, makes its one-page PDF, saves that PDF and hands the PDF
// or the canvas's exchange file to the share picker. Every operation lays
// the page out first, so what is printed or saved is the canvas as it was
// when asked, whatever happens to it while a dialog is open.
class CanvasExportController : public QObject {
    Q_OBJECT
public:
    using ExchangeData = std::function<std::optional<QByteArray>(const CanvasPtr& canvas)>;
    // The PDF bytes of a laid-out page; none when no PDF could be made.
    using PdfData = std::function<std::optional<QByteArray>(const PrintPage& page, const QString& title)>;

    explicit CanvasExportController(Defaults& defaults, QObject* parent = nullptr);
    ~CanvasExportController() override;

    static const QString failureTitle;
    static const QString failureText;
    // The alert's title when a print job fails.
    static const QString printFailureTitle;
    // The alert's title when the file to share cannot be written.
    static const QString shareFailureTitle;

    void setDialogs(std::shared_ptr<ExportDialogs> dialogs) { m_dialogs = std::move(dialogs); }
    void setSharePicker(std::shared_ptr<SharePicker> picker) { m_picker = std::move(picker); }
    void setExchangeData(ExchangeData data) { m_exchangeData = std::move(data); }
    void setPdfData(PdfData data) { m_pdfData = std::move(data); }
    // The window that has the keyboard, where dialogs go without a view.
    void setKeyWindow(std::function<QWidget*()> keyWindow) { m_keyWindow = std::move(keyWindow); }
    QWidget* keyWindow() const;
    // How long a shared file stays before its folder goes (60 s).
    void setShareFileLifetime(int milliseconds) { m_shareLifetime = milliseconds; }
    // Where share folders are made (the system's temporary folder).
    void setShareFolderRoot(const QString& path) { m_shareRoot = path; }
    int pendingShareCount() const { return int(m_pendingShares.size()); }

    // The page of the canvas for mode, in the user's current light or dark choice.
    PrintPage pageFor(const CanvasPtr& canvas, ExportMode mode) const;

    void printCanvas(const CanvasPtr& canvas, QWidget* view = nullptr);
    std::optional<QByteArray> exportPDF(const CanvasPtr& canvas) const;
    void savePDF(const CanvasPtr& canvas, QWidget* window = nullptr);
    void sharePDF(const CanvasPtr& canvas, QWidget* view, const QPoint& point);
    void shareCanvas(const CanvasPtr& canvas, QWidget* view, const QPoint& point);

    // Prints the page on printer as it is set up, breaking pages between rows.
    static bool printPage(QPagedPaintDevice& printer, const PrintPage& page);
    // What printing the page on printer would put into its output file.
    static std::optional<QByteArray> printedPdf(const QPrinter& printer, const PrintPage& page);
    // The margins and name a print job starts with.
    static void preparePrinter(QPrinter& printer, const QString& documentName);

Q_SIGNALS:
    // A share folder was removed (tests wait for it).
    void shareFolderRemoved(const QString& path);

private:
    void shareFile(const QString& name, const QString& extension, const QByteArray& bytes, QWidget* view,
                   const QPoint& point);

    Defaults& m_defaults;
    std::shared_ptr<ExportDialogs> m_dialogs;
    std::shared_ptr<SharePicker> m_picker;
    ExchangeData m_exchangeData;
    PdfData m_pdfData;
    std::function<QWidget*()> m_keyWindow;
    int m_shareLifetime = 60000;
    QString m_shareRoot;
    std::vector<std::unique_ptr<QTemporaryDir>> m_pendingShares;
};

// The standard dialogs: print dialog, save dialog, message box.
class DesktopExportDialogs : public ExportDialogs {
public:
    bool runPrintDialog(QPrinter& printer, QWidget* parent) override;
    QString chooseSaveFile(QWidget* parent, const QString& proposedName) override;
    void showAlert(QWidget* parent, const QString& message, const QString& informativeText) override;
};

// A menu of what this desktop can do with a file.
class DesktopSharePicker : public SharePicker {
public:
    void offer(const QString& filePath, QWidget* anchor, const QPoint& point) override;
};
