#include "Views/Window/PlainAlert.h"

void showPlainAlert(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
                    const QString& informativeText)
{
    QMessageBox alert(icon, title, text, QMessageBox::Ok, parent);
    alert.setInformativeText(informativeText);
    // After both texts: the format reaches the informative text only once it exists.
    alert.setTextFormat(Qt::PlainText);
    alert.exec();
}
