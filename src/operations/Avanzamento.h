#pragma once

#include <functional>
#include <optional>
#include <QMetaObject>
#include <QPointer>
#include <QString>

// How far a piece of work has come, as the worker doing it reports it. What a
// report leaves out stays as the last report gave it.
struct Avanzamento {
    std::optional<double> frazione;   // 0...1
    std::optional<QString> dettaglio; // "12 di 40 — IMG_0012.JPG"
    std::optional<QString> titolo;    // a new phase: "Verifica copia…"
    // For work that moves data (copy, import, sync): the bytes done so far
    // and in all, which a speed and the time left are reckoned from.
    std::optional<qint64> byteFatti;
    std::optional<qint64> byteTotali;

    // Takes what a newer report gives.
    void unisci(const Avanzamento &nuovo);

    friend bool operator==(const Avanzamento &, const Avanzamento &) = default;
};

// The one way work reports its progress: called on the worker's thread,
// posted to whoever shows it and never awaited.
using Riferisci = std::function<void(const Avanzamento &)>;

// The detail line of work that goes through a list: "{k} di {n} — {nome}",
// with the stray bytes of a file name written out.
QString dettaglioAvanzamento(qint64 k, qint64 n, const QString &nome);

// For a manager that shows progress on the main thread through its
// aggiorna(const Avanzamento &): each report is posted to the manager's thread
// in the order it was sent, and dropped once the manager is gone.
template <typename Manager> Riferisci versoManager(Manager *manager)
{
    const QPointer<Manager> guardia(manager);
    return [guardia](const Avanzamento &avanzamento) {
        QMetaObject::invokeMethod(
            guardia.data(),
            [guardia, avanzamento] {
                if (guardia)
                    guardia->aggiorna(avanzamento);
            },
            Qt::QueuedConnection);
    };
}
