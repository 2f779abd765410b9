#include "VistaSistema.h"

#include "platform/linux/BloccoSysfs.h"
#include "platform/linux/TabellaMontaggi.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>
#include <sys/sysmacros.h>

std::optional<QString> numeroDelNodo(const QString &nodo)
{
    struct stat st {};
    if (::stat(QFile::encodeName(nodo).constData(), &st) != 0 || !S_ISBLK(st.st_mode))
        return std::nullopt;
    return QStringLiteral("%1:%2").arg(major(st.st_rdev)).arg(minor(st.st_rdev));
}

namespace {
// "MAJ:MIN" as numbers; -1 when it is not one.
std::pair<int, int> numeriDi(const QString &numero)
{
    bool ok1 = false, ok2 = false;
    const int maggiore = numero.section(QLatin1Char(':'), 0, 0).toInt(&ok1);
    const int minore = numero.section(QLatin1Char(':'), 1).toInt(&ok2);
    return ok1 && ok2 ? std::make_pair(maggiore, minore) : std::make_pair(-1, -1);
}
} // namespace

VistaSistema::VistaSistema(QString sys, QString proc) : m_sys(std::move(sys)), m_proc(std::move(proc)) {}

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
    QList<Montaggio> montaggi;
    for (const VoceMontaggio &m : leggiTabellaMontaggi(f.readAll()))
        montaggi.append(Montaggio{m.maggioreMinore(), m.puntoMontaggio, m.radice, m.tipo, m.sorgente});
    return montaggi;
}

QSet<QString> VistaSistema::swapAttivi() const
{
    QSet<QString> numeri;
    QFile f(m_proc + QStringLiteral("/swaps"));
    if (!f.open(QIODevice::ReadOnly))
        return numeri;
    const QList<QByteArray> righe = f.readAll().split('\n');
    for (qsizetype i = 1; i < righe.size(); ++i) { // the first line is the header
        const QByteArray campo = righe[i].simplified().split(' ').value(0);
        if (auto n = campo.isEmpty() ? std::nullopt : numeroDelNodo(decodificaCampoMontaggio(campo)))
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
    d.byte = leggi(cartella + QStringLiteral("/size")).toLongLong() * 512;
    d.numero = leggi(cartella + QStringLiteral("/dev"));
    if (const auto [maggiore, minore] = numeriDi(d.numero); maggiore >= 0) {
        if (const std::optional<InfoDispositivoBlocco> b = leggiDispositivoBlocco(m_sys, maggiore, minore)) {
            d.rimovibile = b->rimovibile;
            d.usb = b->suUsb();
        }
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
    const auto [maggiore, minore] = numeriDi(numero);
    const std::optional<InfoDispositivoBlocco> b =
        maggiore < 0 ? std::nullopt : leggiDispositivoBlocco(m_sys, maggiore, minore);
    if (!b)
        return std::nullopt;
    return std::make_pair(QFileInfo(b->percorsoDispositivo).fileName(), b->nomeDisco);
}

qint64 VistaSistema::dimensione(const QString &nomeKernel) const
{
    return leggi(cartellaBlocco(nomeKernel) + QStringLiteral("/size")).toLongLong() * 512;
}

QString VistaSistema::numero(const QString &nomeKernel) const
{
    return leggi(cartellaBlocco(nomeKernel) + QStringLiteral("/dev"));
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
