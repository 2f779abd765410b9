#include "app/QuillonApp.h"
#include "comune/Marchio.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(Marchio::nomeProdotto);
    QApplication::setOrganizationName(Marchio::produttore);
    // Qt adds it to every window title: "Impostazioni — Tessera".
    QApplication::setApplicationDisplayName(Marchio::nomeProdotto);
    QApplication::setDesktopFileName(QStringLiteral("tessera"));
    QApplication::setQuitOnLastWindowClosed(false);

    // Without a configured locale (a bare session, a kiosk account) times and
    // sizes would come out in the C locale's form; Tessera's users read Italian.
    if (QLocale::system().language() == QLocale::C)
        QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy));

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
