#pragma once

// What the benches share: paired timing, the spread of the ratios, and
// evicting only the bench's own files from the page cache, so that a cold run
// starts from the disk without flushing or dropping anything else of the
// computer's (a global drop_caches would slow every other program and make the
// figures depend on what they were doing).

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <unistd.h>
#include <vector>

namespace bench {

inline double secondi(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e9;
}

inline void dimenticaFile(const QByteArray &percorso)
{
    const int fd = ::open(percorso.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return;
    // Dirty pages cannot be dropped: write them out first (no device cache
    // flush, only the page cache's own writeback).
    ::sync_file_range(fd, 0, 0,
                      SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
}

// Evicts the cached data of `percorso` (a file, or every file below a folder,
// hidden ones too). Names and inodes stay cached: the kernel has no per-file
// way to drop them.
inline void dimentica(const QString &percorso)
{
    if (QFileInfo(percorso).isFile()) {
        dimenticaFile(QFile::encodeName(percorso));
        return;
    }
    QDirIterator it(percorso, QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        dimenticaFile(QFile::encodeName(it.next()));
}

inline bool esegui(const QString &comando)
{
    return QProcess::execute(QStringLiteral("/bin/bash"), {QStringLiteral("-c"), comando}) == 0;
}

inline QString virgolette(const QString &s)
{
    return QLatin1Char('\'') + QString(s).replace("'", "'\\''") + QLatin1Char('\'');
}

inline double mediana(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t m = v.size() / 2;
    return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}

// "label: median X (min Y, max Z) over N pairs  [target]"
inline void stampaSerie(const char *etichetta, const std::vector<double> &v, const char *obiettivo = "")
{
    if (v.empty())
        return;
    std::printf("%s: median %.2f (min %.2f, max %.2f) over %zu pairs%s%s\n", etichetta, mediana(v),
                *std::min_element(v.begin(), v.end()), *std::max_element(v.begin(), v.end()), v.size(),
                *obiettivo ? "  " : "", obiettivo);
    std::fflush(stdout);
}

// The load when a step starts, since other programs share the machine.
inline void stampaCarico(const char *passo)
{
    QFile f(QStringLiteral("/proc/loadavg"));
    if (f.open(QIODevice::ReadOnly))
        std::printf("[%s] load average %s", passo, f.readLine().constData());
    std::fflush(stdout);
}

} // namespace bench
