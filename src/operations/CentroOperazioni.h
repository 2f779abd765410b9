#pragma once

#include "operations/Avanzamento.h"
#include "operations/StimaTempo.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <QColor>
#include <QObject>
#include <QPointer>
#include <QString>
#include <stop_token>

// The one long operation that is running (copy, import, sync, quick format)
// and the card the panel shows for it. Holding an operation is the busy flag:
// a starting point tests `attuale()` and claims it (ImpegnoTenuto) in the same
// main-thread turn.
class CentroOperazioni : public QObject {
    Q_OBJECT
public:
    struct Operazione {
        QString titolo;
        std::optional<QString> dettaglio;
        std::optional<double> frazione; // 0...1; none = indeterminate
        QString icona;                  // symbol name, e.g. "doc.on.doc.fill"
        QColor colore;
        // When set, the card offers a small "Annulla" that calls it (main thread).
        // Only for work that can stop and leave everything as it was.
        std::shared_ptr<const std::function<void()>> annulla;
        // Of work that moves data: the bytes done and in all (Avanzamento).
        std::optional<qint64> byteFatti;
        std::optional<qint64> byteTotali;
        // Reckoned here from the reports: "182,2 MB/s · circa 3 min
        // rimanenti", or the time left alone for work that tells only a
        // fraction; none until it can be told.
        std::optional<QString> ritmo;

        friend bool operator==(const Operazione &, const Operazione &) = default;
    };

    static CentroOperazioni &shared();
    explicit CentroOperazioni(QObject *parent = nullptr);

    const std::optional<Operazione> &attuale() const { return m_attuale; }
    bool occupato() const { return m_attuale.has_value(); }
    void setAttuale(std::optional<Operazione> operazione);

    // Changes the held operation; dropped when idle (a late report after the end).
    // A report with a new title is a new phase: the bytes and the estimate of
    // the one before go.
    void aggiorna(const Avanzamento &avanzamento);

    // Posts aggiorna() to the centre's thread without waiting; callable from
    // any thread. Reports not yet applied merge into one (what a newer one
    // gives replaces what an older one gave), and only the first of them is
    // posted: however fast a worker reports (for every file), the main thread
    // applies at most one report per turn of its loop, and does not keep
    // meeting the worker on the locks of posting. A report still merging when
    // the card is removed is dropped with it.
    void aggiornaDaLavoro(const Avanzamento &avanzamento);

Q_SIGNALS:
    void attualeChanged();

private:
    void applicaRapporto();
    void cambia(std::optional<Operazione> operazione);
    void stima(Operazione &op);

    std::optional<Operazione> m_attuale;
    StimaTempo m_stima;
    std::mutex m_mutexRapporto;
    std::optional<Avanzamento> m_rapporto; // set while a post is on its way
};

// A card's "Annulla" for work that listens to `stop`.
inline std::shared_ptr<const std::function<void()>> annullaCon(std::stop_source stop)
{
    return std::make_shared<const std::function<void()>>([stop]() mutable { stop.request_stop(); });
}

// The one way work reports to the card: from any thread, through
// aggiornaDaLavoro(); nothing once the centre is gone.
Riferisci versoCentro(CentroOperazioni *centro);
