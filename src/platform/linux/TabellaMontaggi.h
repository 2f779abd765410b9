#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// One line of /proc/self/mountinfo.
struct VoceMontaggio {
    int id = -1;            // reused by the kernel once the mount is gone
    QString radice;         // the folder of the file system mounted there: "/" unless a bind mount of a part
    QString puntoMontaggio; // unescaped, bytes as decodificaNome carries them
    int maggiore = -1;
    int minore = -1;
    QStringList opzioni; // per-mount options (rw, nosuid, ...)
    QString tipo;        // the file system's type, "vfat", "fuse.fusefat"
    QString sorgente;    // unescaped
    QStringList opzioniSuperblocco;

    QString maggioreMinore() const { return QStringLiteral("%1:%2").arg(maggiore).arg(minore); }
};

// Reads mountinfo text. Malformed lines are skipped.
QList<VoceMontaggio> leggiTabellaMontaggi(const QByteArray &testo);

// Undoes the kernel's octal escapes (\040 space, \011 tab, \012 newline, \134 backslash);
// the bytes become a name as decodificaNome makes it, so a mount point that is
// not UTF-8 still leads back to its folder.
QString decodificaCampoMontaggio(const QByteArray &campo);

// Whether a desktop file manager would leave this mount out of its sidebar.
// `ignoratoDaUdev` carries the udev/udisks "ignore" hint of the mount's device.
bool montaggioNascosto(const VoceMontaggio &voce, bool ignoratoDaUdev);
