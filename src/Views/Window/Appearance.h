#pragma once

#include <QColor>
#include <QIcon>
#include <QString>

#include <functional>

class QApplication;
class QPainter;

// The window is always dark: Fusion with a dark palette, and one style for
// every menu of the program, context menus included, whose dividers show.
void applyDarkAppearance(QApplication& app);

// An icon of the given side drawn in code, at single and double pixel
// density: draw paints on a clear, antialiased square of that side. An
// icon without pixmaps as soon as draw returns false.
QIcon drawnIcon(int size, const std::function<bool(QPainter&)>& draw);

// Small line symbols drawn in code, so the program looks the same whatever
// icon theme the desktop has. Names: "plus", "square.grid.2x2", "pencil",
// "plus.square.on.square", "square.and.arrow.up", "trash", "exclamationmark.triangle".
QIcon symbolIcon(const QString& name, const QColor& color, int size = 16);

// A filled circle, for colour entries in menus.
QIcon colorDotIcon(const QColor& color, int size = 12);
