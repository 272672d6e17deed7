#include "Models/Canvas.h"
#include "Platform/AppIdentity.h"
#include "Platform/QuitSignals.h"
#include "Views/Appearance.h"
#include "Views/QuillsheetApp.h"

#include <QApplication>
#include <QLabel>
#include <QSessionManager>

namespace {

// Stands in for the canvas editor until it joins the program.
QWidget* placeholderEditor(const CanvasPtr& canvas, QUndoStack*)
{
    auto* label = new QLabel(canvas->name());
    label->setAlignment(Qt::AlignCenter);
    label->setStyleSheet(QStringLiteral("background: #000000; color: #8e8e93; font-size: 22px;"));
    return label;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    applyApplicationIdentity();
    applyDarkAppearance(app);

    QuillsheetApp quillsheet(QuillsheetApp::Environment::standard(&placeholderEditor));
    const QuillsheetApp::StartResult result = quillsheet.init();
    if (result != QuillsheetApp::StartResult::running)
        return QuillsheetApp::exitCode(result);

    // Whatever ends the program saves first: quit, logout, termination signals.
    QuitSignals quitSignals;
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &quillsheet,
                     [&](QSessionManager&) { quillsheet.save(); });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &quillsheet, [&] { quillsheet.save(); });

    quillsheet.window()->show();
    return app.exec();
}
