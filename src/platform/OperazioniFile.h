#pragma once

#include <optional>
#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <sys/types.h>

struct stat;

// The plain POSIX file work every folder shares, the same on every system
// (what differs per system is in PrimitiveFile.h). Blocking, for worker threads.

// Closes the descriptor at the end of the scope.
class Descrittore {
public:
    explicit Descrittore(int fd = -1) : m_fd(fd) {}
    ~Descrittore() { chiudi(); }
    Descrittore(const Descrittore &) = delete;
    Descrittore &operator=(const Descrittore &) = delete;

    int fd() const { return m_fd; }
    bool aperto() const { return m_fd >= 0; }
    // Closes now: 0, or the errno of a close that failed (a write that did not land).
    int chiudi();

private:
    int m_fd;
};

// Writes all of `dati`: 0, or the errno that stopped it. A write that takes
// less than it was given means a full medium; with `diretto` (data bypassing
// the cache) the rest could not be written unaligned anyway.
int scriviTutto(int fd, QByteArrayView dati, bool diretto = false);
// What `fd` holds from its offset to its end; none when a read fails.
std::optional<QByteArray> leggiTutto(int fd);

// The regular file `file` opened for reading, with `info` filled; -1 when it
// cannot be opened or is anything else. A link is not followed, and a FIFO put
// where a file was does not hang the caller.
int apriFileRegolare(const QString &file, struct stat *info);
// `fd` when it is a regular file, with `info` filled; else -1 with `fd`
// closed (and -1 for -1).
int soloFileRegolare(int fd, struct stat *info);

// The size of the file itself (a link is not followed); none when it cannot be looked at.
std::optional<qint64> dimensione(const QString &file);
// The same, only for a regular file: none for a folder, a link or a device.
std::optional<qint64> dimensioneFileRegolare(const QString &file);
// The names in the folder `cartella`, as on the medium, hidden ones included
// ("." and ".." not); none when it cannot be opened or read to its end.
std::optional<QList<QByteArray>> nomiIn(const QString &cartella);
// The device that holds `percorso`; none when it cannot be looked at.
std::optional<dev_t> dispositivoDi(const QString &percorso);

// The size of a file system in bytes: all of it, what an ordinary user may
// still write, and its allocation unit. Named apart from the panel's
// SpazioVolume: two types of one name in one program share their inline code.
struct SpazioFileSystem {
    qint64 totale = 0;
    qint64 libero = 0;
    qint64 unita = 1;
};
// None, with errno set, when the file system cannot be asked. Some FUSE file
// systems answer with a size of 0: "not known", not "full".
std::optional<SpazioFileSystem> spazioVolume(const QString &cartella);

// Creates `cartella` with its missing parents; an existing folder is fine.
// On failure `errore` (when given) receives a readable reason.
bool creaCartella(const QString &cartella, QString *errore = nullptr);
// Creates the folders of the relative path `relativo` below `cartella`, which
// must exist: it is never made again (a share not mounted), and no link on the
// way is followed. An existing folder is fine. On failure `errore` (when
// given) receives a readable reason.
bool creaSotto(const QString &cartella, const QString &relativo, QString *errore = nullptr);

// Where the failing file was, for the wording of its error.
enum class Supporto { disco, chiavetta };
// A system error code in words, for the messages the user reads.
QString descrizioneErrore(int codice, Supporto supporto = Supporto::disco);
