#include "Models/Canvas.h"
#include "Platform/AppIdentity.h"
#include "Platform/QuitSignals.h"
#include "Views/Window/Appearance.h"
#include "Views/Canvas/CanvasView.h"
#include "Views/Window/QuillsheetApp.h"

#include <QApplication>
#include <QDateTime>
#include <QEvent>
#include <QFile>
#include <QLoggingCategory>
#include <QSessionManager>

Q_LOGGING_CATEGORY(startupLog, "quillsheet.startup", QtWarningMsg)

namespace {

QWidget* canvasEditor(const CanvasPtr& canvas, QUndoStack* undoStack)
{
    return new CanvasView(canvas, canvas->context(), undoStack);
}

// Measuring aid (scripts/measure-startup.sh): with the rule
// "quillsheet.startup.info=true" the first paint of the window is logged
// with the wall clock and the resident memory.
class FirstPaintProbe : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !m_done) {
            m_done = true;
            qCInfo(startupLog, "first paint at %lld ms, resident %s", QDateTime::currentMSecsSinceEpoch(),
                   qPrintable(residentMemory()));
        }
        return false;
    }

private:
    static QString residentMemory()
    {
        QFile status(QStringLiteral("/proc/self/status"));
        if (status.open(QIODevice::ReadOnly))
            for (const QByteArray& line : status.readAll().split('\n'))
                if (line.startsWith("VmRSS:"))
                    return QString::fromLatin1(line.mid(6).simplified());
        return QStringLiteral("unknown");
    }
    bool m_done = false;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    applyApplicationIdentity();
    applyDarkAppearance(app);

    QuillsheetApp quillsheet(QuillsheetApp::Environment::standard(&canvasEditor));
    const QuillsheetApp::StartResult result = quillsheet.init();
    if (result != QuillsheetApp::StartResult::running)
        return QuillsheetApp::exitCode(result);

    // Whatever ends the program saves first: quit, logout, termination signals.
    QuitSignals quitSignals;
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &quillsheet,
                     [&](QSessionManager&) { quillsheet.save(); });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &quillsheet, [&] { quillsheet.save(); });

    FirstPaintProbe probe;
    if (startupLog().isInfoEnabled())
        quillsheet.window()->installEventFilter(&probe);
    quillsheet.window()->show();
    return app.exec();
}
