#pragma once

#include <QFile>
#include <QTemporaryDir>
#include <sys/mount.h>

// A small tmpfs mounted on a temporary folder (root only): a disk that fills
// up, or a stick that can be pulled out mid-copy.
struct MontaggioTmpfs {
    QTemporaryDir punto;
    bool montato = false;

    explicit MontaggioTmpfs(const QByteArray &dimensione)
    {
        montato = ::mount("tmpfs", QFile::encodeName(punto.path()).constData(), "tmpfs", 0,
                          ("size=" + dimensione).constData()) == 0;
    }
    ~MontaggioTmpfs() { stacca(); }
    MontaggioTmpfs(const MontaggioTmpfs &) = delete;
    MontaggioTmpfs &operator=(const MontaggioTmpfs &) = delete;

    // Lazily, as a pulled stick: open files stay readable, new lookups fail.
    void stacca()
    {
        if (montato)
            ::umount2(QFile::encodeName(punto.path()).constData(), MNT_DETACH);
        montato = false;
    }
    QString filePath(const QString &nome) const { return punto.filePath(nome); }
};
