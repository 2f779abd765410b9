#pragma once

#include <functional>
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

struct stat;

// The walk through a stick's folders that the copy, the import, the sync and
// the archive check share. Blocking, for worker threads.

// A folder the listing could not read, and why (in words).
struct CartellaNonLetta {
    QString percorso;
    QString motivo;
    int errore = 0; // the system's code, when the system gave one
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
