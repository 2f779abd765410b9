#pragma once

#include "disk/EsecutoreDisco.h"

#include <functional>
#include <QMutex>
#include <QVariantMap>

// Answers disk-utility calls from a script, records them, and reports the
// scripted percentages to the caller before answering. Called
// from worker threads.
class EsecutoreDiscoDiProva : public EsecutoreDisco {
public:
    struct Chiamata {
        QStringList argomenti;
        bool conProgresso = false;
    };

    // Calls whose arguments begin with `prefisso` get `esito` (the latest
    // matching rule wins); unscripted calls fail with exit status 1.
    void rispondi(const QStringList &prefisso, Risultato<QString> esito, QList<double> percentuali = {});
    // Runs on the worker thread before the answer, e.g. to hold the call.
    std::function<void(const QStringList &)> durante;

    QList<Chiamata> chiamate() const;
    QList<QStringList> argomentiChiamate() const;

    Risultato<QString> eseguiDiskutil(const QStringList &argomenti, Riferisci riferisci = {}) override;
    Risultato<QString> eseguiStrumento(const QString &percorso, const QStringList &argomenti) override
    {
        return eseguiDiskutil(QStringList{percorso} + argomenti);
    }

    // An `info -plist` report; absent keys are left out.
    static QString reportInfo(const QVariantMap &chiavi);
    static QString reportInfo(const QString &disco, bool interno, bool rimovibile);
    // A `list -plist` report of `disco` with these partitions: identifier and
    // mount point (empty: not mounted).
    static QString reportVolumi(const QString &disco, const QList<std::pair<QString, QString>> &partizioni);

private:
    struct Regola {
        QStringList prefisso;
        Risultato<QString> esito;
        QList<double> percentuali;
    };
    mutable QMutex m_mutex;
    QList<Regola> m_regole;
    QList<Chiamata> m_chiamate;
};
