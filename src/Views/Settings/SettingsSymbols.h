#pragma once

#include <QColor>
#include <QIcon>
#include <QString>

// Line symbols of the settings window and the sync indicator, drawn in code
// like the rest of the window's symbols. Names: "gearshape", "xmark",
// "arrow.clockwise", "envelope.badge", "checkmark.circle.fill",
// "xmark.circle.fill", "cloud", "arrow.triangle.2.circlepath.icloud",
// "checkmark.icloud", "icloud.slash", "xmark.icloud", "exclamationmark.icloud".
// Any other name is handed to symbolIcon.
QIcon settingsSymbolIcon(const QString& name, const QColor& color, int size = 16);
