#pragma once

#include <array>
#include <functional>
#include <optional>
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <stop_token>
#include <vector>

struct stat;

// SHA-256 of files, each way a flow needs it: to prove a copy (read back from
// the medium), to compare files (through the page cache), many files in a row
// (reading ahead), or with a stop request heard at any moment. Blocking, for
// worker threads.

// A moment as the file system keeps it. Seconds and nanoseconds stay apart: a
// single count of nanoseconds in 64 bits runs out in the year 2262, and two
// different times of a file could then give the same key.
struct Istante {
    qint64 secondi = 0;
    qint64 nanosecondi = 0; // 0 to 999,999,999

    friend auto operator<=>(const Istante &, const Istante &) = default;
};

// What identifies one state of a file's contents without reading them. The
// change time cannot be set by a program, so a file rewritten with its old
// modification time put back still gets a new key.
struct ChiaveFile {
    qint64 dimensione = 0;
    Istante modifica;
    quint64 inode = 0;
    Istante cambio;

    static ChiaveFile da(const struct stat &info);
    friend bool operator==(const ChiaveFile &, const ChiaveFile &) = default;
};

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

// 64 lower-case hex digits.
QByteArray esadecimale(const Sha256::Valore &valore);

// SHA-256 of the file as 64 lower-case hex digits, read from the medium rather
// than from cached pages; empty when the file cannot be read.
std::optional<QString> hashSHA256(const QString &file);

// For digests of many files in a row: drops the cached pages of `file` and has
// the kernel start fetching its first megabytes from the device, without
// waiting, so the disk works on the next file while the current one is hashed.
// hashSHA256Anticipato(file) then hashes what that fetch brought in.
// A stop request is heard within a piece of 256 KiB; a stopped digest is empty.
void anticipaLettura(const QString &file);
std::optional<QString> hashSHA256Anticipato(const QString &file, std::stop_token stop = {});
// What anticipaLettura asks for at most, per file.
inline constexpr qint64 byteAnticipati = qint64(32) << 20;

// SHA-256 for comparing files, not for proving a copy: read through the page
// cache, so data already in memory are not fetched again and no one else's
// cached pages are dropped. Empty when the file cannot be read, or when `stop`
// came first (heard within a piece of 256 KiB).
std::optional<QString> hashSHA256InCache(const QString &file, std::stop_token stop = {});

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
    // file that will be asked for next, or empty. Empty when not readable, or
    // when `stop` came first: it is heard within a read of 64 KiB, also in the
    // middle of a large file.
    std::optional<Valore> digest(QByteArrayView relativo, QByteArrayView prossimo = {},
                                 const std::stop_token &stop = {});

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

// One file read for a comparison that may be stopped at any moment (the check
// before a wipe): through the page cache, in blocks small enough that a stop
// request is heard within one even on a slow stick.
struct LetturaFermabile {
    std::optional<QByteArray> digest; // 64 hex digits; none: unreadable, changed while read, or stopped
    QString motivo;                   // why it could not be read
    ChiaveFile chiave;                // as it was when opened
};
// `letti` gets the size of each block read.
LetturaFermabile leggiFermabile(const QByteArray &percorso, std::stop_token stop,
                                const std::function<void(qint64 letti)> &letti);
