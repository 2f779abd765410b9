#include "transfer/VisitaCartelle.h"

#include "comune/NomiFile.h"
#include "platform/OperazioniFile.h"
#include "platform/PrimitiveFile.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

struct Voce {
    QByteArray nome;
    struct stat info;
};

// Depth first, each folder's entries in byte order of their names so that two
// runs over the same stick meet the files in the same order. Each folder is
// opened relative to its parent's descriptor, so depth is not limited by the
// length of a path; the folders on the way down stay open, one per level.
// Takes `fd` over.
void elenca(int fd, const QByteArray &cartella,
            const std::function<void(const QByteArray &, const struct stat &)> &file,
            QList<CartellaNonLetta> *nonLette, qint64 *nascosti)
{
    const auto nonLetta = [&](int errore) {
        if (nonLette)
            nonLette->append({decodificaNome(cartella), descrizioneErrore(errore), errore});
    };
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        nonLetta(errno);
        ::close(fd);
        return;
    }
    std::vector<Voce> voci;
    int errore = 0;
    for (;;) {
        errno = 0;
        const dirent *e = ::readdir(dir);
        if (!e) {
            // NULL is also the end of the folder; only errno tells a failing
            // stick from a folder read to its end.
            if (errno != 0 && errore == 0)
                errore = errno;
            break;
        }
        if (e->d_name[0] == '.') { // hidden, and "." and ".."
            const bool punti = e->d_name[1] == '\0' || (e->d_name[1] == '.' && e->d_name[2] == '\0');
            if (nascosti && !punti)
                ++*nascosti;
            continue;
        }
        Voce v;
        v.nome = QByteArray(e->d_name);
        // lstat semantics: a link is looked at, never through. An entry gone
        // since the listing was deleted meanwhile: nothing is lost with it.
        if (::fstatat(::dirfd(dir), e->d_name, &v.info, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT && errore == 0)
                errore = errno;
            continue;
        }
        if (S_ISREG(v.info.st_mode) || S_ISDIR(v.info.st_mode))
            voci.push_back(std::move(v));
    }
    if (errore != 0)
        nonLetta(errore);

    std::sort(voci.begin(), voci.end(), [](const Voce &a, const Voce &b) { return a.nome < b.nome; });
    const QByteArray prefisso = cartella.endsWith('/') ? cartella : cartella + '/';
    for (const Voce &v : voci) {
        const QByteArray percorso = prefisso + v.nome;
        if (S_ISREG(v.info.st_mode)) {
            file(percorso, v.info);
            continue;
        }
        // A folder swapped for a link since it was looked at is refused by
        // O_NOFOLLOW, and one swapped for another folder by the device and
        // inode check.
        const int figlio = apriIn(::dirfd(dir), v.nome, O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
        if (figlio < 0) {
            const int e = errno;
            if (e != ENOENT && nonLette) // one deleted meanwhile held nothing to lose
                nonLette->append({decodificaNome(percorso), descrizioneErrore(e), e});
            continue;
        }
        struct stat ora;
        if (::fstat(figlio, &ora) != 0 || ora.st_dev != v.info.st_dev || ora.st_ino != v.info.st_ino) {
            if (nonLette)
                nonLette->append(
                    {decodificaNome(percorso), QStringLiteral("la cartella è cambiata durante la lettura")});
            ::close(figlio);
            continue;
        }
        elenca(figlio, percorso, file, nonLette, nascosti);
    }
    ::closedir(dir);
}

} // namespace

QStringList descriviNonLette(const QList<CartellaNonLetta> &nonLette)
{
    QStringList righe;
    for (const CartellaNonLetta &c : nonLette)
        righe.append(nomeLeggibile(QStringLiteral("“%1”: %2").arg(c.percorso, c.motivo)));
    return righe;
}

QStringList elencaFile(const QString &cartella, QList<CartellaNonLetta> *nonLette)
{
    QStringList risultato;
    percorriFile(
        cartella, [&](const QByteArray &percorso, qint64) { risultato.append(decodificaNome(percorso)); },
        nonLette);
    return risultato;
}

void percorriFile(const QString &cartella, const std::function<void(const QByteArray &, qint64)> &file,
                  QList<CartellaNonLetta> *nonLette)
{
    percorriFile(
        cartella, [&](const QByteArray &percorso, const struct stat &info) { file(percorso, info.st_size); },
        nonLette);
}

void percorriFile(const QString &cartella,
                  const std::function<void(const QByteArray &, const struct stat &)> &file,
                  QList<CartellaNonLetta> *nonLette, qint64 *nascosti)
{
    if (cartella.isEmpty())
        return;
    const int fd = apriPercorso(cartella, O_RDONLY | O_DIRECTORY);
    if (fd < 0) {
        const int e = errno;
        if (nonLette)
            nonLette->append({cartella, descrizioneErrore(e), e});
        return;
    }
    elenca(fd, codificaNome(cartella), file, nonLette, nascosti);
}
