#pragma once

#include "operations/Avanzamento.h"
#include "operations/StimaTempo.h"

#include <optional>
#include <QObject>
#include <QString>

// State of the one secure erase that may be running. The erase flow is the
// only writer; the tray icon, the panel, the rows, the import and the
// diagnostics read it. Main thread only.
class SecureEraseManager : public QObject {
    Q_OBJECT
public:
    enum class Fase { inattivo, verifica, cancellazione, formattazione };
    Q_ENUM(Fase)

    static SecureEraseManager &shared();
    explicit SecureEraseManager(QObject *parent = nullptr);

    Fase fase() const { return m_fase; }
    std::optional<double> percentuale() const { return m_percentuale; }
    QString nomeVolume() const { return m_nomeVolume; }
    bool inCorso() const { return m_fase != Fase::inattivo; }
    QString descrizione() const;
    // The overwrite's time left, once it can be told (StimaTempo): the erase
    // knows only its fraction.
    std::optional<QString> ritmo() const;

    void avvia(const QString &nome);
    void impostaFase(Fase f);
    void azzera();
    // Accepted only when it neither goes back nor passes 100.
    void registraPercentuale(double p);
    // The overwrite's report: its fraction as a percentage.
    void aggiorna(const Avanzamento &avanzamento);

Q_SIGNALS:
    void faseChanged();
    void percentualeChanged();
    void nomeVolumeChanged();

private:
    void setFase(Fase f);
    void setPercentuale(std::optional<double> p);
    void setNomeVolume(const QString &nome);

    Fase m_fase = Fase::inattivo;
    std::optional<double> m_percentuale;
    QString m_nomeVolume;
    StimaTempo m_stima;
};
