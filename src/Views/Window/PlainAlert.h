#pragma once

#include <QMessageBox>
#include <QString>

class QWidget;

// A modal alert whose texts are shown exactly as they are: file names, paths
// and error texts from elsewhere are never read as markup.
void showPlainAlert(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
                    const QString& informativeText = QString());
