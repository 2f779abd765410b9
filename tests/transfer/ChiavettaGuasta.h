#pragma once

#include "support/TestEnv.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <sys/mount.h>
#include <sys/stat.h>

// A failing stick: chiavetta_guasta.py mirrors `radice` on `punto` through
// FUSE and answers EIO for the chosen folders and files, slowly if asked. `perche` says why it could not
// be mounted.
struct ChiavettaGuasta {
    QTemporaryDir radice, punto;
    QProcess fuse;
    QString perche;

    explicit ChiavettaGuasta(const QStringList &guasti)
    {
        if (!TestSupport::isRoot() || !QFileInfo::exists("/dev/fuse")) {
            perche = "a FUSE stick needs root and /dev/fuse";
            return;
        }
        fuse.start("/usr/bin/python3",
                   QStringList{QFINDTESTDATA("chiavetta_guasta.py"), radice.path(), punto.path()} + guasti);
        // Mounted once the mount point is another device than its parent.
        const auto dispositivo = [](const QString &p) {
            struct stat st {};
            return ::stat(QFile::encodeName(p), &st) == 0 ? st.st_dev : dev_t(0);
        };
        while (fuse.state() != QProcess::NotRunning &&
               dispositivo(punto.path()) == dispositivo(punto.path() + "/.."))
            fuse.waitForFinished(20);
        if (fuse.state() == QProcess::NotRunning)
            perche = "FUSE unavailable (fuse3, python3-fusepy): " + fuse.readAllStandardError();
    }
    ~ChiavettaGuasta()
    {
        if (fuse.state() == QProcess::NotRunning)
            return;
        ::umount2(QFile::encodeName(punto.path()), MNT_DETACH);
        if (!fuse.waitForFinished(10000))
            fuse.kill();
    }
};
