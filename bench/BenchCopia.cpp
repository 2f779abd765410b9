// The durable writers against what a careful user would run by hand, in
// paired runs (A B A B ...) so that a machine busy with other work slows both
// sides alike; each step prints the median, min and max of the pairs' ratios.
//
//   copy     (a) cp -r SRC DST && sha256sum of every file on both sides && diff
//            (b) FileCopyService::eseguiCopia into an empty folder: durable,
//                verified by reading both sides back from the media
//            Free space: about 2 x --gib (the tree and one copy at a time).
//   hash     SHA-256 of one 1 GiB file, sha256sum against hashSHA256 from the
//            media, then both from the page cache (hashSHA256InCache, the
//            sync's comparison). Free space: 1 GiB.
//   writers  cost per file of the sync execution (CloneUSBService::eseguiPiano)
//            and of the import (FileCopyService::eseguiImportazione) against the
//            batched copy, on --small files of 1-16 KiB (default 20,000).
//            Free space: about 0.5 GiB per 20,000 files.
//   big      one 4 GiB file copied and verified: peak resident memory.
//            Free space: 8 GiB.
//   check    the check before a stick is wiped (controllaArchivio): a stick of
//            --stick files (default 500) whose contents are all in an archive
//            of --archive files (default 10,000) of 16-256 KiB, in sizes that
//            make every archive file one to compare. Times the first run (no
//            index, all cold), the second (index in place, stick cold) and the
//            stick alone (against an empty archive, stick cold); the second
//            run should cost less than 1 s more than the stick alone.
//            Free space: about 1.5 GiB.
//
// Usage: bench_copia [--steps copy,hash,writers,big,check] [--pairs N] [--gib N]
//                    [--files N] [--small N] [--archive N] [--stick N] [--dir FOLDER]
//   Defaults: all steps, 5 pairs, 2 GiB in 2,000 files of 1 KiB to 50 MiB
//   (fixed seed), under /tmp (TESSERA_BENCH_GIB and TESSERA_BENCH_DIR work too).
//   A quick run: --pairs 2 --gib 0.2 --files 200 --small 2000 --steps copy,hash,writers
//   The check alone: --steps check --pairs 3
// Before each cold run only the bench's own files are evicted from the page
// cache (written back, then posix_fadvise DONTNEED).

#include "StrumentiBench.h"
#include "transfer/CloneUSBService.h"
#include "transfer/ControlloArchivio.h"
#include "transfer/Digest.h"
#include "transfer/FileCopyService.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>
#include <random>
#include <unistd.h>
#include <vector>

using bench::dimentica;
using bench::esegui;
using bench::secondi;
using bench::stampaSerie;
using bench::virgolette;

namespace {

constexpr qint64 KiB = 1024;
constexpr qint64 MiB = 1024 * KiB;
constexpr qint64 GiB = 1024 * MiB;

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

bool generaAlbero(const QString &src, int quanti, double gib, std::mt19937_64 &gen)
{
    // 20 folders, unique names so that the flat copy renames nothing.
    const std::vector<qint64> dim = dimensioni(quanti, qint64(gib * double(GiB)), gen);
    std::vector<quint64> buffer(size_t(MiB / sizeof(quint64)));
    qint64 totale = 0;
    for (int i = 0; i < quanti; ++i) {
        const QString cartella =
            QStringLiteral("%1/cartella%2").arg(src).arg(i % 20, 2, 10, QLatin1Char('0'));
        QDir().mkpath(cartella);
        if (!scriviCasuale(QStringLiteral("%1/file%2.bin").arg(cartella).arg(i, 5, 10, QLatin1Char('0')),
                           dim[size_t(i)], gen, buffer))
            return false;
        totale += dim[size_t(i)];
    }
    std::printf("tree: %d files, %.2f GiB, largest %.1f MiB, seed 20240307\n", quanti,
                double(totale) / double(GiB),
                double(*std::max_element(dim.begin(), dim.end())) / double(MiB));
    return true;
}

bool passoCopia(const QString &lavoro, int coppie, int quanti, double gib, std::mt19937_64 &gen)
{
    bench::stampaCarico("copy");
    const QString src = QDir(lavoro).filePath(QStringLiteral("src"));
    const QString dstA = QDir(lavoro).filePath(QStringLiteral("dst-a"));
    const QString dstB = QDir(lavoro).filePath(QStringLiteral("dst-b"));
    if (!generaAlbero(src, quanti, gib, gen)) {
        std::fprintf(stderr, "cannot write the tree\n");
        return false;
    }
    const QString somme = QStringLiteral("find . -type f -print0 | sort -z | xargs -0 sha256sum");
    const QString listaA = QDir(lavoro).filePath("a.sha256"), listaB = QDir(lavoro).filePath("b.sha256");
    std::vector<double> rapporti, fasiCopia;
    qint64 piccoMassimo = 0;
    for (int c = 0; c < coppie; ++c) {
        dimentica(src);
        QElapsedTimer t;
        t.start();
        const bool okA = esegui(
            QStringLiteral("set -e -o pipefail; cp -r %1 %2 && (cd %1 && %3) > %4 && (cd %2 && %3) > "
                           "%5 && diff -q %4 %5 > /dev/null")
                .arg(virgolette(src), virgolette(dstA), somme, virgolette(listaA), virgolette(listaB)));
        const double tA = secondi(t);
        QDir(dstA).removeRecursively();
        QFile::remove(listaA);
        QFile::remove(listaB);
        if (!okA) {
            std::fprintf(stderr, "the by-hand pipeline failed\n");
            return false;
        }

        dimentica(src);
        azzeraPicco();
        double inizioVerifica = -1;
        t.restart();
        const EsitoCopia esito =
            FileCopyService::eseguiCopia(src, std::nullopt, dstB, [&](const Avanzamento &a) {
                if (a.titolo)
                    inizioVerifica = secondi(t);
            });
        const double tB = secondi(t);
        piccoMassimo = std::max(piccoMassimo, piccoMemoria());
        QDir(dstB).removeRecursively();
        if (esito.copiati != quanti || esito.verificati != quanti || esito.errori != 0) {
            std::fprintf(stderr, "the copy went wrong: %lld copied, %lld verified, %lld errors\n",
                         static_cast<long long>(esito.copiati), static_cast<long long>(esito.verificati),
                         static_cast<long long>(esito.errori));
            return false;
        }
        rapporti.push_back(tB / tA);
        fasiCopia.push_back(inizioVerifica);
        std::printf("pair %d: (a) cp + sha256sum x2 + diff %.2f s, (b) eseguiCopia %.2f s (copy %.2f s, "
                    "verification %.2f s): b/a %.2f\n",
                    c + 1, tA, tB, inizioVerifica, tB - inizioVerifica, tB / tA);
        std::fflush(stdout);
    }
    stampaSerie("copy b/a", rapporti, "(target: median <= 0.5, max <= 0.6)");
    stampaSerie("copy phase of (b), s", fasiCopia);
    std::printf("peak RSS during (b): %.1f MiB (target < 64 MiB)\n", double(piccoMassimo) / double(MiB));
    QDir(src).removeRecursively();
    return true;
}

bool passoHash(const QString &lavoro, int coppie, std::mt19937_64 &gen)
{
    bench::stampaCarico("hash");
    const QString unGiga = QDir(lavoro).filePath(QStringLiteral("1GiB.bin"));
    {
        std::vector<quint64> b(size_t(MiB / sizeof(quint64)));
        if (!scriviCasuale(unGiga, GiB, gen, b))
            return false;
    }
    const QString comando = QStringLiteral("sha256sum %1 > /dev/null").arg(virgolette(unGiga));
    // From the media: sha256sum reads through a cache emptied of the file,
    // hashSHA256 always reads from the media.
    std::vector<double> daSupporto, daCache;
    for (int c = 0; c < coppie; ++c) {
        dimentica(unGiga);
        QElapsedTimer t;
        t.start();
        const bool ok = esegui(comando);
        const double tS = secondi(t);
        dimentica(unGiga);
        t.restart();
        const bool okH = hashSHA256(unGiga).has_value();
        const double tH = secondi(t);
        if (!ok || !okH)
            return false;
        daSupporto.push_back(tS / tH);
        std::printf(
            "from the media, pair %d: sha256sum %.2f s (%.0f MiB/s), hashSHA256 %.2f s (%.0f MiB/s)\n", c + 1,
            tS, 1024 / tS, tH, 1024 / tH);
    }
    hashSHA256InCache(unGiga); // brings the file in
    for (int c = 0; c < coppie; ++c) {
        QElapsedTimer t;
        t.start();
        const bool ok = esegui(comando);
        const double tS = secondi(t);
        t.restart();
        const bool okH = hashSHA256InCache(unGiga).has_value();
        const double tH = secondi(t);
        if (!ok || !okH)
            return false;
        daCache.push_back(tS / tH);
        std::printf("from the cache, pair %d: sha256sum %.2f s (%.0f MiB/s), hashSHA256InCache %.2f s "
                    "(%.0f MiB/s)\n",
                    c + 1, tS, 1024 / tS, tH, 1024 / tH);
    }
    stampaSerie("SHA-256 speed-up over sha256sum, from the media", daSupporto);
    stampaSerie("SHA-256 speed-up over sha256sum, from the cache", daCache, "(target >= 4.5)");
    QFile::remove(unGiga);
    return true;
}

// Files of 1-16 KiB in folders of 200, as a camera writes them.
bool generaPiccoli(const QString &radice, int quanti)
{
    std::mt19937_64 gen(20240611);
    std::uniform_int_distribution<int> dimensione(1024, 16 * 1024);
    QByteArray dati;
    for (int i = 0; i < quanti; ++i) {
        const QString cartella =
            QStringLiteral("%1/DCIM/%2MEDIA").arg(radice).arg(100 + i / 200, 3, 10, QLatin1Char('0'));
        if (i % 200 == 0 && !QDir().mkpath(cartella))
            return false;
        dati.resize(dimensione(gen));
        for (char &c : dati)
            c = char(gen());
        QFile f(QStringLiteral("%1/IMG_%2.JPG").arg(cartella).arg(i, 5, 10, QLatin1Char('0')));
        if (!f.open(QIODevice::WriteOnly) || f.write(dati) != dati.size())
            return false;
    }
    return true;
}

bool passoScrittori(const QString &lavoro, int coppie, int quanti)
{
    bench::stampaCarico("writers");
    const QString src = QDir(lavoro).filePath(QStringLiteral("piccoli"));
    const QString dst = QDir(lavoro).filePath(QStringLiteral("piccoli-dst"));
    const QString vuota = QDir(lavoro).filePath(QStringLiteral("vuota"));
    if (!generaPiccoli(src, quanti) || !QDir().mkpath(vuota)) {
        std::fprintf(stderr, "cannot write the small files\n");
        return false;
    }
    std::printf("%d files of 1-16 KiB\n", quanti);
    // Everything on A goes to an empty B; the plan itself is not timed here.
    const PianoSincronizzazione piano = CloneUSBService::pianifica(src, vuota);
    const QSet<QString> jpg{QStringLiteral("jpg")};
    std::vector<double> sync, import;
    for (int c = 0; c < coppie; ++c) {
        // The batched copy, then each of the other writers, into an empty folder.
        double tempi[3] = {}, faseCopia = 0;
        bool ok[3] = {};
        for (int w = 0; w < 3; ++w) {
            dimentica(src);
            QDir().mkpath(dst); // the sync wants its stick's root to be there
            QElapsedTimer t;
            t.start();
            if (w == 0) {
                const EsitoCopia e =
                    FileCopyService::eseguiCopia(src, std::nullopt, dst, [&](const Avanzamento &a) {
                        if (a.titolo)
                            faseCopia = secondi(t) * 1000 / quanti;
                    });
                ok[w] = e.copiati == quanti && e.verificati == quanti;
            } else if (w == 1) {
                const EsitoSincronizzazione e =
                    CloneUSBService::eseguiPiano(piano, src, dst, QStringLiteral("A"), QStringLiteral("B"));
                ok[w] = e.copiedAtoB == quanti && e.errors == 0;
            } else {
                const EsitoImportazione e = FileCopyService::eseguiImportazione(src, dst, jpg);
                ok[w] = e.nuovi == quanti && e.errori == 0;
            }
            tempi[w] = secondi(t) * 1000 / quanti;
            QDir(dst).removeRecursively();
        }
        if (!ok[0] || !ok[1] || !ok[2]) {
            std::fprintf(stderr, "a writer went wrong (copy %d, sync %d, import %d)\n", ok[0], ok[1], ok[2]);
            return false;
        }
        sync.push_back(tempi[1] / tempi[0]);
        import.push_back(tempi[2] / tempi[0]);
        std::printf("pair %d, ms per file: batched copy %.3f (of which writing %.3f), sync execution %.3f, "
                    "import %.3f\n",
                    c + 1, tempi[0], faseCopia, tempi[1], tempi[2]);
        std::fflush(stdout);
    }
    stampaSerie("sync execution / batched copy, per file", sync, "(target <= 1.2)");
    stampaSerie("import / batched copy, per file", import, "(target about 1)");
    QDir(src).removeRecursively();
    return true;
}

bool passoGrande(const QString &lavoro, std::mt19937_64 &gen)
{
    bench::stampaCarico("big");
    // Memory must not grow with the size of a file.
    const QString cartella = QDir(lavoro).filePath(QStringLiteral("grande"));
    QDir().mkpath(cartella);
    {
        std::vector<quint64> b(size_t(MiB / sizeof(quint64)));
        if (!scriviCasuale(QDir(cartella).filePath(QStringLiteral("4GiB.bin")), 4 * GiB, gen, b))
            return false;
    }
    dimentica(cartella);
    azzeraPicco();
    QElapsedTimer t;
    t.start();
    const QString dst = QDir(lavoro).filePath(QStringLiteral("dst-grande"));
    const EsitoCopia e = FileCopyService::eseguiCopia(cartella, std::nullopt, dst);
    std::printf("one 4 GiB file: %.2f s, %lld verified, peak RSS %.1f MiB\n", secondi(t),
                static_cast<long long>(e.verificati), double(piccoMemoria()) / double(MiB));
    QDir(cartella).removeRecursively();
    QDir(dst).removeRecursively();
    return e.verificati == 1;
}

} // namespace

bool passoControllo(const QString &lavoro, int coppie, int nArchivio, int nChiavetta)
{
    bench::stampaCarico("check");
    const QDir base(lavoro);
    const QString archivio = base.filePath(QStringLiteral("archivio")),
                  chiavetta = base.filePath(QStringLiteral("chiavetta")),
                  vuoto = base.filePath(QStringLiteral("archivio-vuoto")),
                  indice = base.filePath(QStringLiteral("indice_archivio.tsv"));
    std::mt19937_64 gen(20241206);
    std::uniform_int_distribution<int> blocchi(1, 16);
    std::vector<quint64> buffer(8192);
    const int passo = std::max(1, nArchivio / std::max(1, nChiavetta));
    int suChiavetta = 0;
    bool ok = QDir().mkpath(chiavetta + QStringLiteral("/DCIM")) && QDir().mkpath(vuoto);
    for (int i = 0; ok && i < nArchivio; ++i) {
        const QString cartella = QStringLiteral("%1/%2").arg(archivio).arg(i / 500, 3, 10, QLatin1Char('0'));
        if (i % 500 == 0)
            ok = QDir().mkpath(cartella);
        const QString file = QStringLiteral("%1/ECO_%2.jpg").arg(cartella).arg(i, 5, 10, QLatin1Char('0'));
        ok = ok && scriviCasuale(file, blocchi(gen) * 16 * KiB, gen, buffer);
        if (ok && i % passo == 0 && suChiavetta < nChiavetta) {
            ok = QFile::copy(
                file, QStringLiteral("%1/DCIM/IMG_%2.JPG").arg(chiavetta).arg(i, 5, 10, QLatin1Char('0')));
            ++suChiavetta;
        }
    }
    if (!ok) {
        std::fprintf(stderr, "cannot write the archive and the stick\n");
        return false;
    }
    std::printf("archive of %d files, stick of %d files, 16-256 KiB each\n", nArchivio, suChiavetta);
    QThread::msleep(3100); // files changed in the last seconds are not indexed
    std::vector<double> suPrima, suSola, differenza;
    for (int c = 0; c < coppie; ++c) {
        QFile::remove(indice);
        dimentica(archivio);
        dimentica(chiavetta);
        QElapsedTimer t;
        t.start();
        const EsitoControlloArchivio prima = controllaArchivio(chiavetta, archivio, indice);
        const double tPrima = secondi(t);
        dimentica(chiavetta);
        t.restart();
        const EsitoControlloArchivio seconda = controllaArchivio(chiavetta, archivio, indice);
        const double tSeconda = secondi(t);
        dimentica(chiavetta);
        t.restart();
        const EsitoControlloArchivio sola = controllaArchivio(chiavetta, vuoto, QString());
        const double tSola = secondi(t);
        if (!prima.alSicuro() || !seconda.alSicuro() || seconda.fileArchivioLetti != 0 ||
            sola.mancanti.size() != suChiavetta) {
            std::fprintf(stderr, "the check went wrong\n");
            return false;
        }
        suPrima.push_back(tSeconda / tPrima);
        suSola.push_back(tSeconda / tSola);
        differenza.push_back(tSeconda - tSola);
        std::printf(
            "pair %d: first run %.2f s (%lld archive files read), second run %.3f s, stick alone %.3f s\n",
            c + 1, tPrima, qlonglong(prima.fileArchivioLetti), tSeconda, tSola);
        std::fflush(stdout);
    }
    stampaSerie("check, second run / first run", suPrima);
    stampaSerie("check, second run / stick alone", suSola);
    stampaSerie("check, second run - stick alone, seconds", differenza, "(target < 1)");
    QDir(archivio).removeRecursively();
    QDir(chiavetta).removeRecursively();
    return true;
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    double gib = qEnvironmentVariable("TESSERA_BENCH_GIB", QStringLiteral("2")).toDouble();
    int quanti = 2000, piccoli = 20000, coppie = 5, nArchivio = 10000, nChiavetta = 500;
    QString base = qEnvironmentVariable("TESSERA_BENCH_DIR", QDir::tempPath());
    QStringList passi{"copy", "hash", "writers", "big", "check"};
    const QStringList args = app.arguments();
    bool valido = true;
    for (int i = 1; i < args.size() && valido; ++i) {
        const bool conValore = i + 1 < args.size();
        if (args[i] == "--gib" && conValore)
            gib = args[++i].toDouble();
        else if (args[i] == "--files" && conValore)
            quanti = args[++i].toInt();
        else if (args[i] == "--small" && conValore)
            piccoli = args[++i].toInt();
        else if (args[i] == "--archive" && conValore)
            nArchivio = args[++i].toInt();
        else if (args[i] == "--stick" && conValore)
            nChiavetta = args[++i].toInt();
        else if (args[i] == "--pairs" && conValore)
            coppie = args[++i].toInt();
        else if (args[i] == "--dir" && conValore)
            base = args[++i];
        else if (args[i] == "--steps" && conValore)
            passi = args[++i].split(',');
        else
            valido = false;
    }
    if (!valido || gib <= 0 || quanti <= 0 || piccoli <= 0 || coppie <= 0 || nArchivio <= 0 ||
        nChiavetta <= 0) {
        std::fprintf(
            stderr,
            "uso: %s [--steps copy,hash,writers,big,check] [--pairs N] [--gib N] [--files N] [--small N] "
            "[--archive N] [--stick N] [--dir CARTELLA]\n"
            "spazio libero: copy 2 x --gib, hash 1 GiB, writers 0.5 GiB ogni 20.000 file, big 8 GiB, "
            "check 1.5 GiB\n",
            argv[0]);
        return 2;
    }

    QTemporaryDir lavoro(QDir(base).filePath(QStringLiteral("tessera-bench-XXXXXX")));
    if (!lavoro.isValid()) {
        std::fprintf(stderr, "cannot create a folder under %s\n", qPrintable(base));
        return 1;
    }
    std::printf("working in %s, %d pairs\n", qPrintable(lavoro.path()), coppie);
    std::mt19937_64 gen(20240307);
    bool ok = true;
    if (ok && passi.contains("copy"))
        ok = passoCopia(lavoro.path(), coppie, quanti, gib, gen);
    if (ok && passi.contains("hash"))
        ok = passoHash(lavoro.path(), coppie, gen);
    if (ok && passi.contains("writers"))
        ok = passoScrittori(lavoro.path(), coppie, piccoli);
    if (ok && passi.contains("big"))
        ok = passoGrande(lavoro.path(), gen);
    if (ok && passi.contains("check"))
        ok = passoControllo(lavoro.path(), coppie, nArchivio, nChiavetta);
    return ok ? 0 : 1;
}
