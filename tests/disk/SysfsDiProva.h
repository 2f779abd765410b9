#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

// A sysfs and procfs of the test's own making, so the disk utility can be
// shown disks that are removable, on USB, or hold the system.
class SysfsDiProva {
public:
    QString sys() const { return m_dir.filePath("sys"); }
    QString proc() const { return m_dir.filePath("proc"); }

    // A whole disk; with `usb` it sits under a USB device (which has "speed" and "devnum").
    void disco(const QString &nome, const QString &numero, bool rimovibile, bool usb = false,
               qint64 settori = 262144)
    {
        const QString usb1 = "devices/pci0000:00/usb1/1-1";
        scrivi(usb1 + "/speed", "480");
        scrivi(usb1 + "/devnum", "2");
        const QString cartella = (usb ? usb1 + "/1-1:1.0/host0/block/" : "devices/virtual/block/") + nome;
        scrivi(cartella + "/removable", rimovibile ? "1" : "0");
        nodo(nome, numero, cartella, settori);
        collega("block/" + nome, cartella);
    }
    void partizione(const QString &disco, const QString &nome, const QString &numero, qint64 settori = 2048)
    {
        scrivi(m_cartelle.value(disco) + '/' + nome + "/partition", "1");
        nodo(nome, numero, m_cartelle.value(disco) + '/' + nome, settori);
    }
    // A device-mapper volume stacked on `sotto` (a disk or partition).
    void sopra(const QString &sotto, const QString &nome, const QString &numero)
    {
        nodo(nome, numero, "devices/virtual/block/" + nome, 0);
        collega(m_cartelle.value(sotto) + "/holders/" + nome, m_cartelle.value(nome));
    }
    // Each entry: "MAJ:MIN", mount point, source.
    void montaggi(const QList<std::tuple<QString, QString, QString>> &voci)
    {
        QByteArray testo;
        for (auto [numero, punto, sorgente] : voci)
            testo += QStringLiteral("20 1 %1 / %2 rw,relatime shared:1 - ext4 %3 rw\n")
                         .arg(numero, punto.replace(QLatin1Char(' '), QStringLiteral("\\040")), sorgente)
                         .toUtf8();
        scriviFile(proc() + "/self/mountinfo", testo);
    }

private:
    static void scriviFile(const QString &percorso, const QByteArray &testo)
    {
        QDir().mkpath(QFileInfo(percorso).path());
        QFile f(percorso);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(testo);
    }
    void nodo(const QString &nome, const QString &numero, const QString &cartella, qint64 settori)
    {
        scrivi(cartella + "/dev", numero.toUtf8());
        scrivi(cartella + "/size", QByteArray::number(settori));
        collega("class/block/" + nome, cartella);
        collega("dev/block/" + numero, cartella);
        m_cartelle.insert(nome, cartella);
    }
    void scrivi(const QString &relativo, const QByteArray &riga)
    {
        scriviFile(sys() + '/' + relativo, riga + '\n');
    }
    void collega(const QString &relativo, const QString &bersaglio)
    {
        QDir().mkpath(QFileInfo(sys() + '/' + relativo).path());
        QFile::link(sys() + '/' + bersaglio, sys() + '/' + relativo);
    }

    QTemporaryDir m_dir;
    QHash<QString, QString> m_cartelle;
};
