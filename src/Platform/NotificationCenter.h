#pragma once

#include <QObject>
#include <QString>

// The program's in-process notifications for menu commands. A poster names
// what is wanted; whichever view owns the work listens for that name. Nothing
// is carried with a notification: observers use their own state.
class NotificationCenter : public QObject {
    Q_OBJECT
public:
    static NotificationCenter& defaultCenter();

    // Posts on the calling (main) thread; observers run before post() returns.
    void post(const QString& name);

Q_SIGNALS:
    void posted(const QString& name);
};

// Command names; each text is the constant's own name.
namespace CommandNotification {
inline const QString newCanvasRequested = QStringLiteral("newCanvasRequested");
inline const QString importCanvasesRequested = QStringLiteral("importCanvasesRequested");
inline const QString exportCanvasesRequested = QStringLiteral("exportCanvasesRequested");
inline const QString printCanvasRequested = QStringLiteral("printCanvasRequested");
inline const QString openManualRequested = QStringLiteral("openManualRequested");
inline const QString showFeedbackSheet = QStringLiteral("showFeedbackSheet");
}
