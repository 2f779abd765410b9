// The verified copy against the by-hand pipeline a careful user would run:
//   (a) cp -r SRC DST && sha256sum of every file on both sides && diff
//   (b) FileCopyService::eseguiCopia into an empty folder: durable, verified
//       by reading both sides back from the media
// and the digest against sha256sum on one large file, plus the peak resident
// memory of (b).
//
// Usage: bench_copia [--gib N] [--files N] [--dir FOLDER] [--no-big-file]
//   TESSERA_BENCH_GIB and TESSERA_BENCH_DIR do the same as --gib and --dir.
// Defaults: 2 GiB in 2,000 files of 1 KiB to 50 MiB (fixed seed), under /tmp.
// As root the page cache is dropped before every timed step, so that both
// sides start from the disk.

#include "transfer/FileCopyService.h"
#include "transfer/OperazioniFile.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <random>
#include <unistd.h>
#include <vector>

namespace {

constexpr qint64 KiB = 1024;
constexpr qint64 MiB = 1024 * KiB;
constexpr qint64 GiB = 1024 * MiB;

bool radice()
{
    return ::geteuid() == 0;
}

void svuotaCache()
{
    ::sync();
    if (!radice())
        return;
    QFile f(QStringLiteral("/proc/sys/vm/drop_caches"));
    if (f.open(QIODevice::WriteOnly))
        f.write("3\n");
}

// Peak resident memory since the last azzeraPicco(), in bytes.
qint64 piccoMemoria()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &riga : f.readAll().split('\n')) {
        if (riga.startsWith("VmHWM:"))
            return riga.mid(6).trimmed().split(' ').first().toLongLong() * KiB;
    }
    return -1;
}

void azzeraPicco()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5\n");
}

bool scriviCasuale(const QString &percorso, qint64 dimensione, std::mt19937_64 &gen,
                   std::vector<quint64> &buffer)
{
    QFile f(percorso);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    for (qint64 scritti = 0; scritti < dimensione;) {
        for (quint64 &v : buffer)
            v = gen();
        const qint64 n = std::min<qint64>(dimensione - scritti, qint64(buffer.size() * sizeof(quint64)));
        if (f.write(reinterpret_cast<const char *>(buffer.data()), n) != n)
            return false;
        scritti += n;
    }
    return true;
}

// Sizes from 1 KiB to 50 MiB, most of them small as on a real stick: the
// exponent is spread by u^p (u uniform) with p chosen to add up to `totale`.
std::vector<qint64> dimensioni(int quanti, qint64 totale, std::mt19937_64 &gen)
{
    const double basso = std::log(double(KiB)), alto = std::log(double(50 * MiB));
    std::uniform_real_distribution<double> uniforme(0, 1);
    std::vector<double> u(static_cast<size_t>(quanti));
    for (double &x : u)
        x = uniforme(gen);
    const auto misura = [&](double p, std::vector<qint64> *out) {
        qint64 somma = 0;
        for (size_t i = 0; i < u.size(); ++i) {
            const qint64 d = qint64(std::exp(basso + (alto - basso) * std::pow(u[i], p)));
            somma += d;
            if (out)
                (*out)[i] = d;
        }
        return somma;
    };
    double da = 0.01, a = 200;
    for (int giro = 0; giro < 100; ++giro) {
        const double p = std::sqrt(da * a);
        (misura(p, nullptr) > totale ? da : a) = p;
    }
    std::vector<qint64> r(static_cast<size_t>(quanti));
    misura(std::sqrt(da * a), &r);
    return r;
}

double secondi(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e9;
}

bool esegui(const QString &comando)
{
    return QProcess::execute(QStringLiteral("/bin/bash"), {QStringLiteral("-c"), comando}) == 0;
}

QString virgolette(const QString &s)
{
    return QLatin1Char('\'') + QString(s).replace("'", "'\\''") + QLatin1Char('\'');
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    double gib = qEnvironmentVariable("TESSERA_BENCH_GIB", QStringLiteral("2")).toDouble();
    int quanti = 2000;
    QString base = qEnvironmentVariable("TESSERA_BENCH_DIR", QDir::tempPath());
    bool fileGrande = true;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == "--gib" && i + 1 < args.size())
            gib = args[++i].toDouble();
        else if (args[i] == "--files" && i + 1 < args.size())
            quanti = args[++i].toInt();
        else if (args[i] == "--dir" && i + 1 < args.size())
            base = args[++i];
        else if (args[i] == "--no-big-file")
            fileGrande = false;
        else {
            std::fprintf(stderr, "uso: %s [--gib N] [--files N] [--dir CARTELLA] [--no-big-file]\n", argv[0]);
            return 2;
        }
    }
    if (gib <= 0 || quanti <= 0)
        return 2;

    QTemporaryDir lavoro(QDir(base).filePath(QStringLiteral("tessera-bench-XXXXXX")));
    if (!lavoro.isValid()) {
        std::fprintf(stderr, "cannot create a folder under %s\n", qPrintable(base));
        return 1;
    }
    const QString src = lavoro.filePath(QStringLiteral("src"));
    const QString dstA = lavoro.filePath(QStringLiteral("dst-a"));
    const QString dstB = lavoro.filePath(QStringLiteral("dst-b"));
    if (!radice())
        std::printf("note: not root, the page cache is not dropped between steps\n");

    // The tree: 20 folders, unique names so that the flat copy renames nothing.
    std::mt19937_64 gen(20240307);
    const std::vector<qint64> dim = dimensioni(quanti, qint64(gib * double(GiB)), gen);
    std::vector<quint64> buffer(size_t(MiB / sizeof(quint64)));
    qint64 totale = 0;
    for (int i = 0; i < quanti; ++i) {
        const QString cartella =
            QStringLiteral("%1/cartella%2").arg(src).arg(i % 20, 2, 10, QLatin1Char('0'));
        QDir().mkpath(cartella);
        if (!scriviCasuale(QStringLiteral("%1/file%2.bin").arg(cartella).arg(i, 5, 10, QLatin1Char('0')),
                           dim[size_t(i)], gen, buffer)) {
            std::fprintf(stderr, "cannot write the tree\n");
            return 1;
        }
        totale += dim[size_t(i)];
    }
    buffer = {};
    std::printf("tree: %d files, %.2f GiB, largest %.1f MiB, seed 20240307, in %s\n", quanti,
                double(totale) / double(GiB), double(*std::max_element(dim.begin(), dim.end())) / double(MiB),
                qPrintable(lavoro.path()));

    // (a)
    svuotaCache();
    QElapsedTimer t;
    t.start();
    const QString somme = QStringLiteral("find . -type f -print0 | sort -z | xargs -0 sha256sum");
    const bool okA =
        esegui(QStringLiteral("set -e -o pipefail; cp -r %1 %2 && (cd %1 && %3) > %4 && (cd %2 && %3) > "
                              "%5 && diff -q %4 %5 > /dev/null")
                   .arg(virgolette(src), virgolette(dstA), somme, virgolette(lavoro.filePath("a.sha256")),
                        virgolette(lavoro.filePath("b.sha256"))));
    const double tA = secondi(t);
    if (!okA) {
        std::fprintf(stderr, "the by-hand pipeline failed\n");
        return 1;
    }
    std::printf("(a) cp -r + sha256sum both sides + diff: %.2f s\n", tA);
    QDir(dstA).removeRecursively();

    // (b)
    svuotaCache();
    azzeraPicco();
    double inizioVerifica = -1;
    t.restart();
    const EsitoCopia esito = FileCopyService::eseguiCopia(
        src, std::nullopt, dstB,
        [&](std::optional<double>, std::optional<QString>, std::optional<QString> titolo) {
            if (titolo)
                inizioVerifica = secondi(t);
        });
    const double tB = secondi(t);
    const qint64 picco = piccoMemoria();
    if (esito.copiati != quanti || esito.verificati != quanti || esito.errori != 0) {
        std::fprintf(stderr, "the copy went wrong: %lld copied, %lld verified, %lld errors\n",
                     static_cast<long long>(esito.copiati), static_cast<long long>(esito.verificati),
                     static_cast<long long>(esito.errori));
        return 1;
    }
    std::printf(
        "(b) eseguiCopia, durable, verified from the media: %.2f s (copy %.2f s, verification %.2f s)\n", tB,
        inizioVerifica, tB - inizioVerifica);
    std::printf("b/a = %.2f (target <= 0.5)\n", tB / tA);
    std::printf("peak RSS during (b): %.1f MiB (target < 64 MiB)\n", double(picco) / double(MiB));
    QDir(dstB).removeRecursively();
    QDir(src).removeRecursively();

    // The digest alone, both sides from a cold cache.
    const QString unGiga = lavoro.filePath(QStringLiteral("1GiB.bin"));
    {
        std::vector<quint64> b(size_t(MiB / sizeof(quint64)));
        scriviCasuale(unGiga, GiB, gen, b);
    }
    svuotaCache();
    t.restart();
    const bool okS = esegui(QStringLiteral("sha256sum %1 > /dev/null").arg(virgolette(unGiga)));
    const double tS = secondi(t);
    svuotaCache();
    t.restart();
    const std::optional<QString> digest = hashSHA256(unGiga);
    const double tH = secondi(t);
    if (!okS || !digest)
        return 1;
    std::printf("SHA-256 of 1 GiB: sha256sum %.2f s (%.0f MiB/s), hashSHA256 %.2f s (%.0f MiB/s): %.2fx "
                "(target >= 4.5x)\n",
                tS, 1024 / tS, tH, 1024 / tH, tS / tH);
    QFile::remove(unGiga);

    if (fileGrande) {
        // Memory must not grow with the size of a file.
        const QString grande = lavoro.filePath(QStringLiteral("grande/4GiB.bin"));
        QDir().mkpath(lavoro.filePath(QStringLiteral("grande")));
        {
            std::vector<quint64> b(size_t(MiB / sizeof(quint64)));
            scriviCasuale(grande, 4 * GiB, gen, b);
        }
        svuotaCache();
        azzeraPicco();
        t.restart();
        const EsitoCopia e =
            FileCopyService::eseguiCopia(lavoro.filePath(QStringLiteral("grande")), std::nullopt,
                                         lavoro.filePath(QStringLiteral("dst-grande")));
        const double tG = secondi(t);
        std::printf("one 4 GiB file: %.2f s, %lld verified, peak RSS %.1f MiB\n", tG,
                    static_cast<long long>(e.verificati), double(piccoMemoria()) / double(MiB));
    }
    return 0;
}
