#pragma once

#include "disk/EsecutoreDisco.h"

// Runs the tools as child processes. With a progress report the tool gets a
// pseudo-terminal, so it prints its progress as it would for a person, and every
// chunk it prints is traced in `fileTraccia`; without one, standard output and
// standard error share one plain pipe and nothing is traced.
class EsecutoreProcessi : public EsecutoreDisco {
public:
    static inline const QString tracciaPredefinita = QStringLiteral("/tmp/orvala_diskutil.log");

    explicit EsecutoreProcessi(QString programmaDiskutil, QString fileTraccia = tracciaPredefinita);

    Risultato<QString> eseguiDiskutil(const QStringList &argomenti, Riferisci riferisci = {}) override;
    Risultato<QString> eseguiStrumento(const QString &percorso, const QStringList &argomenti) override;

private:
    void traccia(const QString &testo) const;

    QString m_diskutil;
    QString m_traccia;
};
