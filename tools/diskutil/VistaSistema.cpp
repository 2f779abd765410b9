#include "VistaSistema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>
#include <sys/sysmacros.h>

QString decodificaOttale(const QString &campo)
{
    QString out;
    for (qsizetype i = 0; i < campo.size(); ++i) {
        if (campo[i] == QLatin1Char('\\') && i + 3 < campo.size()) {
            bool ok = false;
            const int codice = campo.mid(i + 1, 3).toInt(&ok, 8);
            if (ok) {
                out += QChar(codice);
                i += 3;
                continue;
            }
        }
        out += campo[i];
    }
    return out;
}

QList<Montaggio> leggiMountinfo(const QString &testo)
{
    QList<Montaggio> montaggi;
    for (const QString &riga : testo.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList campi = riga.split(QLatin1Char(' '));
        const qsizetype separatore = campi.indexOf(QStringLiteral("-"), 6);
        if (campi.size() < 5 || separatore < 0 || separatore + 2 >= campi.size())
            continue;
        montaggi.append(Montaggio{campi[2], decodificaOttale(campi[4]), campi[separatore + 1],
                                  decodificaOttale(campi[separatore + 2])});
    }
    return montaggi;
}

std::optional<QString> numeroDelNodo(const QString &nodo)
{
    struct stat st {};
    if (::stat(QFile::encodeName(nodo).constData(), &st) != 0 || !S_ISBLK(st.st_mode))
        return std::nullopt;
    return QStringLiteral("%1:%2").arg(major(st.st_rdev)).arg(minor(st.st_rdev));
}

VistaSistema::VistaSistema(QString sys, QString proc) : m_sys(std::move(sys)), m_proc(std::move(proc)) {}

VistaSistema VistaSistema::dallAmbiente()
{
    const QString sys = qEnvironmentVariable("TESSERA_DISKUTIL_SYSFS", QStringLiteral("/sys"));
    const QString proc = qEnvironmentVariable("TESSERA_DISKUTIL_PROCFS", QStringLiteral("/proc"));
    return VistaSistema(sys, proc);
}

QString VistaSistema::leggi(const QString &relativo) const
{
    QFile f(relativo.startsWith(QLatin1Char('/')) ? relativo : m_sys + QLatin1Char('/') + relativo);
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(f.readAll()).trimmed();
}

QList<Montaggio> VistaSistema::montaggi() const
{
    QFile f(m_proc + QStringLiteral("/self/mountinfo"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return leggiMountinfo(QString::fromUtf8(f.readAll()));
}

QSet<QString> VistaSistema::swapAttivi() const
{
    QSet<QString> numeri;
    QFile f(m_proc + QStringLiteral("/swaps"));
    if (!f.open(QIODevice::ReadOnly))
        return numeri;
    const QStringList righe = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (qsizetype i = 1; i < righe.size(); ++i) {
        const QString nodo =
            decodificaOttale(righe[i].section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty));
        if (auto n = numeroDelNodo(nodo))
            numeri.insert(*n);
    }
    return numeri;
}

QString VistaSistema::cartellaBlocco(const QString &nomeKernel) const
{
    return m_sys + QStringLiteral("/class/block/") + nomeKernel;
}

std::optional<Disco> VistaSistema::disco(const QString &nomeOPercorso) const
{
    QString nome = nomeOPercorso;
    if (nome.startsWith(QLatin1String("/dev/")))
        nome = nome.mid(5);
    if (nome.isEmpty() || nome.contains(QLatin1Char('/')) || nome.startsWith(QLatin1Char('.')))
        return std::nullopt;
    const QString cartella = m_sys + QStringLiteral("/block/") + nome;
    if (!QFileInfo(cartella).isDir() || QFileInfo::exists(cartella + QStringLiteral("/partition")))
        return std::nullopt;

    Disco d;
    d.nome = nome;
    d.rimovibile = leggi(cartella + QStringLiteral("/removable")) == QLatin1String("1");
    d.byte = leggi(cartella + QStringLiteral("/size")).toLongLong() * 512;

    // USB: the first ancestor that is a USB device (it has "speed" and "devnum";
    // its interfaces have neither). Many USB disks report removable=0.
    QString su = QFileInfo(cartella).canonicalFilePath();
    const QString radice = QFileInfo(m_sys).canonicalFilePath() + QLatin1Char('/');
    while (su.startsWith(radice)) {
        if (QFileInfo::exists(su + QStringLiteral("/speed")) &&
            QFileInfo::exists(su + QStringLiteral("/devnum"))) {
            d.usb = true;
            break;
        }
        su = QFileInfo(su).path();
    }

    // The disk's own number, its partitions' and, transitively, whatever is
    // stacked on them (LVM, RAID, encryption): a mount of any of these is a
    // mount of this disk.
    QStringList daVisitare{cartella};
    QSet<QString> visti;
    const QDir dir(cartella);
    for (const QString &voce : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (QFileInfo::exists(dir.filePath(voce) + QStringLiteral("/partition"))) {
            d.partizioni.append(voce);
            daVisitare.append(dir.filePath(voce));
        }
    }
    while (!daVisitare.isEmpty()) {
        const QString c = daVisitare.takeFirst();
        if (visti.contains(c))
            continue;
        visti.insert(c);
        const QString numero = leggi(c + QStringLiteral("/dev"));
        if (!numero.isEmpty())
            d.numeri.insert(numero);
        for (const QString &sopra :
             QDir(c + QStringLiteral("/holders")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot))
            daVisitare.append(cartellaBlocco(sopra));
    }
    return d;
}

std::optional<QString> VistaSistema::dispositivoDi(const QString &percorso) const
{
    if (auto n = numeroDelNodo(percorso))
        return n;
    const std::optional<Montaggio> m = montaggioDi(percorso);
    if (!m)
        return std::nullopt;
    // btrfs and a few others show an anonymous number; their source names the device.
    if (QFileInfo::exists(m_sys + QStringLiteral("/dev/block/") + m->numero))
        return m->numero;
    return numeroDelNodo(m->sorgente);
}

std::optional<Montaggio> VistaSistema::montaggioDi(const QString &percorso) const
{
    QString p = QDir::cleanPath(QDir::isAbsolutePath(percorso) ? percorso
                                                               : QDir::current().absoluteFilePath(percorso));
    while (!QFileInfo::exists(p) && p != QLatin1String("/"))
        p = QFileInfo(p).path();
    const QString reale = QFileInfo(p).canonicalFilePath();
    if (!reale.isEmpty())
        p = reale;
    std::optional<Montaggio> migliore;
    for (const Montaggio &m : montaggi()) {
        const QString mp = m.puntoMontaggio;
        const bool contiene = mp == QLatin1String("/") || p == mp || p.startsWith(mp + QLatin1Char('/'));
        // The later of two mounts on the same point hides the earlier one.
        if (contiene && (!migliore || mp.size() >= migliore->puntoMontaggio.size()))
            migliore = m;
    }
    return migliore;
}

std::optional<std::pair<QString, QString>> VistaSistema::nomeEDisco(const QString &numero) const
{
    const QFileInfo voce(m_sys + QStringLiteral("/dev/block/") + numero);
    const QString reale = voce.canonicalFilePath();
    if (reale.isEmpty())
        return std::nullopt;
    const QString nome = QFileInfo(reale).fileName();
    if (QFileInfo::exists(reale + QStringLiteral("/partition")))
        return std::make_pair(nome, QFileInfo(QFileInfo(reale).path()).fileName());
    return std::make_pair(nome, nome);
}

qint64 VistaSistema::dimensione(const QString &nomeKernel) const
{
    return leggi(cartellaBlocco(nomeKernel) + QStringLiteral("/size")).toLongLong() * 512;
}

QList<Montaggio> VistaSistema::montaggiDi(const Disco &disco) const
{
    QList<Montaggio> suDisco;
    for (const Montaggio &m : montaggi()) {
        bool nostro = disco.numeri.contains(m.numero);
        if (!nostro && m.sorgente.startsWith(QLatin1String("/dev/"))) {
            const std::optional<QString> n = numeroDelNodo(m.sorgente);
            nostro = n && disco.numeri.contains(*n);
        }
        if (nostro)
            suDisco.append(m);
    }
    return suDisco;
}
