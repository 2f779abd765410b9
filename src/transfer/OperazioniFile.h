#pragma once

#include "comune/NomiFile.h"

#include <array>
#include <functional>
#include <optional>
#include <QString>
#include <QStringList>
#include <vector>

struct stat;

// File operations shared by the copy, the automatic import and the sync.
// All of them are blocking and meant for worker threads.

// A folder the listing could not read, and why (in words).
struct CartellaNonLetta {
    QString percorso;
    QString motivo;
};

// "“folder”: reason" for each, as the user reads it.
QStringList descriviNonLette(const QList<CartellaNonLetta> &nonLette);

// Every regular file under `cartella`, recursively, in enumeration order.
// Hidden entries (names starting with ".") are neither listed nor entered;
// symbolic links, FIFOs, sockets and devices are never returned or followed.
// Each folder that could not be opened or read to its end, or whose entries
// could not be looked at, goes to `nonLette`: its files are unknown, and the
// caller must say so rather than report the stick as done. Depth is not limited
// by the length of a path.
QStringList elencaFile(const QString &cartella, QList<CartellaNonLetta> *nonLette = nullptr);
// The same walk without a list: `file` gets each file's path (the bytes of
// `cartella` as codificaNome gives them, then the names on the medium) and its
// size, one at a time.
void percorriFile(const QString &cartella, const std::function<void(const QByteArray &, qint64)> &file,
                  QList<CartellaNonLetta> *nonLette = nullptr);
// The same with all the listing learnt of each file (lstat), and, in
// `nascosti`, how many hidden entries it left aside.
void percorriFile(const QString &cartella,
                  const std::function<void(const QByteArray &, const struct stat &)> &file,
                  QList<CartellaNonLetta> *nonLette = nullptr, qint64 *nascosti = nullptr);

// A path inside `cartella` that does not exist yet: "{base}_{stamp}.{ext}",
// then "{base}_{stamp}_1.{ext}", ... with stamp "yyyy-MM-dd_HH-mm-ss".
QString urlConTimestamp(const QString &file, const QString &cartella);
// That stamp as a regular expression, to recognise the names made with it.
inline constexpr char schemaTimestamp[] = R"(\d{4}-\d{2}-\d{2}_\d{2}-\d{2}-\d{2})";

// SHA-256 of the file as 64 lower-case hex digits, read from the medium rather
// than from cached pages; empty when the file cannot be read.
std::optional<QString> hashSHA256(const QString &file);

// For digests of many files in a row: drops the cached pages of `file` and has
// the kernel start fetching its first megabytes from the device, without
// waiting, so the disk works on the next file while the current one is hashed.
// hashSHA256Anticipato(file) then hashes what that fetch brought in.
void anticipaLettura(const QString &file);
std::optional<QString> hashSHA256Anticipato(const QString &file);

// SHA-256 for comparing files, not for proving a copy: read through the page
// cache, so data already in memory are not fetched again and no one else's
// cached pages are dropped. Empty when the file cannot be read.
std::optional<QString> hashSHA256InCache(const QString &file);

// A SHA-256 fed piece by piece, for every reader of files here. Reusable:
// ricomincia() starts the next digest.
class Sha256 {
public:
    using Valore = std::array<unsigned char, 32>;

    Sha256();
    ~Sha256();
    Sha256(const Sha256 &) = delete;
    Sha256 &operator=(const Sha256 &) = delete;

    bool ricomincia(); // false when the library cannot
    bool aggiungi(const void *dati, size_t byte);
    std::optional<Valore> fine();

private:
    void *m_contesto; // EVP_MD_CTX
};

// SHA-256 of many files below one folder, one after another, for comparing
// rather than proving: read through the page cache, so data already in memory
// are not fetched again and no one else's cached pages are dropped. While the
// files come from memory each costs little more than its open and its read;
// once one has to wait for the medium, the start of the next file is asked for
// before the current one is hashed, so the disk works while the processor
// does. Blocking; one thread per object.
class DigestInFila {
public:
    using Valore = Sha256::Valore;

    explicit DigestInFila(const QString &radice);
    ~DigestInFila();
    DigestInFila(const DigestInFila &) = delete;
    DigestInFila &operator=(const DigestInFila &) = delete;

    // `relativo` (bytes as on the medium) below the folder; `prossimo` the
    // file that will be asked for next, or empty. Empty when not readable.
    std::optional<Valore> digest(QByteArrayView relativo, QByteArrayView prossimo = {});

private:
    int apriFile(QByteArrayView relativo, struct stat *info) const;
    void chiudiProssimo();

    int m_radice = -1;
    QByteArray m_prefisso;   // for paths too long for openat
    bool m_dalDisco = false; // a file had to wait for the medium
    int m_prossimoFd = -1;   // opened ahead, with its fetch started
    QByteArray m_prossimo;
    std::vector<unsigned char> m_buffer;
    Sha256 m_sha;
};

// Creates `cartella` with its missing parents; an existing folder is fine.
// On failure `errore` (when given) receives a readable reason.
bool creaCartella(const QString &cartella, QString *errore = nullptr);

// open(2) of a path of any length: one longer than the system accepts is
// opened folder by folder, never following a link on the way.
int apriPercorso(const QString &percorso, int flag);

// For the life of one background task of the panel: its thread, and the
// threads it starts, yield the processor to the main thread whenever both want
// it, so the panel answers at once however busy the copy is. Nothing slows
// down when the processor is free. Only a little lower than the panel: a
// worker starved by other programs while it holds a lock the main thread also
// takes (the allocator's, the event queue's) would stall the panel with it.
class PrioritaLavoro {
public:
    PrioritaLavoro();
    ~PrioritaLavoro();
    PrioritaLavoro(const PrioritaLavoro &) = delete;
    PrioritaLavoro &operator=(const PrioritaLavoro &) = delete;

private:
    int m_prima;
};

// A system error code in words, for the messages the user reads.
QString descrizioneErrore(int codice);
