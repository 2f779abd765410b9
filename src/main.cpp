#include "app/QuillonApp.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tessera"));
    QApplication::setOrganizationName(QStringLiteral("Orvala"));
    QApplication::setApplicationDisplayName(QStringLiteral("Orvala – Tessera"));
    QApplication::setDesktopFileName(QStringLiteral("tessera"));
    QApplication::setQuitOnLastWindowClosed(false);

    if (QuillonApp::inoltraAIstanzaEsistente())
        return 0;

    QuillonApp shell;
    return app.exec();
}
