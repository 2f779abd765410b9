#include "transfer/ManifestiArchivio.h"

#include "comune/NomiFile.h"
#include "operations/Orologio.h"
#include "platform/OperazioniFile.h"
#include "platform/PrimitiveFile.h"
#include "transfer/Manifesto.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <QFile>
#include <QRegularExpression>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Far more than any real manifest (one line per file, about 100 bytes each):
// anything larger is not one of ours, and is not read into memory.
constexpr qint64 dimensioneMassima = qint64(256) << 20;
constexpr qsizetype cifreSha256 = 64;

bool spazio(char c)
{
    return c == ' ' || c == '\t';
}

// The name with sha256sum's escapes undone; none for an escape it never writes.
std::optional<QByteArray> senzaEscape(QByteArrayView nome)
{
    QByteArray r;
    r.reserve(nome.size());
    for (qsizetype i = 0; i < nome.size(); ++i) {
        if (nome[i] != '\\') {
            r += nome[i];
            continue;
        }
        if (++i == nome.size())
            return std::nullopt;
        switch (nome[i]) {
        case '\\':
            r += '\\';
            break;
        case 'n':
            r += '\n';
            break;
        case 'r':
            r += '\r';
            break;
        default:
            return std::nullopt;
        }
    }
    return r;
}

// "./a", "a//b", "a/./b" as the file they name, inside the archive; else why not.
QString dentroArchivio(const QByteArray &nome, QByteArray *relativo)
{
    if (nome.startsWith('/'))
        return QStringLiteral("il percorso è assoluto e porta fuori dall'archivio");
    QList<QByteArray> parti;
    for (const QByteArray &p : nome.split('/')) {
        if (p == "..")
            return QStringLiteral("il percorso risale fuori dall'archivio");
        if (!p.isEmpty() && p != ".")
            parti.append(p);
    }
    if (parti.isEmpty())
        return QStringLiteral("manca il nome del file");
    *relativo = parti.join('/');
    return {};
}

// One line without its end and leading blanks; empty reason when it is valid.
QString leggiVoce(QByteArrayView riga, VoceLetta *voce)
{
    const bool escape = riga.startsWith('\\');
    if (escape)
        riga = riga.sliced(1);
    const QByteArrayView sha = riga.first(qMin(riga.size(), cifreSha256));
    if (sha.size() < cifreSha256 ||
        !std::all_of(sha.begin(), sha.end(), [](char c) { return std::isxdigit(uchar(c)); }))
        return QStringLiteral("non comincia con un'impronta SHA-256 (64 cifre esadecimali)");
    if (riga.size() < cifreSha256 + 2 || !spazio(riga[cifreSha256]) ||
        (riga[cifreSha256 + 1] != ' ' && riga[cifreSha256 + 1] != '*'))
        return QStringLiteral("dopo l'impronta non ci sono i due spazi e il nome del file");
    QByteArray nome = riga.sliced(cifreSha256 + 2).toByteArray();
    if (nome.contains('\0'))
        return QStringLiteral("il nome contiene un carattere nullo");
    if (escape) {
        const std::optional<QByteArray> n = senzaEscape(nome);
        if (!n)
            return QStringLiteral("il nome contiene una sequenza con \\ non valida");
        nome = *n;
    }
    voce->sha256 = sha.toByteArray().toLower();
    return dentroArchivio(nome, &voce->nome);
}

QString descrivi(const QByteArray &nome, const QString &motivo)
{
    return nomeLeggibile(QStringLiteral("“%1”: %2").arg(decodificaNome(nome), motivo));
}

// The manifests' names in the folder open as `fd` (which it closes): visible
// "*.sha256" entries, so the hidden half-written ones are never taken.
QList<QByteArray> nomiManifesti(int fd, QStringList *nonLetti)
{
    QList<QByteArray> nomi;
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        nonLetti->append(descrivi(cartellaManifesti, descrizioneErrore(errno)));
        ::close(fd);
        return nomi;
    }
    for (;;) {
        errno = 0;
        const dirent *e = ::readdir(dir);
        if (!e) {
            if (errno != 0)
                nonLetti->append(descrivi(cartellaManifesti, descrizioneErrore(errno)));
            break;
        }
        const QByteArray nome(e->d_name);
        if (!nome.startsWith('.') && nome.endsWith(".sha256"))
            nomi.append(nome);
    }
    ::closedir(dir);
    return nomi;
}

// The whole text of one manifest, or why it cannot be read.
QString leggiFile(int cartella, const QByteArray &nome, QByteArray *testo, struct stat *info)
{
    const int fd = apriIn(cartella, nome, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return descrizioneErrore(errno);
    if (::fstat(fd, info) != 0 || !S_ISREG(info->st_mode)) {
        ::close(fd);
        return QStringLiteral("non è un file normale");
    }
    if (info->st_size > dimensioneMassima) {
        ::close(fd);
        return QStringLiteral("troppo grande per essere un manifesto");
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return descrizioneErrore(EIO);
    }
    *testo = file.read(dimensioneMassima + 1);
    if (file.error() != QFileDevice::NoError)
        return descrizioneErrore(EIO);
    return {};
}

} // namespace

ContenutoManifesto leggiRigheManifesto(const QByteArray &testo)
{
    ContenutoManifesto c;
    qsizetype numero = 0;
    for (qsizetype inizio = 0; inizio < testo.size();) {
        qsizetype fine = testo.indexOf('\n', inizio);
        if (fine < 0)
            fine = testo.size();
        QByteArrayView riga(testo.constData() + inizio, fine - inizio);
        inizio = fine + 1;
        ++numero;
        // Our names never end with a bare "\r" (it is written "\r" escaped):
        // one there is a line end from another system.
        if (riga.endsWith('\r'))
            riga.chop(1);
        while (!riga.isEmpty() && spazio(riga.front()))
            riga = riga.sliced(1);
        if (riga.isEmpty() || riga.front() == '#')
            continue;
        VoceLetta voce;
        const QString motivo = leggiVoce(riga, &voce);
        if (motivo.isEmpty())
            c.voci.append(voce);
        else
            c.nonValide.append({numero, motivo});
    }
    return c;
}

OrigineManifesto origineManifesto(const QString &nomeFile, const QDateTime &modificato)
{
    static const QRegularExpression schema(
        QStringLiteral("^(%1)_(.+)\\.sha256$").arg(QLatin1String(Orologio::schemaTimestamp)),
        QRegularExpression::DotMatchesEverythingOption);
    OrigineManifesto o{nomeFile, QString(), modificato};
    const QRegularExpressionMatch m = schema.match(nomeFile);
    const QDateTime quando = m.hasMatch()
                                 ? QDateTime::fromString(m.captured(1), QStringLiteral("yyyy-MM-dd_HH-mm-ss"))
                                 : QDateTime();
    if (quando.isValid()) {
        o.quando = quando;
        o.chiavetta = m.captured(2);
    }
    return o;
}

QString descriviOrigine(const OrigineManifesto &origine)
{
    if (origine.chiavetta.isEmpty())
        return nomeLeggibile(QStringLiteral("dal manifesto “%1”").arg(origine.file));
    return nomeLeggibile(QStringLiteral("dalla chiavetta “%1”, archiviato il %2 alle %3")
                             .arg(origine.chiavetta, origine.quando.toString(QStringLiteral("dd/MM/yyyy")),
                                  origine.quando.toString(QStringLiteral("HH:mm"))));
}

ManifestiArchivio leggiManifesti(int archivio)
{
    ManifestiArchivio r;
    // Not followed if it is a link: the manifests belong in the archive itself.
    const int fd = ::openat(archivio, cartellaManifesti, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT)
            r.nonLetti.append(descrivi(cartellaManifesti, descrizioneErrore(errno)));
        return r;
    }
    const int cartella = ::dup(fd); // nomiManifesti closes its own
    for (const QByteArray &nome : nomiManifesti(fd, &r.nonLetti)) {
        QByteArray testo;
        struct stat info {};
        const QString errore = leggiFile(cartella, nome, &testo, &info);
        if (!errore.isEmpty()) {
            r.nonLetti.append(descrivi(nome, errore));
            continue;
        }
        r.manifesti.append(
            {origineManifesto(decodificaNome(nome), QDateTime::fromSecsSinceEpoch(info.st_mtim.tv_sec)),
             leggiRigheManifesto(testo)});
    }
    ::close(cartella);
    std::stable_sort(r.manifesti.begin(), r.manifesti.end(),
                     [](const ManifestoLetto &a, const ManifestoLetto &b) {
                         return a.origine.quando != b.origine.quando ? a.origine.quando < b.origine.quando
                                                                     : a.origine.file < b.origine.file;
                     });
    return r;
}

bool contieneManifesti(const QString &archivio)
{
    const int fd = apriPercorso(dentro(archivio, QLatin1String(cartellaManifesti)), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return false;
    QStringList nonLetti;
    return !nomiManifesti(fd, &nonLetti).isEmpty();
}
