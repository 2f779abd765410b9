#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// One line of /proc/self/mountinfo.
struct MountEntry {
    int id = -1;        // reused by the kernel once the mount is gone
    QString root;       // the folder of the file system mounted there: "/" unless a bind mount of a part
    QString mountPoint; // unescaped, bytes as decodificaNome carries them
    int major = -1;
    int minor = -1;
    QStringList options; // per-mount options (rw, nosuid, ...)
    QString fsType;
    QString source;           // unescaped
    QStringList superOptions; // per-superblock options

    QString majMin() const { return QStringLiteral("%1:%2").arg(major).arg(minor); }
};

// Parses mountinfo text. Malformed lines are skipped.
QList<MountEntry> parseMountInfo(const QByteArray &text);

// Undoes the kernel's octal escapes (\040 space, \011 tab, \012 newline, \134 backslash);
// the bytes become a name as decodificaNome makes it, so a mount point that is
// not UTF-8 still leads back to its folder.
QString unescapeMountField(const QByteArray &field);

// Whether a desktop file manager would leave this mount out of its sidebar.
// `udevIgnore` carries the udev/udisks "ignore" hint of the mount's device.
bool isHiddenMount(const MountEntry &entry, bool udevIgnore);
