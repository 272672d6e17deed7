#include "Platform/AppIdentity.h"

#include <QApplication>
#include <QPlainTextEdit>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    applyApplicationIdentity();
    QPlainTextEdit window;
    window.setReadOnly(true);
    window.setWindowTitle(QStringLiteral("Quillsheet"));
    window.setPlainText(QStringLiteral("Quillsheet"));
    window.resize(640, 480);
    window.show();
    return app.exec();
}
