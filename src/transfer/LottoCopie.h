#pragma once

#include <functional>
#include <QHash>
#include <QList>
#include <QString>
#include <thread>
#include <vector>

struct EsitoCopiaFile {
    bool ok = false;
    QString destinazione; // where the copy landed (may be a timestamped name)
    QString errore;       // readable sentence when !ok
    QString motivo;       // the same reason alone ("spazio esaurito sul disco"), for lists of files
    // The name already held these very bytes (another computer placed the
    // same file meanwhile): nothing was placed, `destinazione` is that file.
    bool giaPresente = false;
    // !ok because the source gave an input/output error: a failing stick, not a full archive.
    bool illeggibile = false;
    // Stopped on request (LottoCopie::Passo) before it was whole: nothing of it is left.
    bool interrotta = false;
};

// Gives the file `temporaneo` of the folder `cartella` the name `nome`, never
// replacing a file of that name: a rename that refuses to replace, else a
// hard link, else (FAT and exFAT through FUSE, some network file systems) the
// name claimed with an exclusive create and our own claim replaced by the
// rename. 0, EEXIST when the name is taken, or another errno.
int collocaSenzaSostituire(int cartella, const QByteArray &temporaneo, const QByteArray &nome);

// Copies `sorgente` to `destinazione` without ever replacing an existing file:
// the data go to a hidden temporary file in the destination folder, are flushed
// to the medium, and are moved to the final name with a rename that refuses to
// replace. When the name is (or becomes) taken, the next timestamped name is
// used. The parent folder is created. No partial file is ever left behind.
EsitoCopiaFile copiaSenzaSovrascrivere(const QString &sorgente, const QString &destinazione);

// Several no-overwrite copies made durable together: the one way the copy,
// the import and the sync write files. Each file's data go to a hidden
// temporary file beside its final name; completing the batch flushes them to
// the medium and only then gives each its final name with a rename that never
// replaces. Writing starts as each file is added, the files of a batch are
// flushed together and each folder once, so thousands of small files do not
// wait for the disk one by one. Only the batch's own files are flushed, never
// the whole file system: the archive may share it with the rest of the
// computer. A batch can be completed behind the caller while the next one is
// written: the disk flushes one while the other fills. Blocking; one thread
// at a time.
class LottoCopie {
public:
    // What became of each file of a batch, in the order they were added.
    using Completati = std::function<void(QList<EsitoCopiaFile> risultati)>;
    // Hears the bytes of one file copied so far, a few times a second; false
    // stops that copy (copiaContenuto).
    using Passo = std::function<bool(qint64 copiati)>;

    LottoCopie() = default;
    ~LottoCopie(); // waits for the batch behind; temporary files never completed are removed
    LottoCopie(const LottoCopie &) = delete;
    LottoCopie &operator=(const LottoCopie &) = delete;

    // Copies `sorgente` into a hidden temporary file in the folder of
    // `destinazione` (created when missing). On failure nothing is left behind
    // and the result says why; on success the file waits for the batch to complete.
    // A copy that `passo` stops leaves nothing either, and says it was interrupted.
    EsitoCopiaFile aggiungi(const QString &sorgente, const QString &destinazione, const Passo &passo = {});

    int inAttesa() const { return int(m_attesa.voci.size()); }
    qint64 byteInAttesa() const { return m_byte; }
    // Time to complete: few enough flushes for thousands of small files, and
    // never a long wait on one.
    bool pieno() const { return inAttesa() >= 128 || byteInAttesa() >= (qint64(128) << 20); }

    // Flushes the waiting files, then moves each to its final name or, when that
    // is taken, to the next timestamped one; after the batch behind, if any, is
    // done. One result per waiting file, in the order they were added. The
    // batch is empty afterwards.
    QList<EsitoCopiaFile> completa();
    // The same behind the caller: a thread of its own flushes and names the
    // waiting files, then hands their results to `poi` on that thread, while the
    // batch, empty at once, takes the next files. One batch at a time is
    // behind: this first waits for the one handed over before.
    void completaDietro(Completati poi);
    // Waits until the batch behind, its `poi` included, is done.
    void attendiDietro();

    // Drops every waiting file, temporary files included: for a destination
    // that went away before the batch could be flushed.
    void abbandona();

    // Off: a missing destination folder is an error rather than made again.
    // For a flat archive, whose vanishing means a disk or share went away.
    void creaCartelle(bool si) { m_creaCartelle = si; }

    // Tests only: behave as on a file system without the no-replace rename
    // (senzaRinominaEsclusiva) or without hard links as well (senzaCollegamenti).
    enum class FileSystemSimulato { normale, senzaRinominaEsclusiva, senzaCollegamenti };
    static void simulaFileSystem(FileSystemSimulato modo);

private:
    struct Voce {
        int fd = -1;
        int cartellaFd = -1;
        QByteArray temporaneo; // name inside the folder
        QString destinazione;
        QString errore, motivo;
    };

    // Files and the folder descriptors they share, completed together.
    struct Parte {
        std::vector<Voce> voci;
        QHash<QString, int> cartelle; // open folder descriptors, shared by the files of one folder
    };

    int apriCartella(const QString &cartella, QString *errore, QString *motivo);
    static void scarta(Voce &voce);
    static void scarica(std::vector<Voce> &voci);
    static EsitoCopiaFile nomina(Voce &voce);
    static QList<EsitoCopiaFile> completaParte(Parte &parte);

    Parte m_attesa;
    qint64 m_byte = 0;
    bool m_creaCartelle = true;
    std::thread m_dietro;
};
