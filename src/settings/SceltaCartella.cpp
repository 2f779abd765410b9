#include "settings/SceltaCartella.h"

#include "settings/AppSettings.h"

#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>

namespace {
const QString titoloScelta = QStringLiteral("Scegli cartella di destinazione");
const QString messaggioScelta = QStringLiteral("Seleziona la cartella dove copiare i file dalle USB");

// Qt's chooser has a window title but no message line, so the message goes in
// as a row of its own above the chooser's controls, where the desktop's own
// choosers put it.
void aggiungiMessaggio(QFileDialog &dialogo, const QString &messaggio)
{
    auto *griglia = qobject_cast<QGridLayout *>(dialogo.layout());
    if (!griglia)
        return;
    struct Posto {
        QLayoutItem *elemento;
        int riga, colonna, righe, colonne;
    };
    QList<Posto> posti;
    while (griglia->count() > 0) {
        Posto p{};
        griglia->getItemPosition(0, &p.riga, &p.colonna, &p.righe, &p.colonne);
        p.elemento = griglia->takeAt(0);
        posti.append(p);
    }
    auto *etichetta = new QLabel(messaggio, &dialogo);
    etichetta->setObjectName(QStringLiteral("messaggioScelta"));
    etichetta->setWordWrap(true);
    griglia->addWidget(etichetta, 0, 0, 1, -1);
    for (const Posto &p : std::as_const(posti))
        griglia->addItem(p.elemento, p.riga + 1, p.colonna, p.righe, p.colonne);
}
} // namespace

bool scegliCartella(AppSettings &settings, QWidget *parent)
{
    QFileDialog dialogo(parent, titoloScelta, settings.destinationPath());
    dialogo.setObjectName(QStringLiteral("sceltaCartella"));
    // Qt's own chooser rather than the desktop's: only it can show the message.
    dialogo.setOption(QFileDialog::DontUseNativeDialog);
    dialogo.setFileMode(QFileDialog::Directory); // one folder, no files; new folders allowed
    dialogo.setOption(QFileDialog::ShowDirsOnly);
    dialogo.setAcceptMode(QFileDialog::AcceptOpen);
    aggiungiMessaggio(dialogo, messaggioScelta);

    dialogo.show();
    dialogo.raise();
    dialogo.activateWindow();
    if (dialogo.exec() != QDialog::Accepted)
        return false;
    const QStringList scelte = dialogo.selectedFiles();
    if (scelte.isEmpty() || scelte.first().isEmpty())
        return false;
    settings.setDestinationPath(QDir::cleanPath(scelte.first()));
    return true;
}
