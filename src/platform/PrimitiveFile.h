#pragma once

#include <functional>
#include <QByteArray>
#include <QString>
#include <sys/types.h>

// The file operations of the copies, the digests and the stick checks that
// each system offers in its own way: naming a file without replacing another,
// copying bytes inside the kernel, pushing written data towards the medium,
// keeping a file out of the cache, reading only what is already in memory.
// Defined once per operating system, in platform/<os>/. Blocking, for worker
// threads; none keeps a descriptor.

// open(2) with close-on-exec, retried when a signal interrupts it. A path of
// any length: one longer than the system accepts is opened folder by folder,
// never following a link on the way.
int apriPercorso(const QString &percorso, int flag, mode_t modo = 0666);
// openat(2) of `nome` in the folder `cartella` (or AT_FDCWD), likewise. With
// `diretto` the data bypass the page cache; a file system that cannot do that
// refuses with EINVAL, at the open or at the first transfer.
int apriIn(int cartella, const QByteArray &nome, int flag, mode_t modo = 0666, bool diretto = false);
// `relativo` below the folder `cartella`, at any depth, never leaving it and
// never through a link on the way; where the system cannot promise that, only
// the last step is kept from links. -1 with errno as open(2) sets it.
int apriSotto(int cartella, const QByteArray &relativo, int flag);

// Renames `da` to `a` inside the folder `cartella` only when `a` does not
// exist: 0, EEXIST when it does, EINVAL, ENOSYS or EOPNOTSUPP where the file
// system cannot refuse in the same step, or another errno.
int rinominaSenzaSostituire(int cartella, const QByteArray &da, const QByteArray &a);

// Copies what `in` holds from its offset to its end into `out`, inside the
// kernel where it can: 0, or the errno that stopped the copy. `passo`, when
// given, hears the bytes copied so far after each piece, a few times a second
// even from a slow stick; when it answers false the copy stops there with
// ECANCELED. `lettura`, when given, tells whether reading `in` failed rather
// than writing `out`: a failing stick, not a full archive.
int copiaContenuto(int in, int out, const std::function<bool(qint64 copiati)> &passo = {},
                   bool *lettura = nullptr);

// Starts writing the file's unwritten pages to the medium, without waiting.
void avviaScrittura(int fd);
// Writes them and waits until the device has them: the pages are clean
// afterwards, without a flush of the device's own cache (fdatasync does that).
void attendiScrittura(int fd);
// Drops the file's clean pages from the cache: the next read comes from the medium.
void togliDallaCache(int fd);
// The file is about to be read from its start to its end...
void letturaSequenziale(int fd);
// ...once: its pages go before the ones programs use again.
void letturaUnica(int fd);
// Has the system fetch the first `byte` of the file now, without waiting.
void chiediInAnticipo(int fd, qint64 byte);
// read(2) at the current offset of only what is already in memory: -1 with
// EAGAIN when the data would have to come from the medium, or when the system
// cannot tell.
ssize_t leggiDallaMemoria(int fd, void *buffer, size_t byte);

// The system's own words for an error code the program has none for.
QString testoErroreSistema(int codice);
