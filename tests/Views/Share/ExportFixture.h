#pragma once

#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/ModelContext.h"
#include "Platform/Defaults.h"
#include "Services/PrintFixture.h"
#include "Views/Share/CanvasExportController.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QMainWindow>
#include <QPrinter>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>
#include <functional>
#include <memory>

// Answers the output dialogs as a test says and notes every question.
class FakeExportDialogs : public ExportDialogs {
public:
    bool runPrintDialog(QPrinter& printer, QWidget* parent) override
    {
        printParents.append(parent);
        printDocumentNames.append(printer.docName());
        return onPrint ? onPrint(printer) : false;
    }
    QString chooseSaveFile(QWidget* parent, const QString& proposedName) override
    {
        saveParents.append(parent);
        proposedNames.append(proposedName);
        if (onSave)
            onSave();
        return saveAnswer;
    }
    void showAlert(QWidget*, const QString& message, const QString& informativeText) override
    {
        alerts.append(message + QStringLiteral(" | ") + informativeText);
    }

    // Print dialog: accepts after setting up the printer when set.
    std::function<bool(QPrinter&)> onPrint;
    // Save dialog: runs while "open", then answers saveAnswer (empty: cancel).
    std::function<void()> onSave;
    QString saveAnswer;

    QList<QWidget*> printParents;
    QStringList printDocumentNames; // as the dialog saw them
    QList<QWidget*> saveParents;
    QStringList proposedNames;
    QStringList alerts;
};

// Records what is offered, with the file's contents at that moment.
class FakeSharePicker : public SharePicker {
public:
    void offer(const QString& filePath, QWidget* anchor, const QPoint& point) override
    {
        paths.append(filePath);
        anchors.append(anchor);
        points.append(point);
        contents.append(fileBytes(filePath));
    }
    QStringList paths;
    QList<QWidget*> anchors;
    QList<QPoint> points;
    QList<QByteArray> contents;
};

class ExportFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        controller.setDialogs(dialogs);
        controller.setSharePicker(picker);
        controller.setShareFolderRoot(shareRoot.path());
        controller.setExchangeData([this](const CanvasPtr& canvas) -> std::optional<QByteArray> {
            if (!exchangeWorks)
                return std::nullopt;
            return QByteArray("{\"canvases\":[\"") + canvas->name().toUtf8() + "\"]}";
        });
        controller.setKeyWindow([this]() -> QWidget* { return keyWindowPresent ? &window : nullptr; });
        window.setCentralWidget(new QWidget(&window));
        context.insert(canvas);
    }

    BlockPtr addRow(const QString& label, const QString& expression, std::optional<double> result)
    {
        const BlockPtr row = CalculationBlock::create(BlockType::calculation, expression, QString(), label, 20,
                                                      double(canvas->blocks().size()) * 56, 400, 44, "#00D4FF");
        row->setCanvas(canvas);
        row->setResult(result);
        return row;
    }

    void addRows(int count)
    {
        for (int i = 0; i < count; ++i)
            addRow(QStringLiteral("Posten%1").arg(i, 3, 10, QLatin1Char('0')), QStringLiteral("%1 + 1").arg(i), i + 1.0);
    }

    // Prints into a PDF file instead of a printer.
    std::function<bool(QPrinter&)> printInto(const QString& path)
    {
        return [path](QPrinter& printer) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(path);
            return true;
        };
    }

    QStringList shareFolders() const
    {
        return QDir(shareRoot.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    }

    QString writeFile(const QString& name, const QByteArray& bytes) const
    {
        return writeFileBytes(dir.filePath(name), bytes);
    }

    QTemporaryDir dir;
    QTemporaryDir shareRoot;
    Defaults defaults{dir.filePath(QStringLiteral("prefs.conf"))};
    ModelContext context;
    CanvasPtr canvas = Canvas::create(QStringLiteral("Budget"), 0, 0, 1);
    std::shared_ptr<FakeExportDialogs> dialogs = std::make_shared<FakeExportDialogs>();
    std::shared_ptr<FakeSharePicker> picker = std::make_shared<FakeSharePicker>();
    CanvasExportController controller{defaults};
    QMainWindow window;
    bool keyWindowPresent = true;
    bool exchangeWorks = true;
};
