#include "transfer/FileSystemChiavetta.h"

#include "platform/linux/TabellaMontaggi.h"
#include "transfer/OperazioniFile.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <QFile>
#include <QList>
#include <QSet>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace {
constexpr long magiaFat = 0x4d44;
constexpr long magiaExfat = 0x2011BAB0;
constexpr long magiaFuse = 0x65735546;

FileSystemChiavetta daTipoUdev(const QByteArray &tipo)
{
    if (tipo == "vfat" || tipo == "msdos")
        return FileSystemChiavetta::fat32;
    if (tipo == "exfat")
        return FileSystemChiavetta::exfat;
    return FileSystemChiavetta::altro;
}

// What udev found on the device when it appeared: readable by every user.
FileSystemChiavetta daUdev(unsigned maggiore, unsigned minore)
{
    QFile f(QStringLiteral("/run/udev/data/b%1:%2").arg(maggiore).arg(minore));
    if (!f.open(QIODevice::ReadOnly))
        return FileSystemChiavetta::altro;
    for (const QByteArray &riga : f.readAll().split('\n')) {
        if (riga.startsWith("E:ID_FS_TYPE="))
            return daTipoUdev(riga.mid(13).trimmed());
    }
    return FileSystemChiavetta::altro;
}

// The signatures in the first sector; only who may read the device gets here.
FileSystemChiavetta daSettoreDiAvvio(const QString &dispositivo)
{
    const int fd = ::open(codificaNome(dispositivo).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return FileSystemChiavetta::altro;
    char settore[512] = {};
    const ssize_t letti = ::pread(fd, settore, sizeof settore, 0);
    ::close(fd);
    if (letti != ssize_t(sizeof settore))
        return FileSystemChiavetta::altro;
    if (std::memcmp(settore + 3, "EXFAT   ", 8) == 0)
        return FileSystemChiavetta::exfat;
    if (std::memcmp(settore + 82, "FAT32   ", 8) == 0 || std::memcmp(settore + 54, "FAT1", 4) == 0)
        return FileSystemChiavetta::fat32;
    return FileSystemChiavetta::altro;
}

FileSystemChiavetta daFuse(const struct stat &info)
{
    QFile f(QStringLiteral("/proc/self/mountinfo"));
    if (!f.open(QIODevice::ReadOnly))
        return FileSystemChiavetta::altro;
    const QList<MountEntry> montaggi = parseMountInfo(f.readAll());
    for (auto it = montaggi.crbegin(); it != montaggi.crend(); ++it) {
        if (it->major != int(major(info.st_dev)) || it->minor != int(minor(info.st_dev)))
            continue;
        // A driver with a subtype names its file system ("fuse.fusefat").
        const QString sottotipo = it->fsType.section(QLatin1Char('.'), 1);
        if (sottotipo.contains(QLatin1String("exfat")))
            return FileSystemChiavetta::exfat;
        if (sottotipo.contains(QLatin1String("fat")))
            return FileSystemChiavetta::fat32;
        const FileSystemChiavetta udev = daUdev(major(info.st_dev), minor(info.st_dev));
        return udev != FileSystemChiavetta::altro ? udev : daSettoreDiAvvio(it->source);
    }
    return FileSystemChiavetta::altro;
}

QByteArray altreMaiuscole(const QByteArray &nome)
{
    QByteArray r = nome;
    for (char &c : r) {
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
        else if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    }
    return r;
}

// 1 when the folder answers to another spelling of one of its names, 0 when
// it does not, -1 when none of its names can tell. `sottocartelle` gets its folders.
int provaMaiuscole(int fd, QList<int> *sottocartelle)
{
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return -1;
    }
    QSet<QByteArray> nomi;
    QList<QByteArray> cartelle;
    while (const dirent *e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            nomi.insert(QByteArray(e->d_name));
    }
    int esito = -1;
    for (const QByteArray &nome : std::as_const(nomi)) {
        struct stat info;
        const QByteArray altro = altreMaiuscole(nome);
        if (altro != nome && !nomi.contains(altro)) {
            if (::fstatat(::dirfd(dir), altro.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
                esito = 1;
                break;
            }
            if (errno == ENOENT) {
                esito = 0;
                break;
            }
        }
        if (::fstatat(::dirfd(dir), nome.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISDIR(info.st_mode))
            cartelle.append(nome);
    }
    for (const QByteArray &c : std::as_const(cartelle)) {
        if (esito >= 0)
            break;
        const int figlio =
            ::openat(::dirfd(dir), c.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (figlio >= 0)
            sottocartelle->append(figlio);
    }
    ::closedir(dir);
    return esito;
}

bool riservato(const QString &nome)
{
    static const QSet<QString> nomi = [] {
        QSet<QString> s{QStringLiteral("CON"), QStringLiteral("PRN"), QStringLiteral("AUX"),
                        QStringLiteral("NUL")};
        for (int i = 1; i <= 9; ++i) {
            s.insert(QStringLiteral("COM%1").arg(i));
            s.insert(QStringLiteral("LPT%1").arg(i));
        }
        return s;
    }();
    return nomi.contains(nome.section(QLatin1Char('.'), 0, 0).trimmed().toUpper());
}
} // namespace

FileSystemChiavetta fileSystemDi(const QString &cartella)
{
    const QByteArray percorso = codificaNome(cartella);
    struct statfs fs;
    struct stat info;
    if (::statfs(percorso.constData(), &fs) != 0 || ::stat(percorso.constData(), &info) != 0)
        return FileSystemChiavetta::altro;
    switch (long(fs.f_type)) {
    case magiaFat:
        return FileSystemChiavetta::fat32;
    case magiaExfat:
        return FileSystemChiavetta::exfat;
    case magiaFuse:
        return daFuse(info);
    default:
        return FileSystemChiavetta::altro;
    }
}

QString nomeFileSystem(FileSystemChiavetta fs)
{
    return fs == FileSystemChiavetta::exfat ? QStringLiteral("exFAT") : QStringLiteral("FAT32");
}

bool distingueMaiuscole(const QString &radice)
{
    if (fileSystemDi(radice) != FileSystemChiavetta::altro)
        return false;
    // Folder by folder from the root, until one name tells; a few hundred
    // folders at most, and most sticks answer at the root.
    QList<int> daProvare;
    const int fd = ::open(codificaNome(radice).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0)
        daProvare.append(fd);
    int esito = -1;
    for (qsizetype i = 0; i < daProvare.size(); ++i) {
        if (esito < 0 && i < 500)
            esito = provaMaiuscole(daProvare.at(i), &daProvare);
        else
            ::close(daProvare.at(i));
    }
    return esito != 1;
}

QString nomeNonAmmesso(const QString &relativo)
{
    const QStringList parti = relativo.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < parti.size(); ++i) {
        const QString &nome = parti.at(i);
        const QString chi = i + 1 < parti.size() ? QStringLiteral("la cartella “%1” ").arg(nome) : QString();
        for (const QChar c : nome) {
            if (QStringView(u"\"*:<>?\\|").contains(c))
                return chi + QStringLiteral("contiene “%1”").arg(c);
            if (c.unicode() < 0x20)
                return chi + QStringLiteral("contiene un carattere di controllo");
        }
        if (nome.endsWith(QLatin1Char('.')))
            return chi + QStringLiteral("finisce con un punto");
        if (nome.endsWith(QLatin1Char(' ')))
            return chi + QStringLiteral("finisce con uno spazio");
        if (riservato(nome))
            return QStringLiteral("“%1” è un nome riservato").arg(nome);
        if (nome.size() > 255)
            return chi + QStringLiteral("è troppo lungo");
    }
    return {};
}
