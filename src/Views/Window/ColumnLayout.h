#pragma once

#include <QMargins>
#include <QString>
#include <QVBoxLayout>
#include <QWidget>

// Names widget and gives it a column with the given margins and spacing,
// the frame of every page and section of the settings and feedback forms.
inline QVBoxLayout* namedColumn(QWidget* widget, const QString& objectName, int margin, int spacing)
{
    widget->setObjectName(objectName);
    auto* column = new QVBoxLayout(widget);
    column->setContentsMargins(margin, margin, margin, margin);
    column->setSpacing(spacing);
    return column;
}
