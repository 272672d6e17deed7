#pragma once

#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/Identifiers.h"
#include "Models/Link.h"
#include "Models/ModelContext.h"
#include "Platform/Defaults.h"
#include "Views/Library/CanvasListView.h"
#include "Views/Window/ContentView.h"
#include "Views/Library/ExchangeDialogs.h"

#include <QTemporaryDir>
#include <QUndoStack>
#include <QWidget>
#include <gtest/gtest.h>
#include <memory>

// Stands in for the canvas editor; notes whether its canvas was still whole
// when the editor went.
class EditorDouble : public QWidget {
public:
    EditorDouble(const CanvasPtr& canvas, QUndoStack* undoStack, QList<QString>* log)
        : canvas(canvas)
        , undoStack(undoStack)
        , m_log(log)
    {
        m_log->append(QStringLiteral("open ") + canvas->name());
    }
    ~EditorDouble() override
    {
        m_log->append(QStringLiteral("close ") + canvas->name()
                      + (canvas->isDeleted() ? QStringLiteral(" (already deleted)") : QString()));
    }
    CanvasPtr canvas;
    QUndoStack* undoStack;

private:
    QList<QString>* m_log;
};

// Answers the export and import dialogs as told and keeps every alert.
class ExchangeDialogsDouble : public ExchangeDialogs {
public:
    std::optional<QString> chooseExportFile(QWidget*, const QString& proposedName) override
    {
        proposedNames.append(proposedName);
        return exportPath;
    }
    QStringList chooseImportFiles(QWidget*) override
    {
        ++importDialogs;
        return importPaths;
    }
    void showAlert(QWidget*, const ExchangeFailure& failure) override { alerts.append(failure); }

    std::optional<QString> exportPath; // none: the save dialog is cancelled
    QStringList importPaths;           // empty: the open dialog is cancelled
    QStringList proposedNames;         // one per save dialog shown
    int importDialogs = 0;
    QList<ExchangeFailure> alerts;
};

class ShellFixture : public ::testing::Test {
protected:
    void TearDown() override
    {
        window.reset();
        Clock::setSource({});
    }

    ContentView& makeWindow()
    {
        window = std::make_unique<ContentView>(
            &context,
            [this](const CanvasPtr& canvas, QUndoStack* stack) -> QWidget* {
                return new EditorDouble(canvas, stack, &editorLog);
            },
            defaults);
        window->library()->setDeleteConfirmation([this](const QString& title, const QString& message) {
            alerts.append(title + u'|' + message);
            return confirmDeletes;
        });
        window->library()->setExchangeDialogs(exchangeDialogs);
        window->setMessagePresenter(
            [this](const QString& title, const QString& text) { messages.append(title + u'|' + text); });
        return *window;
    }

    // A stored canvas last modified minutesAgo before a fixed now.
    CanvasPtr addCanvas(const QString& name, int minutesAgo)
    {
        const CanvasPtr canvas = Canvas::create(name, 0, 0, 1);
        canvas->setCreatedAt(now().addSecs(-minutesAgo * 60 - 3600));
        canvas->setModifiedAt(now().addSecs(-minutesAgo * 60));
        context.insert(canvas);
        return canvas;
    }

    BlockPtr addRow(const CanvasPtr& canvas, const QString& expression, const QString& color = QStringLiteral("#00D4FF"))
    {
        const BlockPtr row = CalculationBlock::create(BlockType::calculation, expression, QString(), QString(), 20,
                                                      canvas->blocks().size() * 44.0, 200, 44, color);
        row->setCanvas(canvas);
        return row;
    }

    static QDateTime now() { return QDateTime(QDate(2026, 3, 11), QTime(14, 5), Qt::LocalTime); }

    EditorDouble* editor() const { return dynamic_cast<EditorDouble*>(window->editor()); }
    QStringList names(const QList<CanvasPtr>& canvases) const
    {
        QStringList list;
        for (const CanvasPtr& canvas : canvases)
            list << canvas->name();
        return list;
    }
    QString remembered() const { return defaults.stringValue(QStringLiteral("lastOpenedCanvasID")).value_or(QString()); }

    QTemporaryDir dir;
    Defaults defaults{dir.filePath(QStringLiteral("prefs.conf"))};
    ModelContext context;
    std::unique_ptr<ContentView> window;
    QList<QString> editorLog;
    QStringList alerts;
    QStringList messages;
    bool confirmDeletes = true;
    std::shared_ptr<ExchangeDialogsDouble> exchangeDialogs = std::make_shared<ExchangeDialogsDouble>();
};
