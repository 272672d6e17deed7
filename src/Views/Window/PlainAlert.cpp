#include "Views/Window/PlainAlert.h"

void showPlainAlert(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
                    const QString& informativeText)
{
    QMessageBox alert(icon, boundedAlertText(title), boundedAlertText(text), QMessageBox::Ok, parent);
    alert.setInformativeText(boundedAlertText(informativeText));
    // After both texts: the format reaches the informative text only once it exists.
    alert.setTextFormat(Qt::PlainText);
    alert.exec();
}

QString boundedAlertText(const QString& text, qsizetype length)
{
    if (text.size() <= length)
        return text;
    qsizetype end = length;
    if (text[end - 1].isHighSurrogate() && text[end].isLowSurrogate())
        --end;
    return text.left(end) + QStringLiteral("…");
}
