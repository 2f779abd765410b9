#pragma once

#include "operations/DiagnosticaManager.h"
#include "platform/IdentitaChiavetta.h"

#include <optional>
#include <QDateTime>
#include <QFuture>
#include <QList>
#include <QObject>
#include <QString>
#include <utility>

// One thing that happened to a stick and how it went. Only the fields of its
// kind are set; the others stay 0.
struct EventoChiavetta {
    enum class Tipo {
        testVelocita,
        capacita, // the check of its real capacity
        verifica, // of the file system
        riparazione,
        copia, // into the archive, by hand
        importazione,
        formattazione,
        cancellazione, // the secure erase
    };

    Tipo tipo = Tipo::copia;
    bool riuscito = true; // false: it failed, or found or met a problem
    int illeggibili = 0;  // copy and import: files that could not be read from the stick
    QString nota;         // a few words for the history; never a file's or a patient's name
    double scrittura = 0; // MB/s, 0 when not measured
    double lettura = 0;
    qint64 verificati = 0;   // capacity check: bytes written and read back
    qint64 persi = 0;        // of those, the bytes that came back wrong or not at all
    qint64 utilizzabili = 0; // the stick's real usable capacity
    QDateTime quando;        // set to now when recorded without one

    friend bool operator==(const EventoChiavetta &, const EventoChiavetta &) = default;
};

// What each stick went through over time, in "storico_chiavette.tsv" beside
// the operations log: one line per event, each carrying its own check so a
// damaged line is dropped instead of believed. The file names sticks only by
// a digest of their identity and keeps a bounded number of events, so it
// stays small; it is readable by its owner only and replaced whole on every
// change.
class StoricoChiavette : public QObject {
    Q_OBJECT
public:
    static StoricoChiavette &shared();
    // `file` empty: the default one, followed wherever the data folder goes.
    explicit StoricoChiavette(QString file = QString(), QObject *parent = nullptr);

    QString file() const;

    // Adds `evento` to the stick's history. Callable from any thread, and
    // cheap enough for the end of a copy; false when the file could not be
    // written (nothing else is said: a history is never worth an alert). A
    // copy or import that met no unreadable file is kept only when the stick's
    // previous one did: it clears the warning, and daily copies do not crowd
    // out the rest.
    bool registra(const IdentitaChiavetta &chiavetta, EventoChiavetta evento);
    // The same for the stick mounted at `drive` now (its identity read first).
    bool registra(const USBDrive &drive, const EventoChiavetta &evento);

    // The stick's events, oldest first.
    QList<EventoChiavetta> eventi(const IdentitaChiavetta &chiavetta) const;

Q_SIGNALS:
    // Some stick's history grew. Emitted on the thread that recorded.
    void cambiato();

private:
    QString m_file;
};

// For a main-thread flow to await: the stick's identity read, and an event
// recorded, on the shared worker pool.
QFuture<IdentitaChiavetta> identitaInSottofondo(const USBDrive &drive);
QFuture<bool> registraInSottofondo(const IdentitaChiavetta &chiavetta, const EventoChiavetta &evento);

// The quiet warning for a stick's row: when the latest capacity check lost
// data, when its latest copy or import met files it could not read, or when
// its latest read speed fell below half its first. None when all is well.
std::optional<QString> avvertenzaStorico(const QList<EventoChiavetta> &eventi);

// The history as dated report lines, newest first.
QList<std::pair<RigaRapporto::Tipo, QString>> righeStorico(const QList<EventoChiavetta> &eventi);
