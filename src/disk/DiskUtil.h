#pragma once

#include <functional>
#include <QFuture>
#include <QList>
#include <QString>
#include <QStringList>
#include <utility>
#include <variant>

// A disk-utility run that did not go as asked. Its description is what the
// user reads and what goes into the operations log, so its wording matters.
class DiskUtilErrore {
public:
    enum class Caso { comandoFallito, infoNonLeggibili };

    static DiskUtilErrore comandoFallito(QString comando, int uscita, QString output);
    static DiskUtilErrore infoNonLeggibili();

    Caso caso() const { return m_caso; }
    QString comando() const { return m_comando; }
    int uscita() const { return m_uscita; }
    QString output() const { return m_output; }

    QString descrizione() const;

    friend bool operator==(const DiskUtilErrore &, const DiskUtilErrore &) = default;

private:
    Caso m_caso = Caso::infoNonLeggibili;
    QString m_comando;
    int m_uscita = 0;
    QString m_output;
};

// A program that could not be started at all; the text is the system's reason.
struct ErroreAvvio {
    QString programma;
    QString motivo;

    QString descrizione() const;
    friend bool operator==(const ErroreAvvio &, const ErroreAvvio &) = default;
};

using ErroreStrumento = std::variant<DiskUtilErrore, ErroreAvvio>;
QString descrizione(const ErroreStrumento &errore);

// A value or the error that stopped it. Disk work runs on worker threads and
// hands one of these back to the main-thread flow, which shows the error text.
template <typename T> class Risultato {
public:
    Risultato(T valore) : m_dati(std::in_place_index<0>, std::move(valore)) {}
    Risultato(ErroreStrumento errore) : m_dati(std::in_place_index<1>, std::move(errore)) {}
    Risultato(DiskUtilErrore errore) : Risultato(ErroreStrumento(std::move(errore))) {}
    Risultato(ErroreAvvio errore) : Risultato(ErroreStrumento(std::move(errore))) {}

    bool ok() const { return m_dati.index() == 0; }
    explicit operator bool() const { return ok(); }
    const T &valore() const { return std::get<0>(m_dati); }
    const T *operator->() const { return &valore(); }
    const T &operator*() const { return valore(); }
    const ErroreStrumento &errore() const { return std::get<1>(m_dati); }
    // The DiskUtilErrore carried, or nullptr for a success or a launch failure.
    const DiskUtilErrore *erroreDisco() const
    {
        return ok() ? nullptr : std::get_if<DiskUtilErrore>(&errore());
    }
    QString descrizioneErrore() const { return ok() ? QString() : descrizione(errore()); }

private:
    std::variant<T, ErroreStrumento> m_dati;
};

// Runs the disk utility and other system tools. Calls block until the tool
// exits, so they belong on worker threads; implementations are thread-safe.
class EsecutoreDisco {
public:
    // Called on the runner's reading thread, once per percentage the tool prints.
    using Progresso = std::function<void(double)>;

    virtual ~EsecutoreDisco() = default;

    // `argomenti` without the program. With `progresso` the tool gets a terminal
    // and the exchange is traced in the diagnostic log.
    virtual Risultato<QString> eseguiDiskutil(const QStringList &argomenti, Progresso progresso = {}) = 0;
    virtual Risultato<QString> eseguiStrumento(const QString &percorso, const QStringList &argomenti) = 0;
};

// Runs the disk utility on the shared worker pool, for a main-thread flow to await.
QFuture<Risultato<QString>> eseguiDiskutilInSottofondo(EsecutoreDisco *esecutore,
                                                       const QStringList &argomenti,
                                                       EsecutoreDisco::Progresso progresso = {});

namespace DiskUtil {
// Every percentage in one chunk of output, in order; a number cut by a chunk
// boundary is not pieced together.
QList<double> trovaPercentuali(const QString &testo);
// 42 -> "42.0", 7.5 -> "7.5": the shortest text that reads back the same.
QString testoNumero(double valore);
// Strict UTF-8: empty when the bytes are not valid UTF-8.
QString decodificaUtf8(const QByteArray &byte);
// The last `quanti` user-perceived characters of `testo` (all of it when shorter).
QString ultimiCaratteri(const QString &testo, int quanti);
} // namespace DiskUtil
