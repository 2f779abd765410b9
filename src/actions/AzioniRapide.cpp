#include "actions/AzioniRapide.h"

#include "actions/Appunti.h"
#include "app/USBMonitor.h"
#include "operations/AlertPresenter.h"
#include "operations/DesktopOpener.h"
#include "operations/Orologio.h"
#include "platform/Espulsore.h"

#include <QCoro/QCoroFuture>
#include <QDir>
#include <QSaveFile>
#include <QtConcurrent/QtConcurrentRun>

namespace {
std::optional<USBDrive> ultimaOAvviso(const USBMonitor *monitor, const Servizi &servizi)
{
    std::optional<USBDrive> drive = monitor ? monitor->lastDrive() : std::nullopt;
    if (!drive)
        servizi.avvisi->mostraAvviso(QStringLiteral("Nessuna USB"),
                                     QStringLiteral("Non ci sono USB inserite."), StileAvviso::informativo);
    return drive;
}

// Empty on success, else the system's reason. A failed write leaves no partial
// note behind: the bytes reach the stick under a temporary name and are
// flushed before the final name appears.
QString scrivi(const QString &percorso, const QByteArray &dati)
{
    QSaveFile file(percorso);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    if (file.write(dati) != dati.size()) {
        const QString errore = file.errorString();
        file.cancelWriting();
        return errore;
    }
    if (!file.commit())
        return file.errorString();
    return {};
}

// The write runs on a worker: a slow stick must not freeze the panel. (Awaits
// here take named values only: GCC 12 can destroy temporaries of a co_await
// expression twice.)
QCoro::Task<QString> scriviNota(QString percorso, QByteArray dati)
{
    const QString errore = co_await QtConcurrent::run(scrivi, percorso, dati);
    co_return errore;
}

QString percorsoNota(const USBDrive &drive, const QString &nome)
{
    return QDir(drive.path()).filePath(nome);
}

void avvisoErrore(const Servizi &servizi, const QString &testo)
{
    servizi.avvisi->mostraAvviso(QStringLiteral("Errore"), testo, StileAvviso::avvertenza);
}
} // namespace

QString nomeAppunti(const QString &ext)
{
    return QStringLiteral("appunti_") + Orologio::adesso().toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss")) +
           QLatin1Char('.') + ext;
}

QCoro::Task<> apriUltimaUSB(const USBMonitor *monitor, Servizi servizi)
{
    const auto drive = ultimaOAvviso(monitor, servizi);
    if (drive)
        servizi.apritore->apri(drive->url);
    co_return;
}

QCoro::Task<> apriUltimaUSBConNota(const USBMonitor *monitor, Servizi servizi)
{
    const auto drive = ultimaOAvviso(monitor, servizi);
    if (!drive)
        co_return;
    // An empty clipboard still gives a note: the user asked for a page to write on.
    const QString testo = servizi.appunti->testo().value_or(QString());
    const QString percorso = percorsoNota(*drive, nomeAppunti(QStringLiteral("txt")));
    const QByteArray byte = testo.toUtf8();
    const QString errore = co_await scriviNota(percorso, byte);
    if (!errore.isEmpty()) {
        avvisoErrore(servizi, QStringLiteral("Impossibile creare il file: %1").arg(errore));
        co_return;
    }
    servizi.apritore->apri(drive->url);
    servizi.apritore->apri(QUrl::fromLocalFile(percorso));
}

QCoro::Task<> salvaNotaTestoEdEspelli(const USBMonitor *monitor, Servizi servizi)
{
    const auto drive = ultimaOAvviso(monitor, servizi);
    if (!drive)
        co_return;
    const QString testo = servizi.appunti->testo().value_or(QString());
    if (testo.isEmpty()) {
        servizi.avvisi->mostraAvviso(QStringLiteral("Appunti vuoti"),
                                     QStringLiteral("Non c'è testo negli appunti da salvare."),
                                     StileAvviso::informativo);
        co_return;
    }
    const QString nome = nomeAppunti(QStringLiteral("txt"));
    const QString percorso = percorsoNota(*drive, nome);
    const QByteArray byte = testo.toUtf8();
    const QString errore = co_await scriviNota(percorso, byte);
    if (!errore.isEmpty()) {
        avvisoErrore(servizi, QStringLiteral("Impossibile creare il file: %1").arg(errore));
        co_return;
    }
    const USBDrive stick = *drive;
    co_await espelliDopoNota(servizi, stick, nome);
}

QCoro::Task<> salvaNotaFormattataEdEspelli(const USBMonitor *monitor, Servizi servizi)
{
    const auto drive = ultimaOAvviso(monitor, servizi);
    if (!drive)
        co_return;
    QString nome;
    QByteArray byte;
    QString prefissoErrore;
    if (const auto rtf = servizi.appunti->rtf()) {
        nome = nomeAppunti(QStringLiteral("rtf"));
        byte = *rtf;
        prefissoErrore = QStringLiteral("Impossibile creare il file RTF: ");
    } else if (const QString testo = servizi.appunti->testo().value_or(QString()); !testo.isEmpty()) {
        nome = nomeAppunti(QStringLiteral("txt"));
        byte = testo.toUtf8();
        prefissoErrore = QStringLiteral("Impossibile creare il file: ");
    } else {
        servizi.avvisi->mostraAvviso(QStringLiteral("Appunti vuoti"),
                                     QStringLiteral("Non c'è contenuto negli appunti da salvare."),
                                     StileAvviso::informativo);
        co_return;
    }
    const QString percorso = percorsoNota(*drive, nome);
    const QString errore = co_await scriviNota(percorso, byte);
    if (!errore.isEmpty()) {
        avvisoErrore(servizi, prefissoErrore + errore);
        co_return;
    }
    const USBDrive stick = *drive;
    co_await espelliDopoNota(servizi, stick, nome);
}

QCoro::Task<> espelliDopoNota(Servizi servizi, USBDrive drive, QString nomeFile)
{
    const QString punto = drive.path();
    const EsitoEspulsione esito = co_await servizi.espulsore->espelli(punto);
    if (esito.ok)
        co_return;
    const QChar virgolette = QLatin1Char('"');
    servizi.avvisi->mostraAvviso(
        QStringLiteral("Nota salvata, ma espulsione non riuscita"),
        QStringLiteral("Il file ") + virgolette + nomeFile + virgolette +
            QStringLiteral(" è stato salvato su ") + virgolette + drive.name + virgolette +
            QStringLiteral(
                ", ma macOS non ha potuto espellere la chiavetta. Probabilmente ci sono file aperti.\n\n"
                "Chiudi le app che la usano e riprova con l'icona \u23CF\uFE0E.\n\nDettagli: ") +
            esito.descrizione,
        StileAvviso::avvertenza);
}
