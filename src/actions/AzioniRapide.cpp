#include "actions/ComandiAzioni.h"
#include "actions/Espulsione.h"
#include "comune/ElencoChiavette.h"
#include "comune/NomiFile.h"
#include "operations/Orologio.h"
#include "operations/PresentatoreAvvisi.h"
#include "platform/AperturaDesktop.h"
#include "platform/Appunti.h"
#include "platform/Espulsore.h"
#include "platform/TestiPiattaforma.h"

#include <QCoro/QCoroFuture>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QtConcurrent/QtConcurrentRun>
#include <sys/stat.h>

namespace {
struct NotaScritta {
    QString nome;   // the name it took on the stick
    QString errore; // empty on success, else the system's reason
};

// A note never replaces another, not even one written in the same second: the
// first free name of "appunti_{stamp}.{ext}", "appunti_{stamp}_1.{ext}", ... is
// claimed with an exclusive create, then the text replaces only that empty
// claim. A failed write leaves no partial note behind: the bytes reach the
// stick under a temporary name and are flushed before the final name appears.
NotaScritta scrivi(const QString &cartella, const QString &ext, const QByteArray &dati)
{
    const QString stamp = Orologio::timestamp();
    for (int k = 0; k < 1000; ++k) {
        const QString nome = QStringLiteral("appunti_") + stamp +
                             (k > 0 ? QLatin1Char('_') + QString::number(k) : QString()) + QLatin1Char('.') +
                             ext;
        const QString percorso = QDir(cartella).filePath(nome);
        QFile posto(percorso);
        if (!posto.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            struct stat st;
            if (::lstat(codificaNome(percorso).constData(), &st) == 0)
                continue;
            return {nome, posto.errorString()};
        }
        posto.close();
        QSaveFile file(percorso);
        QString errore;
        if (!file.open(QIODevice::WriteOnly)) {
            errore = file.errorString();
        } else if (file.write(dati) != dati.size()) {
            errore = file.errorString();
            file.cancelWriting();
        } else if (!file.commit()) {
            errore = file.errorString();
        }
        if (!errore.isEmpty())
            posto.remove();
        return {nome, errore};
    }
    return {QString(), QStringLiteral("troppe note con lo stesso orario")};
}

// The write runs on a worker: a slow stick must not freeze the panel. The
// future is named (README, "GCC 12 and coroutines").
QCoro::Task<NotaScritta> scriviNota(QString cartella, QString ext, QByteArray dati)
{
    const NotaScritta esito = co_await QtConcurrent::run(scrivi, cartella, ext, dati);
    co_return esito;
}

void avvisoErrore(const Servizi &servizi, const QString &testo)
{
    servizi.avvisi->mostraAvviso(QStringLiteral("Errore"), testo, StileAvviso::avvertenza);
}
// Ejects `drive` after the note `nomeFile` was saved on it; a refusal is told
// with both names, since the note is there and the stick is not free yet.
QCoro::Task<> espelliDopoNota(Servizi servizi, USBDrive drive, QString nomeFile)
{
    const EsitoEspulsione esito = co_await espelliEAnnuncia(servizi, drive);
    if (esito.ok)
        co_return;
    const QChar virgolette = QLatin1Char('"');
    servizi.avvisi->mostraAvviso(
        QStringLiteral("Nota salvata, ma espulsione non riuscita"),
        QStringLiteral("Il file ") + virgolette + nomeFile + virgolette +
            QStringLiteral(" è stato salvato su ") + virgolette + drive.name + virgolette +
            testoPiattaforma(TestoPiattaforma::espulsioneDopoNotaNonRiuscita) + esito.descrizione,
        StileAvviso::avvertenza);
}
} // namespace

QCoro::Task<> apriUltimaUSB(Servizi servizi, const ElencoChiavette *chiavette)
{
    const auto drive = ultimaChiavettaOAvviso(chiavette, servizi);
    if (drive)
        servizi.apritore->apri(drive->url);
    co_return;
}

QCoro::Task<> apriUltimaUSBConNota(Servizi servizi, const ElencoChiavette *chiavette)
{
    const auto drive = ultimaChiavettaOAvviso(chiavette, servizi);
    if (!drive)
        co_return;
    // An empty clipboard still gives a note: the user asked for a page to write on.
    const QString testo = servizi.appunti->testo().value_or(QString());
    const QByteArray byte = testo.toUtf8();
    const NotaScritta nota = co_await scriviNota(drive->path(), QStringLiteral("txt"), byte);
    if (!nota.errore.isEmpty()) {
        avvisoErrore(servizi, QStringLiteral("Impossibile creare il file: %1").arg(nota.errore));
        co_return;
    }
    servizi.apritore->apri(drive->url);
    servizi.apritore->apri(QUrl::fromLocalFile(QDir(drive->path()).filePath(nota.nome)));
}

QCoro::Task<> salvaNotaTestoEdEspelli(Servizi servizi, const ElencoChiavette *chiavette)
{
    const auto drive = ultimaChiavettaOAvviso(chiavette, servizi);
    if (!drive)
        co_return;
    const QString testo = servizi.appunti->testo().value_or(QString());
    if (testo.isEmpty()) {
        servizi.avvisi->mostraAvviso(QStringLiteral("Appunti vuoti"),
                                     QStringLiteral("Non c'è testo negli appunti da salvare."),
                                     StileAvviso::informativo);
        co_return;
    }
    const QByteArray byte = testo.toUtf8();
    const NotaScritta nota = co_await scriviNota(drive->path(), QStringLiteral("txt"), byte);
    if (!nota.errore.isEmpty()) {
        avvisoErrore(servizi, QStringLiteral("Impossibile creare il file: %1").arg(nota.errore));
        co_return;
    }
    const USBDrive stick = *drive;
    co_await espelliDopoNota(servizi, stick, nota.nome);
}

QCoro::Task<> salvaNotaFormattataEdEspelli(Servizi servizi, const ElencoChiavette *chiavette)
{
    const auto drive = ultimaChiavettaOAvviso(chiavette, servizi);
    if (!drive)
        co_return;
    QString ext;
    QByteArray byte;
    QString prefissoErrore;
    if (const auto rtf = servizi.appunti->rtf()) {
        ext = QStringLiteral("rtf");
        byte = *rtf;
        prefissoErrore = QStringLiteral("Impossibile creare il file RTF: ");
    } else if (const QString testo = servizi.appunti->testo().value_or(QString()); !testo.isEmpty()) {
        ext = QStringLiteral("txt");
        byte = testo.toUtf8();
        prefissoErrore = QStringLiteral("Impossibile creare il file: ");
    } else {
        servizi.avvisi->mostraAvviso(QStringLiteral("Appunti vuoti"),
                                     QStringLiteral("Non c'è contenuto negli appunti da salvare."),
                                     StileAvviso::informativo);
        co_return;
    }
    const NotaScritta nota = co_await scriviNota(drive->path(), ext, byte);
    if (!nota.errore.isEmpty()) {
        avvisoErrore(servizi, prefissoErrore + nota.errore);
        co_return;
    }
    const USBDrive stick = *drive;
    co_await espelliDopoNota(servizi, stick, nota.nome);
}
