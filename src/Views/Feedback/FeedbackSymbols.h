#pragma once

#include <QColor>
#include <QIcon>
#include <QString>

// The feedback form's symbols, drawn in code like the rest of the program's:
// "envelope.badge", "checkmark.circle.fill", "exclamationmark.circle.fill".
QIcon feedbackSymbol(const QString& name, const QColor& color, int size);
