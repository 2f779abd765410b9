#pragma once

#include "support/TestEnv.h"

#include <QFile>
#include <QTemporaryDir>

// A real exFAT or FAT32 stick (root only), as the ultrasound machine's: an
// exFAT image on a loop device through exfat-fuse, or a FAT32 image through
// fusefat (real FAT rules, but ASCII names only and no rewriting in place).
// `perche` says why there is none.
struct ChiavettaFat {
    enum class Tipo { exfat, fat32 };
    QTemporaryDir cartella;
    QString punto = cartella.filePath("punto"), loop, perche;

    explicit ChiavettaFat(Tipo tipo, const QString &etichetta)
    {
        using TestSupport::esegui;
        const QString immagine = cartella.filePath("immagine");
        QFile f(immagine);
        const bool ok =
            TestSupport::isRoot() && f.open(QIODevice::WriteOnly) && f.resize(64 << 20) &&
            QDir().mkpath(punto) &&
            (tipo == Tipo::exfat ? esegui("mkfs.exfat", {"-L", etichetta, immagine}) &&
                                       esegui("losetup", {"-f", "--show", immagine}, &loop) &&
                                       esegui("mount.exfat-fuse", {loop, punto})
                                 : esegui("mkfs.vfat", etichettaFat(etichetta) + QStringList{immagine}) &&
                                       esegui("fusefat", {"-o", "rw+", immagine, punto}));
        if (!ok)
            perche = "a FAT or exFAT stick needs root, exfatprogs, exfat-fuse, dosfstools and fusefat";
    }
    // fusefat lists a FAT32 volume's label as an empty file: none, when `etichetta` is empty.
    static QStringList etichettaFat(const QString &etichetta)
    {
        return etichetta.isEmpty() ? QStringList{"-F", "32"} : QStringList{"-F", "32", "-n", etichetta};
    }
    ~ChiavettaFat()
    {
        TestSupport::esegui("fusermount", {"-u", punto});
        if (!loop.isEmpty())
            TestSupport::esegui("losetup", {"-d", loop});
    }
};
