#include "app/QuillonApp.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tessera"));
    QApplication::setOrganizationName(QStringLiteral("Orvala"));
    QApplication::setApplicationDisplayName(QStringLiteral("Orvala – Tessera"));
    QApplication::setDesktopFileName(QStringLiteral("tessera"));
    QApplication::setQuitOnLastWindowClosed(false);

    // Tessera speaks Italian whatever the desktop's language: Qt's own dialogs
    // (folder chooser, standard buttons) follow suit.
    QTranslator qtItaliano;
    if (qtItaliano.load(QStringLiteral("qtbase_it"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtItaliano);

    if (QuillonApp::inoltraAIstanzaEsistente())
        return 0;

    QuillonApp shell;
    return app.exec();
}
