#include "disk/EsecutoreProcessi.h"

#include "disk/TestoDiskutil.h"
#include "operations/Orologio.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <QFile>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

// argv for execv, built before fork: the child may only make async-signal-safe calls.
class Argv {
public:
    Argv(const QString &programma, const QStringList &argomenti)
    {
        m_testi.push_back(QFile::encodeName(programma));
        for (const QString &a : argomenti)
            m_testi.push_back(a.toUtf8());
        for (QByteArray &t : m_testi)
            m_puntatori.push_back(t.data());
        m_puntatori.push_back(nullptr);
    }
    const char *programma() const { return m_testi.front().constData(); }
    char *const *argv() { return m_puntatori.data(); }

private:
    std::vector<QByteArray> m_testi;
    std::vector<char *> m_puntatori;
};

struct Figlio {
    pid_t pid = -1;
    int uscita = -1; // the reading end: the pipe, or the terminal's master side
};

// Runs in the child after fork: execs, and on failure tells the parent why
// through `errori` (close-on-exec, so a successful exec closes it silently).
[[noreturn]] void eseguiNelFiglio(Argv &argv, int errori)
{
    sigset_t nessuno;
    sigemptyset(&nessuno);
    sigprocmask(SIG_SETMASK, &nessuno, nullptr);
    ::execv(argv.programma(), argv.argv());
    const int e = errno;
    [[maybe_unused]] ssize_t n = ::write(errori, &e, sizeof e);
    ::_exit(127);
}

// Waits for the exec to succeed or fail; returns the child's errno on failure.
int esitoExec(pid_t pid, int errori)
{
    int e = 0;
    ssize_t letti;
    do {
        letti = ::read(errori, &e, sizeof e);
    } while (letti < 0 && errno == EINTR);
    ::close(errori);
    if (letti != sizeof e)
        return 0;
    int stato;
    while (::waitpid(pid, &stato, 0) < 0 && errno == EINTR) {
    }
    return e;
}

std::variant<Figlio, int> avviaConPipe(Argv &argv)
{
    int dati[2], errori[2];
    if (::pipe2(dati, O_CLOEXEC) != 0)
        return errno;
    if (::pipe2(errori, O_CLOEXEC) != 0) {
        const int e = errno;
        ::close(dati[0]);
        ::close(dati[1]);
        return e;
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(dati[1], STDOUT_FILENO);
        ::dup2(dati[1], STDERR_FILENO);
        eseguiNelFiglio(argv, errori[1]);
    }
    const int eFork = errno;
    ::close(dati[1]);
    ::close(errori[1]);
    if (pid < 0) {
        ::close(dati[0]);
        ::close(errori[0]);
        return eFork;
    }
    if (const int e = esitoExec(pid, errori[0])) {
        ::close(dati[0]);
        return e;
    }
    return Figlio{pid, dati[0]};
}

std::variant<Figlio, int> avviaConTerminale(Argv &argv)
{
    int errori[2];
    if (::pipe2(errori, O_CLOEXEC) != 0)
        return errno;
    // A terminal that passes output through untouched: "\n" stays "\n", so the
    // text the caller gets is the text the tool printed.
    termios modo{};
    ::cfmakeraw(&modo);
    winsize dimensioni{24, 80, 0, 0};
    int master = -1;
    const pid_t pid = ::forkpty(&master, nullptr, &modo, &dimensioni);
    if (pid == 0)
        eseguiNelFiglio(argv, errori[1]);
    const int eFork = errno;
    ::close(errori[1]);
    if (pid < 0) {
        ::close(errori[0]);
        return eFork;
    }
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    if (const int e = esitoExec(pid, errori[0])) {
        ::close(master);
        return e;
    }
    return Figlio{pid, master};
}

int codiceUscita(int stato)
{
    if (WIFEXITED(stato))
        return WEXITSTATUS(stato);
    if (WIFSIGNALED(stato))
        return -WTERMSIG(stato); // negative: killed by that signal, not an exit code of the tool
    return -1;
}

// Reads the child's output until it ends, handing each chunk to `perPezzo`,
// then reaps the child. Reading and waiting happen on the calling thread, so the
// collected bytes need no lock. A grandchild that keeps the output open does not
// hold the call: once the child is gone, only what is already pending is read.
int leggiFinoAllaFine(const Figlio &figlio, const std::function<void(const QByteArray &)> &perPezzo)
{
    int stato = 0;
    bool terminato = false;
    char blocco[65536];
    for (;;) {
        pollfd pfd{figlio.uscita, POLLIN, 0};
        const int pronti = ::poll(&pfd, 1, terminato ? 0 : 200);
        if (pronti < 0 && errno == EINTR)
            continue;
        if (pronti > 0) {
            const ssize_t n = ::read(figlio.uscita, blocco, sizeof blocco);
            if (n > 0) {
                perPezzo(QByteArray(blocco, n));
                continue;
            }
            if (n < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            break; // end of the pipe, or EIO once the terminal's last user has left
        }
        if (pronti < 0 || terminato)
            break;
        if (::waitpid(figlio.pid, &stato, WNOHANG) == figlio.pid)
            terminato = true;
    }
    ::close(figlio.uscita);
    if (!terminato) {
        while (::waitpid(figlio.pid, &stato, 0) < 0 && errno == EINTR) {
        }
    }
    return codiceUscita(stato);
}

ErroreAvvio erroreAvvio(const QString &programma, int e)
{
    return ErroreAvvio{programma, QString::fromLocal8Bit(std::strerror(e))};
}

} // namespace

EsecutoreProcessi::EsecutoreProcessi(QString programmaDiskutil, QString fileTraccia)
    : m_diskutil(std::move(programmaDiskutil)), m_traccia(std::move(fileTraccia))
{
}

void EsecutoreProcessi::traccia(const QString &testo) const
{
    const QByteArray dati = testo.toUtf8();
    // The trace lives in a shared folder, where anyone may have planted
    // something under its name first: a link to one of the user's files
    // (O_NOFOLLOW), a FIFO that would hold every disk operation (O_NONBLOCK,
    // then refused), or a file of their own that would read what is traced.
    // Only a regular file of this user is written; otherwise no trace.
    const int fd = ::open(QFile::encodeName(m_traccia).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
        ::close(fd);
        return;
    }
    if ((st.st_mode & 077) != 0) // left readable by others by an earlier version
        ::fchmod(fd, 0600);
    qsizetype scritti = 0;
    while (scritti < dati.size()) {
        const ssize_t n = ::write(fd, dati.constData() + scritti, size_t(dati.size() - scritti));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        scritti += n;
    }
    ::close(fd);
}

Risultato<QString> EsecutoreProcessi::eseguiDiskutil(const QStringList &argomenti, Progresso progresso)
{
    Argv argv(m_diskutil, argomenti);
    if (progresso) {
        const QString quando = Orologio::adesso().toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        traccia(QStringLiteral("\n===== %1 +0000 — avvio: %2 %3 =====\n")
                    .arg(quando, m_diskutil, argomenti.join(' ')));
    }
    const auto avvio = progresso ? avviaConTerminale(argv) : avviaConPipe(argv);
    if (const int *e = std::get_if<int>(&avvio))
        return erroreAvvio(m_diskutil, *e);

    QByteArray raccolti;
    const int uscita = leggiFinoAllaFine(std::get<Figlio>(avvio), [&](const QByteArray &pezzo) {
        raccolti += pezzo;
        if (!progresso)
            return;
        const QString testo =
            QString::fromUtf8(pezzo); // replaces what is not UTF-8: the trace is never empty
        traccia(QStringLiteral("[chunk %1 byte] %2\n").arg(pezzo.size()).arg(testo));
        for (double p : DiskUtil::trovaPercentuali(testo)) {
            traccia(QStringLiteral("  → percentuale riconosciuta: %1\n").arg(DiskUtil::testoNumero(p)));
            progresso(p);
        }
    });

    const QString output = DiskUtil::decodificaUtf8(raccolti);
    if (uscita != 0)
        return DiskUtilErrore::comandoFallito(argomenti.join(' '), uscita, output);
    return output;
}

Risultato<QString> EsecutoreProcessi::eseguiStrumento(const QString &percorso, const QStringList &argomenti)
{
    Argv argv(percorso, argomenti);
    const auto avvio = avviaConPipe(argv);
    if (const int *e = std::get_if<int>(&avvio))
        return erroreAvvio(percorso, *e);
    QByteArray raccolti;
    const int uscita =
        leggiFinoAllaFine(std::get<Figlio>(avvio), [&](const QByteArray &pezzo) { raccolti += pezzo; });
    const QString output = DiskUtil::decodificaUtf8(raccolti);
    if (uscita != 0)
        return DiskUtilErrore::comandoFallito((QStringList{percorso} + argomenti).join(' '), uscita, output);
    return output;
}
