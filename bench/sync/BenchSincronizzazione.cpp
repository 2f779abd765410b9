// The sync's planning against rsync's own dry run with checksums:
//   (a) rsync -rcn --checksum-choice=sha1 A/ B/   (lists both trees, digests
//       every pair of same-sized files, changes nothing)
//   (b) CloneUSBService::pianifica(A, B)
// on two generated trees of N small files each (default 20,000): half the
// paths identical on both, a quarter only on this side, a quarter with the
// same size and different bytes.
//
// Usage: bench_sincronizzazione [--files N] [--rounds R] [--dir FOLDER] [--keep]
// As root the page cache is dropped before every timed step, so both start
// from the disk. Prints the median of R rounds (default 3) and the ratio b/a.

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
#include <unistd.h>
#include <vector>

namespace {

void svuotaCache()
{
    ::sync();
    if (::geteuid() != 0)
        return;
    QFile f(QStringLiteral("/proc/sys/vm/drop_caches"));
    if (f.open(QIODevice::WriteOnly))
        f.write("3\n");
}

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

double mediana(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int n = 20000;
    int giri = 3;
    QString base = QDir::tempPath();
    QStringList args = app.arguments();
    const bool tieni = args.removeAll(QStringLiteral("--keep")) > 0;
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--files"))
            n = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--rounds"))
            giri = std::max(1, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--dir"))
            base = args[i + 1];
    }
    const QString rsync = QStandardPaths::findExecutable(QStringLiteral("rsync"));
    if (rsync.isEmpty()) {
        std::fprintf(stderr, "rsync is not installed\n");
        return 2;
    }
    QTemporaryDir dir(QDir(base).filePath(QStringLiteral("bench-sync-XXXXXX")));
    dir.setAutoRemove(!tieni);
    const QString a = dir.filePath(QStringLiteral("A")), b = dir.filePath(QStringLiteral("B"));
    std::printf("generating 2 x %d files under %s ...\n", n, qPrintable(dir.path()));
    if (!genera(a, b, n)) {
        std::fprintf(stderr, "cannot write the trees\n");
        return 2;
    }
    if (::geteuid() != 0)
        std::printf("not root: the page cache stays warm between steps\n");

    std::vector<double> tempiRsync, tempiPiano;
    PianoSincronizzazione piano;
    for (int g = 0; g < giri; ++g) {
        svuotaCache();
        QElapsedTimer t;
        t.start();
        QProcess p;
        p.setStandardOutputFile(QProcess::nullDevice());
        p.start(rsync, {QStringLiteral("-rcn"), QStringLiteral("--checksum-choice=sha1"),
                        a + QLatin1Char('/'), b + QLatin1Char('/')});
        if (!p.waitForFinished(-1) || p.exitCode() != 0) {
            std::fprintf(stderr, "rsync failed: %s\n", p.readAllStandardError().constData());
            return 2;
        }
        tempiRsync.push_back(t.nsecsElapsed() / 1e9);

        svuotaCache();
        t.restart();
        piano = CloneUSBService::pianifica(a, b);
        tempiPiano.push_back(t.nsecsElapsed() / 1e9);
        std::printf("round %d: rsync %.3f s, pianifica %.3f s\n", g + 1, tempiRsync.back(),
                    tempiPiano.back());
    }

    const qint64 attesiIdentici = (n + 3) / 4 + (n + 2) / 4;
    std::printf("plan: %lld identical, %lld conflicts, %lld A->B, %lld B->A (expected %lld identical)\n",
                qint64(piano.identical), qint64(piano.conflicts.size()), qint64(piano.copyAtoB.size()),
                qint64(piano.copyBtoA.size()), attesiIdentici);
    const double r = mediana(tempiRsync), p = mediana(tempiPiano);
    std::printf("median of %d: rsync -rcn %.3f s, pianifica %.3f s\n", giri, r, p);
    std::printf("ratio pianifica / rsync = %.2f (target <= 1.00)\n", p / r);
    return piano.identical == attesiIdentici ? 0 : 1;
}
