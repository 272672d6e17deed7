#pragma once

#include <QColor>
#include <QIcon>
#include <QString>

class QApplication;

// The window is always dark: Fusion with a dark palette.
void applyDarkAppearance(QApplication& app);

// Small line symbols drawn in code, so the program looks the same whatever
// icon theme the desktop has. Names: "plus", "square.grid.2x2", "pencil",
// "plus.square.on.square", "square.and.arrow.up", "trash", "exclamationmark.triangle".
QIcon symbolIcon(const QString& name, const QColor& color, int size = 16);

// A filled circle, for colour entries in menus.
QIcon colorDotIcon(const QColor& color, int size = 12);
