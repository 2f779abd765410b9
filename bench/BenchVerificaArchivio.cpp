// "Verifica archivio" (verificaArchivio) against what a careful user would run
// by hand on the same archive, `sha256sum -c` of the same manifests from inside
// the archive folder, in paired runs (A B A B ...) so that a machine busy with
// other work slows both sides alike. Every run starts cold: only the bench's own
// files are evicted from the page cache first. Also times reading every file
// with cat, cold, as the medium's own read speed, and prints each side's MB/s.
//
// The archive: --files files (default 20,000) of --kib-min to --kib-max KiB
// (default 16 to 1024, spread evenly on a log scale, fixed seed: about 4.6 GiB),
// flat, as copies leave it, listed by one manifest per 500 files.
// Free space: the archive's size.
//
// Usage: bench_verifica_archivio [--files N] [--pairs N] [--kib-min N] [--kib-max N] [--dir FOLDER]
//   Defaults: 3 pairs, under /tmp (TESSERA_BENCH_DIR works too).
//   A quick run: --files 2000 --pairs 2

#include "operations/Orologio.h"
#include "StrumentiBench.h"
#include "transfer/Manifesto.h"
#include "transfer/VerificaArchivio.h"

#include <cmath>
#include <cstdio>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <random>
#include <vector>

using bench::dimentica;
using bench::esegui;
using bench::secondi;
using bench::virgolette;

namespace {

constexpr int filePerManifesto = 500;

struct Parametri {
    int file = 20000;
    int coppie = 3;
    qint64 kibMin = 16, kibMax = 1024;
    QString base = qEnvironmentVariable("TESSERA_BENCH_DIR", QDir::tempPath());
};

// The archive and its manifests, as copies of several sticks on several days
// leave them. Its size in bytes, or -1.
qint64 creaArchivio(const QString &archivio, const Parametri &p)
{
    std::mt19937_64 caso(20240307);
    std::uniform_real_distribution<double> esponente(std::log(double(p.kibMin)), std::log(double(p.kibMax)));
    qint64 totale = 0;
    QList<VoceManifesto> voci;
    QByteArray dati;
    for (int i = 0; i < p.file; ++i) {
        const qint64 dimensione = qint64(std::exp(esponente(caso)) * 1024);
        dati.resize(dimensione);
        for (qint64 k = 0; k + 8 <= dimensione; k += 8)
            *reinterpret_cast<quint64 *>(dati.data() + k) = caso();
        const QString nome = QStringLiteral("IMG_%1.jpg").arg(i, 6, 10, QLatin1Char('0'));
        QFile f(archivio + QLatin1Char('/') + nome);
        if (!f.open(QIODevice::WriteOnly) || f.write(dati) != dimensione)
            return -1;
        totale += dimensione;
        voci.append(
            {nome, QString::fromLatin1(QCryptographicHash::hash(dati, QCryptographicHash::Sha256).toHex())});
        if (voci.size() == filePerManifesto || i + 1 == p.file) {
            const QDateTime quando = QDateTime(QDate(2024, 1, 1), QTime(9, 0)).addDays(i / filePerManifesto);
            Orologio::imposta([quando] { return quando; });
            if (!scriviManifesto(archivio, QStringLiteral("ECO"), voci).errore.isEmpty())
                return -1;
            voci.clear();
        }
    }
    Orologio::imposta({});
    return totale;
}

bool leggiArgomenti(const QStringList &args, Parametri *p)
{
    for (int i = 1; i < args.size(); ++i) {
        if (i + 1 >= args.size())
            return false;
        const QString opzione = args[i], valore = args[++i];
        if (opzione == "--files")
            p->file = valore.toInt();
        else if (opzione == "--pairs")
            p->coppie = valore.toInt();
        else if (opzione == "--kib-min")
            p->kibMin = valore.toLongLong();
        else if (opzione == "--kib-max")
            p->kibMax = valore.toLongLong();
        else if (opzione == "--dir")
            p->base = valore;
        else
            return false;
    }
    return p->file > 0 && p->coppie > 0 && p->kibMin > 0 && p->kibMax >= p->kibMin;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    Parametri p;
    if (!leggiArgomenti(app.arguments(), &p)) {
        std::fprintf(stderr,
                     "uso: %s [--files N] [--pairs N] [--kib-min N] [--kib-max N] [--dir CARTELLA]\n"
                     "spazio libero: la dimensione dell'archivio (circa 4,6 GiB con i valori predefiniti)\n",
                     argv[0]);
        return 2;
    }
    QTemporaryDir dir(p.base + QStringLiteral("/bench-verifica-XXXXXX"));
    const QString archivio = dir.path();
    bench::stampaCarico("archive");
    const qint64 byte = creaArchivio(archivio, p);
    if (byte < 0) {
        std::fprintf(stderr, "could not write the archive under %s\n", qPrintable(p.base));
        return 1;
    }
    std::printf("archive: %d files, %.2f GiB, %d manifests\n", p.file, double(byte) / (1 << 30),
                (p.file + filePerManifesto - 1) / filePerManifesto);

    const QString sha256sum =
        QStringLiteral("cd %1 && sha256sum -c --quiet .tessera-manifest/*.sha256 > /dev/null")
            .arg(virgolette(archivio));
    const QString cat =
        QStringLiteral("cd %1 && find . -maxdepth 1 -type f -print0 | xargs -0 cat > /dev/null")
            .arg(virgolette(archivio));
    const auto cronometra = [&](const std::function<bool()> &lavoro) {
        dimentica(archivio);
        QElapsedTimer t;
        t.start();
        return lavoro() ? secondi(t) : -1.0;
    };
    std::vector<double> rapporti, rapportiSupporto;
    double mbNostro = 0, mbSha = 0, mbCat = 0;
    for (int i = 0; i < p.coppie; ++i) {
        bench::stampaCarico("pair");
        const double a = cronometra([&] { return esegui(sha256sum); });
        const double b = cronometra([&] {
            const EsitoVerificaArchivio e = verificaArchivio(archivio);
            return e.identici == p.file && !e.problemi() && e.nonCoperti.isEmpty();
        });
        const double c = cronometra([&] { return esegui(cat); });
        if (a <= 0 || b <= 0 || c <= 0) {
            std::fprintf(stderr, "a run failed (sha256sum %.1f s, verifica %.1f s, cat %.1f s)\n", a, b, c);
            return 1;
        }
        std::printf("pair %d: sha256sum -c %.2f s, verificaArchivio %.2f s, cat %.2f s\n", i + 1, a, b, c);
        rapporti.push_back(a / b);
        rapportiSupporto.push_back(c / b);
        mbSha += double(byte) / 1048576.0 / a / p.coppie;
        mbNostro += double(byte) / 1048576.0 / b / p.coppie;
        mbCat += double(byte) / 1048576.0 / c / p.coppie;
    }
    std::printf("mean read speed: verificaArchivio %.0f MB/s, sha256sum -c %.0f MB/s, cat %.0f MB/s\n",
                mbNostro, mbSha, mbCat);
    bench::stampaSerie("time of sha256sum -c / time of verificaArchivio", rapporti, "(above 1: faster)");
    bench::stampaSerie("time of cat / time of verificaArchivio", rapportiSupporto,
                       "(1: at the medium's read speed)");
    return 0;
}
