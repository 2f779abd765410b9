#pragma once

#include "operations/Avanzamento.h"
#include "transfer/GiaInArchivio.h"
#include "transfer/LottoCopie.h"

#include <functional>
#include <QList>
#include <QSet>
#include <QString>
#include <stop_token>

// What became of one file of a run into the archive.
struct FileArchiviato {
    enum class Esito {
        giaPresente,   // the archive holds its bytes already (GiaInArchivio): not copied
        nonCopiato,    // `motivo` says why
        collocato,     // copied to `destinazione`, to be proven
        verificato,    // both sides read back give `sha256`
        nonVerificato, // the two digests differ, or a side could not be read; the copy stays
        // The run was stopped before it was proven: nothing of it is in the
        // archive. A copy already placed (`destinazione`) was taken away again.
        interrotto,
    };
    Esito esito = Esito::giaPresente;
    QString sorgente;        // on the stick
    QString destinazione;    // in the archive: where the copy landed
    QString motivo;          // nonCopiato
    bool rinominato = false; // collocato under a timestamped name: the plain one was taken
    QString sha256;          // verificato
    // nonCopiato or nonVerificato because the stick itself could not be read
    // (an input/output error): a sign of a failing stick.
    bool illeggibile = false;
};

// The copies of one run into the archive folder, for the copy and the
// automatic import, each where the layout puts it (Collocazione). A file whose bytes the archive holds
// already is left out; the others go into a batch (LottoCopie), and each full batch is flushed and its copies
// proven, both sides read back from the media, behind the caller while the next batch is being written. What
// became of each file is told to the caller's `esito`, on the caller's thread, as soon as it is known here:
// a file left out at once, a batch's files once the caller hands over the next
// batch or completes the run. Once `stop` is requested, the file being
// copied and the proof under way stop within a piece, and completa() drops
// what is not proven: the archive keeps only proven copies. Blocking; one thread.
class CopieInArchivio {
public:
    using Esito = std::function<void(const FileArchiviato &)>;

    // The archive folder is not made again if it goes away meanwhile; the
    // folders below it are made as needed.
    CopieInArchivio(const Collocazione &collocazione, Esito esito, std::stop_token stop = {});
    ~CopieInArchivio();
    CopieInArchivio(const CopieInArchivio &) = delete;
    CopieInArchivio &operator=(const CopieInArchivio &) = delete;

    // Copies `file` (`dimensione` bytes) where the layout puts it, under its
    // own name, or the next timestamped one when that is taken. `passo` hears
    // the bytes of it copied so far.
    void aggiungi(const QString &file, qint64 dimensione, const LottoCopie::Passo &passo = {});
    // Flushes the last batch and proves its copies here, in front of the user:
    // `avanzamento` hears of that phase and of each pair (counting those proven
    // behind), when anything is left to prove. Every outcome is told by then.
    void completa(const Riferisci &avanzamento = {});

private:
    // A copy placed by a batch: where from, where it landed, how big.
    struct Coppia {
        QString sorgente;
        QString destinazione;
        qint64 dimensione = 0;
    };
    QString preparaCartella(const QString &destinazione);
    void consegna();
    void raccogli();
    static QList<Coppia> collocate(const QList<Coppia> &inAttesa, const QList<EsitoCopiaFile> &risultati,
                                   QList<FileArchiviato> *esiti);
    static void verifica(const QList<Coppia> &coppie, qsizetype giaVerificate,
                         const std::function<void(const FileArchiviato &)> &esito,
                         const Riferisci &avanzamento, const std::stop_token &stop);

    Collocazione m_collocazione;
    Esito m_esito;
    std::stop_token m_stop;
    GiaInArchivio m_archiviati;
    LottoCopie m_lotto;
    QList<Coppia> m_inAttesa;            // in the batch being written
    QSet<QString> m_nomiInAttesa;        // their plain targets
    QSet<QString> m_nomiDietro;          // and those of the batch behind
    QList<FileArchiviato> m_esitiDietro; // written by the batch behind until it is done
    qsizetype m_verificateDietro = 0;    // likewise
    QSet<QString> m_cartellePronte;      // folders below the archive made or found so far
};
