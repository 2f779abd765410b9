#pragma once

#include <QString>
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
