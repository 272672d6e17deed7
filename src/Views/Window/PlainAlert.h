#pragma once

#include <QMessageBox>
#include <QString>

class QWidget;

// A modal alert whose texts are shown exactly as they are: file names, paths
// and error texts from elsewhere are never read as markup.
void showPlainAlert(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
                    const QString& informativeText = QString());

// Characters an alert shows of one text: more would not fit on a screen,
// and laying out a megabyte name would hold the program for seconds.
constexpr qsizetype alertTextLength = 1000;

// The text cut to alertTextLength characters with "…" (no surrogate pair split).
QString boundedAlertText(const QString& text, qsizetype length = alertTextLength);
