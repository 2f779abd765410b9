#pragma once

#include "transfer/OperazioniFile.h"

#include <QHash>
#include <QList>
#include <QString>
#include <sys/types.h>
#include <vector>

// Several no-overwrite copies made durable together. Each file's data go to a
// hidden temporary file beside its final name; completa() flushes them to the
// medium and only then gives each its final name with a rename that never
// replaces. A flush costs milliseconds on most disks, so a copy of thousands of
// small files flushes once per batch instead of once per file.
// Blocking; one thread at a time.
class LottoCopie {
public:
    enum class Scaricamento {
        perFile,       // fdatasync of each file: the cheapest for one or two files
        perFileSystem, // one syncfs per file system for the whole batch
    };

    explicit LottoCopie(Scaricamento modo = Scaricamento::perFileSystem);
    ~LottoCopie(); // temporary files of a batch never completed are removed
    LottoCopie(const LottoCopie &) = delete;
    LottoCopie &operator=(const LottoCopie &) = delete;

    // Copies `sorgente` into a hidden temporary file in the folder of
    // `destinazione` (created when missing). On failure nothing is left behind
    // and the result says why; on success the file waits for completa().
    EsitoCopiaFile aggiungi(const QString &sorgente, const QString &destinazione);

    int inAttesa() const { return int(m_voci.size()); }
    qint64 byteInAttesa() const { return m_byte; }

    // Flushes the waiting files, then moves each to its final name or, when that
    // is taken, to the next timestamped one. One result per waiting file, in the
    // order they were added. The batch is empty afterwards.
    QList<EsitoCopiaFile> completa();

    // Tests only: behave as on a file system without the no-replace rename
    // (senzaRinominaEsclusiva) or without hard links as well (senzaCollegamenti).
    enum class FileSystemSimulato { normale, senzaRinominaEsclusiva, senzaCollegamenti };
    static void simulaFileSystem(FileSystemSimulato modo);

private:
    struct Voce {
        int fd = -1;
        int cartellaFd = -1;
        dev_t dispositivo = 0;
        QByteArray temporaneo; // name inside the folder
        QString destinazione;
        QString errore;
    };

    int apriCartella(const QString &cartella, QString *errore);
    void scarta(Voce &voce);

    Scaricamento m_modo;
    std::vector<Voce> m_voci;
    QHash<QString, int> m_cartelle; // open folder descriptors, shared by the files of one folder
    qint64 m_byte = 0;
};
