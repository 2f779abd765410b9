#include "platform/Processi.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <QFile>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <variant>
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

// Reads the child's output until it ends, handing each chunk to `pezzo`, then
// reaps the child. Reading and waiting happen on the calling thread, so the
// collected bytes need no lock.
int leggiFinoAllaFine(const Figlio &figlio, const std::function<void(const QByteArray &)> &pezzo)
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
                pezzo(QByteArray(blocco, n));
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

} // namespace

EsitoProcesso eseguiProcesso(const QString &programma, const QStringList &argomenti, bool terminale,
                             const std::function<void(const QByteArray &)> &pezzo)
{
    Argv argv(programma, argomenti);
    const auto avvio = terminale ? avviaConTerminale(argv) : avviaConPipe(argv);
    if (const int *e = std::get_if<int>(&avvio))
        return {-1, *e};
    return {leggiFinoAllaFine(std::get<Figlio>(avvio), pezzo), 0};
}

// Per thread on Linux: the threads a worker starts inherit its value, and a
// pool thread gets its old value back for the next task.
int prioritaThread()
{
    errno = 0;
    const int priorita = ::getpriority(PRIO_PROCESS, 0);
    return errno != 0 ? 0 : priorita;
}

void impostaPrioritaThread(int priorita)
{
    ::setpriority(PRIO_PROCESS, 0, priorita);
}
