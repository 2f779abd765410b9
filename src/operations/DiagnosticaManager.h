#pragma once

#include "operations/Avanzamento.h"

#include <functional>
#include <optional>
#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>

// One finding of the diagnostics report.
struct RigaRapporto {
    enum class Tipo { ok, avviso, errore, info };

    QUuid id;
    Tipo tipo = Tipo::info;
    QString testo;

    friend bool operator==(const RigaRapporto &, const RigaRapporto &) = default;
};

// Which diagnostic check runs (one at a time), its percentage and the growing
// report the diagnostics window shows. Main thread only. Holding an operation
// is the busy flag that the quick format and the secure erase respect; a check
// tests the flags its start respects and claims this one through ImpegnoTenuto.
class DiagnosticaManager : public QObject {
    Q_OBJECT
public:
    enum class Operazione { nessuna, info, verifica, riparazione, testVelocita, capacita };
    Q_ENUM(Operazione)

    explicit DiagnosticaManager(QObject *parent = nullptr);

    Operazione operazione() const { return m_operazione; }
    bool inCorso() const { return m_operazione != Operazione::nessuna; }
    std::optional<double> percentuale() const { return m_percentuale; }
    const QList<RigaRapporto> &rapporto() const { return m_rapporto; }
    // What the running check is doing, "Test di velocità in corso…"; empty when idle.
    QString descrizione() const;
    // A line under it (how far a long check got); none when there is nothing to add.
    const std::optional<QString> &dettaglio() const { return m_dettaglio; }
    // Whether the running check can be stopped, leaving the stick as it was.
    bool annullabile() const { return bool(m_annulla); }

    // `op` runs from now until termina(): the busy flag itself.
    void inizia(Operazione op);
    void termina();
    void aggiungi(RigaRapporto::Tipo tipo, const QString &testo);
    void pulisci();
    // Accepted only when it neither goes back nor passes 100.
    void registraPercentuale(double p);
    // A running check's report: its fraction as a percentage, its detail line.
    void aggiorna(const Avanzamento &avanzamento);
    // Ignored when idle: a late report after the end.
    void registraDettaglio(const QString &dettaglio);
    // Offered by the running check until it ends; annulla() calls it once.
    void setAnnulla(std::function<void()> annulla);
    void annulla();

Q_SIGNALS:
    void operazioneChanged();
    void percentualeChanged();
    void rapportoChanged();
    void dettaglioChanged(); // the detail, or whether the check can be stopped

private:
    void setOperazione(Operazione op);
    void setPercentuale(std::optional<double> p);

    Operazione m_operazione = Operazione::nessuna;
    std::optional<double> m_percentuale;
    std::optional<QString> m_dettaglio;
    std::function<void()> m_annulla;
    QList<RigaRapporto> m_rapporto;
};
