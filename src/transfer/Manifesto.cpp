#include "transfer/Manifesto.h"

#include "comune/NomiFile.h"
#include "operations/Orologio.h"
#include "platform/OperazioniFile.h"
#include "platform/PrimitiveFile.h"
#include "transfer/LottoCopie.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <QRandomGenerator>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

// A stick's name as part of a file name: no "/", no control characters, no
// stray bytes, not too long, never empty.
QString nomeSicuro(const QString &chiavetta)
{
    QString nome;
    for (const QChar c : chiavetta.trimmed().left(64)) {
        const bool vietato = c == QLatin1Char('/') || c.category() == QChar::Other_Control ||
                             c.category() == QChar::Other_Format || c.isSurrogate();
        nome += vietato ? QChar(u'_') : c;
    }
    return nome.isEmpty() ? QStringLiteral("chiavetta") : nome;
}

// The manifest's text, line for line as GNU sha256sum writes it: a name with
// a backslash, a line feed or a carriage return has them escaped and the line
// starts with a backslash. A file named "-" is written "./-": sha256sum -c
// would read standard input for it. Sorted by the bytes of the names.
QByteArray contenuto(const QList<VoceManifesto> &voci)
{
    QList<std::pair<QByteArray, QByteArray>> righe;
    for (const VoceManifesto &v : voci)
        righe.append({codificaNome(v.nome), v.sha256.toLatin1()});
    std::sort(righe.begin(), righe.end());
    QByteArray testo;
    for (const auto &[nome, sha] : std::as_const(righe)) {
        const bool daProteggere = nome.contains('\\') || nome.contains('\n') || nome.contains('\r');
        QByteArray n = nome == "-" ? QByteArrayLiteral("./-") : nome;
        if (daProteggere)
            n.replace('\\', "\\\\").replace('\n', "\\n").replace('\r', "\\r");
        testo += (daProteggere ? QByteArrayLiteral("\\") : QByteArray()) + sha + "  " + n + '\n';
    }
    return testo;
}

} // namespace

EsitoManifesto scriviManifesto(const QString &archivio, const QString &chiavetta,
                               const QList<VoceManifesto> &voci)
{
    if (voci.isEmpty())
        return {};
    const auto fallito = [](int e) { return EsitoManifesto{QString(), descrizioneErrore(e)}; };
    const QByteArray cartella(cartellaManifesti);

    const Descrittore radice(apriPercorso(archivio, O_RDONLY | O_DIRECTORY));
    if (!radice.aperto())
        return fallito(errno);
    const bool creata = ::mkdirat(radice.fd(), cartella.constData(), 0755) == 0;
    if (!creata && errno != EEXIST)
        return fallito(errno);
    // Not followed if it is a link: the manifests belong in the archive itself.
    const Descrittore manifesti(apriIn(radice.fd(), cartella, O_RDONLY | O_DIRECTORY | O_NOFOLLOW));
    if (!manifesti.aperto())
        return fallito(errno);

    // Hidden, so that a half-written manifest never passes for one.
    QByteArray temporaneo;
    int fd = -1;
    for (int tentativo = 0; tentativo < 100 && fd < 0; ++tentativo) {
        temporaneo = QByteArrayLiteral(".tessera-") +
                     QByteArray::number(QRandomGenerator::global()->generate64(), 16) +
                     QByteArrayLiteral(".tmp");
        fd = apriIn(manifesti.fd(), temporaneo, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0644);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        return fallito(errno);
    Descrittore file(fd);
    int e = scriviTutto(file.fd(), contenuto(voci));
    if (e == 0 && ::fdatasync(file.fd()) != 0)
        e = errno;
    const int chiusura = file.chiudi();
    if (e == 0)
        e = chiusura;
    if (e != 0) {
        ::unlinkat(manifesti.fd(), temporaneo.constData(), 0);
        return fallito(e);
    }

    const QString base = Orologio::timestamp() + QLatin1Char('_') + nomeSicuro(chiavetta);
    QString nome;
    e = EEXIST;
    for (int k = 0; k < 1000 && e == EEXIST; ++k) {
        nome = base + (k > 0 ? QStringLiteral("_%1").arg(k) : QString()) + QStringLiteral(".sha256");
        e = collocaSenzaSostituire(manifesti.fd(), temporaneo, codificaNome(nome));
    }
    if (e != 0) {
        ::unlinkat(manifesti.fd(), temporaneo.constData(), 0);
        return fallito(e);
    }
    // The name, and a new folder's own name, reach the disk too. A failure
    // here leaves a complete manifest in place but does not call it written.
    if (::fsync(manifesti.fd()) != 0 || (creata && ::fsync(radice.fd()) != 0))
        return fallito(errno);
    return {QString::fromLatin1(cartella) + QLatin1Char('/') + nome, QString()};
}
