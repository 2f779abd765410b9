#pragma once

#include <optional>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

// One line of mountinfo.
struct Montaggio {
    QString numero; // "MAJ:MIN" of the mounted device
    QString puntoMontaggio;
    QString radice = QStringLiteral("/"); // the part of the file system shown there (a bind mount: a folder)
    QString tipoFs;
    QString sorgente; // e.g. /dev/sdb1
};

// A whole disk as sysfs describes it.
struct Disco {
    QString nome;            // kernel name, e.g. sdb or loop3
    QString numero;          // "MAJ:MIN" of the disk itself, as sysfs gives it
    bool rimovibile = false; // sysfs "removable": the medium itself can be taken out
    bool usb = false;        // sits under a USB device: ejectable, whatever its medium
    qint64 byte = 0;
    QStringList partizioni; // kernel names of its partitions
    QSet<QString> numeri;   // "MAJ:MIN" of the disk, its partitions and whatever is stacked on them
};

// The kernel's view of disks and mounts, read from sysfs and procfs. Only tests,
// which link this library, hand in other roots: the program always reads the
// real ones, whatever its environment says.
class VistaSistema {
public:
    VistaSistema(QString sys = QStringLiteral("/sys"), QString proc = QStringLiteral("/proc"));

    QList<Montaggio> montaggi() const;
    // Active swap areas, as "MAJ:MIN".
    QSet<QString> swapAttivi() const;

    // A whole disk by kernel name or device node ("sdb", "/dev/sdb"); none
    // when there is no such disk or it is a partition.
    std::optional<Disco> disco(const QString &nomeOPercorso) const;

    // The device ("MAJ:MIN") behind a mounted path or a device node.
    std::optional<QString> dispositivoDi(const QString &percorso) const;
    // The mount that holds `percorso` (deepest mount point on its way to the
    // root); a path that does not exist yet counts from its nearest existing folder.
    std::optional<Montaggio> montaggioDi(const QString &percorso) const;
    // For a device "MAJ:MIN": its kernel name and that of its whole disk.
    std::optional<std::pair<QString, QString>> nomeEDisco(const QString &numero) const;
    // Size in bytes of a disk or partition known by kernel name.
    qint64 dimensione(const QString &nomeKernel) const;
    // "MAJ:MIN" of a disk or partition known by kernel name; empty when unknown.
    QString numero(const QString &nomeKernel) const;

    // The mounts that sit on the disk (any of its numbers, or a source node that is one of them).
    QList<Montaggio> montaggiDi(const Disco &disco) const;

    QString sys() const { return m_sys; }

private:
    QString leggi(const QString &relativo) const;
    QString cartellaBlocco(const QString &nomeKernel) const;

    QString m_sys;
    QString m_proc;
};

// "MAJ:MIN" of a block device node, if it is one.
std::optional<QString> numeroDelNodo(const QString &nodo);
