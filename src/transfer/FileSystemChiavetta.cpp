#include "transfer/FileSystemChiavetta.h"

#include "comune/NomiFile.h"
#include "platform/PrimitiveFile.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <QList>
#include <QSet>
#include <sys/stat.h>
#include <unistd.h>

namespace {
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
        const int figlio = apriIn(::dirfd(dir), c, O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
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
    const int fd = apriPercorso(radice, O_RDONLY | O_DIRECTORY);
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
