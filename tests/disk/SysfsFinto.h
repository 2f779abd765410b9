#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

// A sysfs and procfs of the test's own making, so the disk utility can be
// shown disks that are removable, on USB, or hold the system.
class SysfsFinto {
public:
    SysfsFinto() { QDir().mkpath(proc() + QStringLiteral("/self")); }

    QString sys() const { return m_dir.filePath(QStringLiteral("sys")); }
    QString proc() const { return m_dir.filePath(QStringLiteral("proc")); }

    // A whole disk; with `usb` it sits under a USB device (which has "speed" and "devnum").
    void disco(const QString &nome, const QString &numero, bool rimovibile, bool usb = false,
               qint64 settori = 262144)
    {
        const QString genitore = usb ? QStringLiteral("devices/pci0000:00/usb1/1-1/1-1:1.0/host0/block")
                                     : QStringLiteral("devices/virtual/block");
        if (usb) {
            scrivi(QStringLiteral("devices/pci0000:00/usb1/1-1/speed"), "480\n");
            scrivi(QStringLiteral("devices/pci0000:00/usb1/1-1/devnum"), "2\n");
        }
        const QString cartella = genitore + QLatin1Char('/') + nome;
        scrivi(cartella + QStringLiteral("/dev"), numero.toUtf8() + '\n');
        scrivi(cartella + QStringLiteral("/removable"), rimovibile ? "1\n" : "0\n");
        scrivi(cartella + QStringLiteral("/size"), QByteArray::number(settori) + '\n');
        collega(QStringLiteral("block/") + nome, cartella);
        collega(QStringLiteral("class/block/") + nome, cartella);
        collega(QStringLiteral("dev/block/") + numero, cartella);
        m_cartelle.insert(nome, cartella);
    }

    void partizione(const QString &disco, const QString &nome, const QString &numero, qint64 settori = 260096)
    {
        const QString cartella = m_cartelle.value(disco) + QLatin1Char('/') + nome;
        scrivi(cartella + QStringLiteral("/dev"), numero.toUtf8() + '\n');
        scrivi(cartella + QStringLiteral("/partition"), "1\n");
        scrivi(cartella + QStringLiteral("/size"), QByteArray::number(settori) + '\n');
        collega(QStringLiteral("class/block/") + nome, cartella);
        collega(QStringLiteral("dev/block/") + numero, cartella);
        m_cartelle.insert(nome, cartella);
    }

    // A device-mapper volume stacked on `sotto` (a disk or partition).
    void sopra(const QString &sotto, const QString &nome, const QString &numero)
    {
        const QString cartella = QStringLiteral("devices/virtual/block/") + nome;
        scrivi(cartella + QStringLiteral("/dev"), numero.toUtf8() + '\n');
        collega(QStringLiteral("class/block/") + nome, cartella);
        collega(QStringLiteral("block/") + nome, cartella);
        collega(QStringLiteral("dev/block/") + numero, cartella);
        QDir().mkpath(sys() + QLatin1Char('/') + m_cartelle.value(sotto) + QStringLiteral("/holders"));
        QFile::link(sys() + QLatin1Char('/') + cartella,
                    sys() + QLatin1Char('/') + m_cartelle.value(sotto) + QStringLiteral("/holders/") + nome);
    }

    // Each entry: "MAJ:MIN", mount point, source.
    void montaggi(const QList<std::tuple<QString, QString, QString>> &voci)
    {
        QByteArray testo;
        int id = 20;
        for (const auto &[numero, punto, sorgente] : voci) {
            QString p = punto;
            p.replace(QLatin1Char(' '), QStringLiteral("\\040"));
            testo += QStringLiteral("%1 1 %2 / %3 rw,relatime shared:1 - ext4 %4 rw\n")
                         .arg(id++)
                         .arg(numero, p, sorgente)
                         .toUtf8();
        }
        QFile f(proc() + QStringLiteral("/self/mountinfo"));
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(testo);
    }

private:
    void scrivi(const QString &relativo, const QByteArray &contenuto)
    {
        const QString percorso = sys() + QLatin1Char('/') + relativo;
        QDir().mkpath(QFileInfo(percorso).path());
        QFile f(percorso);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(contenuto);
    }
    void collega(const QString &relativo, const QString &bersaglio)
    {
        const QString percorso = sys() + QLatin1Char('/') + relativo;
        QDir().mkpath(QFileInfo(percorso).path());
        QFile::link(sys() + QLatin1Char('/') + bersaglio, percorso);
    }

    QTemporaryDir m_dir;
    QHash<QString, QString> m_cartelle;
};
