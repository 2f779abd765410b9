#include "platform/linux/ProcessiAperti.h"

#include <algorithm>
#include <climits>
#include <dirent.h>
#include <QDir>
#include <QFile>
#include <QSet>
#include <unistd.h>

namespace {
QByteArray leggiLink(const QByteArray &percorso)
{
    char buf[PATH_MAX];
    const ssize_t n = ::readlink(percorso.constData(), buf, sizeof buf);
    return n > 0 ? QByteArray(buf, int(n)) : QByteArray();
}

// Plain readdir: /proc holds thousands of links and stat-ing each would be slow.
QList<QByteArray> voci(const QByteArray &cartella)
{
    QList<QByteArray> nomi;
    DIR *d = ::opendir(cartella.constData());
    if (!d)
        return nomi;
    while (const dirent *e = ::readdir(d)) {
        if (e->d_name[0] != '.')
            nomi.append(QByteArray(e->d_name));
    }
    ::closedir(d);
    return nomi;
}

bool soloCifre(const QByteArray &s)
{
    return !s.isEmpty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}
} // namespace

QStringList programmiCheUsano(const QString &cartella, const QString &procRoot)
{
    // Link targets are compared as bytes, the way the kernel prints them.
    const QByteArray radice = QFile::encodeName(QDir::cleanPath(cartella));
    const QByteArray prefisso = radice.endsWith('/') ? radice : radice + '/';
    const auto sotto = [&](const QByteArray &bersaglio) {
        return bersaglio == radice || bersaglio.startsWith(prefisso);
    };

    QSet<QString> nomi;
    const QByteArray proc = QFile::encodeName(procRoot) + '/';
    for (const QByteArray &pid : voci(proc)) {
        if (!soloCifre(pid))
            continue;
        const QByteArray base = proc + pid;
        bool usa = sotto(leggiLink(base + "/cwd"));
        if (!usa) {
            const QByteArray fd = base + "/fd/";
            for (const QByteArray &voce : voci(fd)) {
                if (sotto(leggiLink(fd + voce))) {
                    usa = true;
                    break;
                }
            }
        }
        if (!usa)
            continue;
        QFile comm(QFile::decodeName(base + "/comm"));
        if (!comm.open(QIODevice::ReadOnly))
            continue;
        const QString nome = QString::fromUtf8(comm.readAll()).trimmed();
        if (!nome.isEmpty())
            nomi.insert(nome);
    }
    QStringList lista(nomi.begin(), nomi.end());
    lista.sort();
    return lista;
}
