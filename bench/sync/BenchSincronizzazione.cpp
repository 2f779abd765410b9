// The sync's planning against rsync's own dry run with checksums:
//   (a) rsync -rcn --checksum-choice=sha1 A/ B/   (lists both trees, digests
//       every pair of same-sized files, changes nothing)
//   (b) CloneUSBService::pianifica(A, B)
// on two generated trees of N small files each (default 20,000): half the
// paths identical on both, a quarter only on this side, a quarter with the
// same size and different bytes. Runs are paired (A B A B ...), and each step
// prints the median, min and max of the ratio b/a:
//   cold  both trees evicted from the page cache before every run (only
//         their own files: written back, then posix_fadvise DONTNEED)
//   warm  both trees already cached, as right after a first comparison
//   rss   peak resident memory of pianifica, run in a child process, at
//         1,000, 20,000 and 100,000 files per side (--rss-files)
//
// Usage: bench_sincronizzazione [--steps cold,warm,rss] [--files N] [--pairs P]
//                               [--rss-files N,N,...] [--dir FOLDER] [--keep]
//   Defaults: all steps, 20,000 files, 5 pairs, under /tmp.
//   A quick run: --files 2000 --pairs 2 --rss-files 1000,5000
// Free space: about 21 KiB per file per side pair on a 4 KiB-block file
// system: 0.4 GiB for cold and warm at 20,000 files, 2.1 GiB for the rss step
// at 100,000 (each size is removed before the next).

#include "../StrumentiBench.h"
#include "transfer/CloneUSBService.h"

#include <algorithm>
#include <cstdio>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <random>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

bool scrivi(const QString &percorso, const QByteArray &dati)
{
    QFile f(percorso);
    return f.open(QIODevice::WriteOnly) && f.write(dati) == dati.size();
}

QByteArray casuale(std::mt19937_64 &gen, int dimensione)
{
    QByteArray b(dimensione, Qt::Uninitialized);
    for (char &c : b)
        c = char(gen());
    return b;
}

// Files spread over folders of 200, as a camera does; sizes 1 to 16 KiB.
bool genera(const QString &a, const QString &b, int n)
{
    std::mt19937_64 gen(20240502);
    std::uniform_int_distribution<int> dimensione(1024, 16 * 1024);
    for (int i = 0; i < n; ++i) {
        const QString cartella = QStringLiteral("DCIM/%1MEDIA").arg(100 + i / 200, 3, 10, QLatin1Char('0'));
        const QString nome = QStringLiteral("%1/IMG_%2.JPG").arg(cartella).arg(i, 5, 10, QLatin1Char('0'));
        if (i % 200 == 0 && !(QDir(a).mkpath(cartella) && QDir(b).mkpath(cartella)))
            return false;
        const QByteArray dati = casuale(gen, dimensione(gen));
        bool ok = true;
        switch (i % 4) {
        case 0:
        case 1: // the same on both
            ok = scrivi(QDir(a).filePath(nome), dati) && scrivi(QDir(b).filePath(nome), dati);
            break;
        case 2: { // same size, one byte differs
            QByteArray altro = dati;
            altro[altro.size() - 1] = char(altro.at(altro.size() - 1) ^ 0x5a);
            ok = scrivi(QDir(a).filePath(nome), dati) && scrivi(QDir(b).filePath(nome), altro);
            break;
        }
        case 3: // on one side only, a different file on each side
            ok = scrivi(QDir(a).filePath(nome), dati) &&
                 scrivi(
                     QDir(b).filePath(QString(nome).replace(QStringLiteral("IMG_"), QStringLiteral("MOV_"))),
                     casuale(gen, dimensione(gen)));
            break;
        }
        if (!ok)
            return false;
    }
    return true;
}

qint64 identiciAttesi(int n)
{
    return (n + 3) / 4 + (n + 2) / 4;
}

bool rsyncUnaVolta(const QString &rsync, const QString &a, const QString &b)
{
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start(rsync, {QStringLiteral("-rcn"), QStringLiteral("--checksum-choice=sha1"), a + QLatin1Char('/'),
                    b + QLatin1Char('/')});
    if (!p.waitForFinished(-1) || p.exitCode() != 0) {
        std::fprintf(stderr, "rsync failed: %s\n", p.readAllStandardError().constData());
        return false;
    }
    return true;
}

// Paired runs, cold (each run starts with both trees evicted) or warm.
bool confronta(const QString &rsync, const QString &a, const QString &b, int n, int coppie, bool freddo)
{
    bench::stampaCarico(freddo ? "cold" : "warm");
    if (!freddo) { // one untimed run of each brings both trees in
        if (!rsyncUnaVolta(rsync, a, b))
            return false;
        CloneUSBService::pianifica(a, b);
    }
    std::vector<double> rapporti;
    for (int c = 0; c < coppie; ++c) {
        if (freddo) {
            bench::dimentica(a);
            bench::dimentica(b);
        }
        QElapsedTimer t;
        t.start();
        if (!rsyncUnaVolta(rsync, a, b))
            return false;
        const double tR = bench::secondi(t);
        if (freddo) {
            bench::dimentica(a);
            bench::dimentica(b);
        }
        t.restart();
        const PianoSincronizzazione piano = CloneUSBService::pianifica(a, b);
        const double tP = bench::secondi(t);
        if (piano.identical != identiciAttesi(n)) {
            std::fprintf(stderr, "wrong plan: %lld identical, expected %lld\n", qint64(piano.identical),
                         identiciAttesi(n));
            return false;
        }
        rapporti.push_back(tP / tR);
        std::printf("%s pair %d: rsync %.3f s, pianifica %.3f s\n", freddo ? "cold" : "warm", c + 1, tR, tP);
        std::fflush(stdout);
    }
    bench::stampaSerie(freddo ? "cold pianifica / rsync" : "warm pianifica / rsync", rapporti,
                       "(target <= 1.00)");
    return true;
}

// Peak resident memory of a plan in a process of its own, so that nothing
// this bench allocated counts; -1 on failure. The child measures itself:
// the ru_maxrss a parent gets back would include the parent's own peak, which
// a spawned process inherits until it execs.
qint64 piccoPianoFiglio(const QString &eseguibile, const QString &a, const QString &b)
{
    QProcess p;
    p.start(eseguibile, {QStringLiteral("--plan-child"), a, b});
    if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return -1;
    bool ok = false;
    const qint64 picco = p.readAllStandardOutput().trimmed().toLongLong(&ok);
    return ok ? picco : -1;
}

bool memoria(const QString &eseguibile, const QString &radice, const QList<int> &quanti)
{
    bench::stampaCarico("rss");
    for (int n : quanti) {
        const QString a = QDir(radice).filePath(QStringLiteral("rss-A")),
                      b = QDir(radice).filePath(QStringLiteral("rss-B"));
        if (!genera(a, b, n)) {
            std::fprintf(stderr, "cannot write the trees\n");
            return false;
        }
        const qint64 picco = piccoPianoFiglio(eseguibile, a, b);
        QDir(a).removeRecursively();
        QDir(b).removeRecursively();
        if (picco < 0) {
            std::fprintf(stderr, "the plan's child process failed\n");
            return false;
        }
        std::printf("plan peak RSS at %d files per side: %.1f MiB%s\n", n, double(picco) / (1 << 20),
                    n == 100000 ? "  (target < 64 MiB)" : "");
        std::fflush(stdout);
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 4 && std::string_view(argv[1]) == "--plan-child") {
        // Peak from here on: what the loader and libraries took so far stays.
        QFile azzera(QStringLiteral("/proc/self/clear_refs"));
        if (!azzera.open(QIODevice::WriteOnly) || azzera.write("5\n") != 2)
            return 1;
        azzera.close();
        CloneUSBService::pianifica(QFile::decodeName(argv[2]), QFile::decodeName(argv[3]));
        QFile stato(QStringLiteral("/proc/self/status"));
        if (!stato.open(QIODevice::ReadOnly))
            return 1;
        for (const QByteArray &riga : stato.readAll().split('\n')) {
            if (riga.startsWith("VmHWM:")) {
                std::printf("%lld\n", riga.mid(6).trimmed().split(' ').first().toLongLong() * 1024);
                return 0;
            }
        }
        return 1;
    }
    QCoreApplication app(argc, argv);
    int n = 20000;
    int coppie = 5;
    QList<int> rss{1000, 20000, 100000};
    QStringList passi{"cold", "warm", "rss"};
    QString base = QDir::tempPath();
    QStringList args = app.arguments();
    const bool tieni = args.removeAll(QStringLiteral("--keep")) > 0;
    bool valido = args.size() % 2 == 1;
    for (int i = 1; i + 1 < args.size() && valido; i += 2) {
        if (args[i] == QLatin1String("--files"))
            n = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--pairs"))
            coppie = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--dir"))
            base = args[i + 1];
        else if (args[i] == QLatin1String("--steps"))
            passi = args[i + 1].split(',');
        else if (args[i] == QLatin1String("--rss-files")) {
            rss.clear();
            for (const QString &x : args[i + 1].split(','))
                rss.append(x.toInt());
        } else
            valido = false;
    }
    if (!valido || n < 4 || coppie < 1 || std::any_of(rss.begin(), rss.end(), [](int x) { return x < 4; })) {
        std::fprintf(stderr,
                     "uso: %s [--steps cold,warm,rss] [--files N] [--pairs P] [--rss-files N,N,...] "
                     "[--dir CARTELLA] [--keep]\n"
                     "spazio libero: circa 21 KiB per file: 0,4 GiB a 20.000 file, 2,1 GiB a 100.000\n",
                     argv[0]);
        return 2;
    }
    const QString rsync = QStandardPaths::findExecutable(QStringLiteral("rsync"));
    if (rsync.isEmpty()) {
        std::fprintf(stderr, "rsync is not installed\n");
        return 2;
    }
    QTemporaryDir dir(QDir(base).filePath(QStringLiteral("bench-sync-XXXXXX")));
    dir.setAutoRemove(!tieni);
    const QString a = dir.filePath(QStringLiteral("A")), b = dir.filePath(QStringLiteral("B"));
    if (passi.contains("cold") || passi.contains("warm")) {
        std::printf("generating 2 x %d files under %s ...\n", n, qPrintable(dir.path()));
        if (!genera(a, b, n)) {
            std::fprintf(stderr, "cannot write the trees\n");
            return 2;
        }
    }
    bool ok = true;
    if (ok && passi.contains("cold"))
        ok = confronta(rsync, a, b, n, coppie, true);
    if (ok && passi.contains("warm"))
        ok = confronta(rsync, a, b, n, coppie, false);
    if (!tieni) {
        QDir(a).removeRecursively();
        QDir(b).removeRecursively();
    }
    if (ok && passi.contains("rss"))
        ok = memoria(QCoreApplication::applicationFilePath(), dir.path(), rss);
    return ok ? 0 : 1;
}
