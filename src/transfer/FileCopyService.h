#pragma once

#include "comune/USBDrive.h"
#include "operations/Avanzamento.h"
#include "operations/Servizi.h"
#include "transfer/Collocazione.h"
#include "transfer/Manifesto.h"

#include <functional>
#include <optional>
#include <QCoro/QCoroTask>
#include <QSet>
#include <QString>
#include <QStringList>
#include <stop_token>

class AppSettings;

// The result of one copy run. Every file listed is counted once: in copiati,
// errori, giaPresenti or interrotti.
struct EsitoCopia {
    qint64 copiati = 0;           // timestamped ones included
    qint64 rinominati = 0;        // copied under a timestamped name because the plain one was taken
    qint64 errori = 0;            // files whose copy failed, and folders that could not be read
    QStringList nomiRinominati;   // names on the stick, in copy order
    qint64 verificati = 0;        // copies whose two digests are equal
    QStringList nonVerificati;    // names on the stick, in copy order
    QStringList cartelleNonLette; // "“folder”: reason", each also counted in errori
    EsitoManifesto manifesto;     // of the verified copies; written by copia(), not by eseguiCopia()
    qint64 giaPresenti = 0;       // the same bytes were already archived (GiaInArchivio): not copied
    QStringList falliti;          // "“path on the stick”: reason", each also counted in errori
    qint64 illeggibili = 0;       // of errori and nonVerificati: files and folders the stick could not read
    // Not in the archive because the user stopped the run ("Annulla"): nothing
    // of them was left there, half-written or unproven.
    qint64 interrotti = 0;

    friend bool operator==(const EsitoCopia &, const EsitoCopia &) = default;
};

// The result of one automatic import.
struct EsitoImportazione {
    qint64 nuovi = 0;             // copied and verified
    qint64 saltati = 0;           // the very same image is already archived
    qint64 errori = 0;            // copy failed, or a folder could not be read
    qint64 corrotti = 0;          // copied, but the digests differ or one is missing; the copy stays
    QStringList cartelleNonLette; // "“folder”: reason", each also counted in errori
    EsitoManifesto manifesto;     // of the new images; written by importaAutomaticamente()
    QStringList falliti;          // "“path on the stick”: reason", for each of errori and corrotti
    qint64 illeggibili = 0;       // of errori and corrotti: files and folders the stick could not read
    qint64 interrotti = 0;        // as in EsitoCopia

    friend bool operator==(const EsitoImportazione &, const EsitoImportazione &) = default;
};

// Copies the files of a stick into the archive folder, laid out as the
// settings say (Collocazione), never replacing
// anything, then proves each copy by comparing SHA-256 digests of both sides
// read back from the media. Holds no state: plain functions. Of the archive
// folders only the default one is created when missing: a chosen one that is
// gone (a disk unplugged, a share not mounted) is refused, never made again.
namespace FileCopyService {
// Main thread. Creates the folder, takes the operation card, copies on the
// thread pool, lists the verified copies in a manifest named after the
// stick's folder, notes in the stick's history the files it could not read,
// then shows the summary and logs one line. When the archive holds anything
// of the stick, the summary offers "Apri {cartella}" beside "OK" and opens
// the archive folder if chosen. Returns after the
// summary alert is dismissed, or at once when it refuses to start.
// `soloFile`, when given, are the files to copy (any of the stick's volumes)
// instead of every file under `sorgente`. The panel's copy commands and the
// wipe's "Copia prima" start it. The card names the stick, tells the speed and
// the time left, and offers "Annulla": the copy then stops within a moment,
// keeps the copies already proven (and their manifest) and says so.
QCoro::Task<> copia(Servizi servizi, QString sorgente, QString destinazione,
                    std::optional<QSet<QString>> estensioni = std::nullopt,
                    std::optional<QStringList> soloFile = std::nullopt);

// Any thread but the main one: the copy and verification themselves.
// `estensioni`: lower-case, no dot; absent = every file. `verificati`, when
// given, receives each copy that passed the verification, for the manifest.
// Progress carries the bytes done and in all. Once `stop` is requested the
// file being copied or proven stops within a piece, and every file not yet
// proven is left out of the archive and counted in interrotti.
EsitoCopia eseguiCopia(const QString &sorgente, const std::optional<QSet<QString>> &estensioni,
                       const Collocazione &destinazione, const Riferisci &riferisci = {},
                       QList<VoceManifesto> *verificati = nullptr,
                       const std::optional<QStringList> &soloFile = std::nullopt, std::stop_token stop = {});

// Any thread but the main one: the automatic import's copies
// (importaAutomaticamente). Each batch of images is verified right after it is
// flushed; `verificati` and `stop` as for eseguiCopia.
EsitoImportazione eseguiImportazione(const QString &sorgente, const Collocazione &destinazione,
                                     const QSet<QString> &estensioni, const Riferisci &riferisci = {},
                                     QList<VoceManifesto> *verificati = nullptr, std::stop_token stop = {});

// `cartella`: the archive folder's name, for the files found already there.
QString testoRiepilogo(const EsitoCopia &esito, const QString &cartella = QString());
QString rigaRegistro(const QString &destinazione, const EsitoCopia &esito);
QString rigaRegistroImportazione(const QString &nome, const EsitoImportazione &esito);
QString corpoNotifica(const QString &nome, const EsitoImportazione &esito);
// The outcome of a run stopped with "Annulla": never a success, never a failure.
QString testoCopiaInterrotta(const EsitoCopia &esito, const QString &cartella);

// Why the archive folder cannot be used, for the user; empty when it is there
// or is the default one, which is made on first use. A folder the user chose
// that is gone is a disk unplugged or a network share not mounted: one made
// in its place on this computer would take the copies where the practice does
// not look, and a later mount would hide them.
QString archivioNonRaggiungibile(const QString &cartella, const AppSettings *settings);

// Where the files of the stick mounted at `sorgente`, named `chiavetta`, go
// today in `archivio`, as the settings lay the archive out (main thread).
Collocazione collocazione(const AppSettings *settings, const QString &archivio, const QString &sorgente,
                          const QString &chiavetta);

// Thread-pool queue priorities: a copy the user asked for goes before an
// import nobody is waiting for.
inline constexpr int prioritaCopia = 1;
inline constexpr int prioritaImportazione = -1;
} // namespace FileCopyService
