#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/ObjectStore.h"
#include "Platform/AppIdentity.h"
#include "Platform/QuitSignals.h"

#include <QApplication>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSessionManager>

namespace {

// Until the editor window exists: the library as plain text.
QString libraryText(ModelContext& context)
{
    QString text;
    const auto canvases = context.canvasesByModifiedAt();
    if (canvases.isEmpty())
        return QStringLiteral("No canvases yet.");
    for (const CanvasPtr& canvas : canvases) {
        text += canvas->name() + QLatin1Char('\n');
        for (const BlockPtr& row : canvas->blocks()) {
            text += QStringLiteral("  %1\t%2\t%3\n")
                        .arg(row->label(), row->expression(),
                             row->result() ? QString::number(*row->result()) : row->errorMessage().value_or(QString()));
        }
    }
    return text;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    applyApplicationIdentity();

    QString error;
    std::unique_ptr<ObjectStore> store = ObjectStore::open(ObjectStore::defaultPath(), &error);
    if (!store) {
        QMessageBox::critical(nullptr, QStringLiteral("Quillsheet"), error);
        return 1;
    }
    QuitSignals quitSignals;
    QObject::connect(&app, &QGuiApplication::commitDataRequest, store.get(), [&](QSessionManager&) { store->save(); });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, store.get(), [&] { store->save(); });

    QPlainTextEdit window;
    window.setReadOnly(true);
    window.setWindowTitle(QStringLiteral("Quillsheet"));
    window.setPlainText(libraryText(store->context()));
    QObject::connect(&store->context(), &ModelContext::changed, &window,
                     [&] { window.setPlainText(libraryText(store->context())); });
    window.resize(640, 480);
    window.show();
    return app.exec();
}
