#pragma once

#include <QColor>
#include <QLabel>
#include <QString>

class QHBoxLayout;
class QWidget;

// The shared look of the settings tabs.
namespace SettingsLook {

enum class Tone { primary, secondary, tertiary, quaternary };
QColor toneColor(Tone tone);
QColor accentColor();

// A caption in the system font at the given pixel size.
QLabel* caption(const QString& text, int pixelSize, Tone tone, QWidget* parent, int weight = 400);
// A row that starts with a primary caption; its control goes on the right.
QHBoxLayout* titledRow(const QString& title, int pixelSize, QWidget* parent);
// A thin line between sections.
QWidget* divider(QWidget* parent);
// Plain text and number fields: padded 8 by 4, faint white, rounded 4.
QString fieldStyleSheet();
// Checkboxes without a label.
QString checkboxStyleSheet();

} // namespace SettingsLook
