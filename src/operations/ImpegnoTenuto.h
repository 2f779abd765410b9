#pragma once

#include "operations/CentroOperazioni.h"
#include "operations/DiagnosticaManager.h"
#include "operations/Impegni.h"

#include <QPointer>

class SecureEraseManager;

// A flow's hold on the busy flag its start takes — the operation centre's
// card, the secure erase, or a diagnostic check —: set when made, dropped by
// rilascia() or on any way out of the flow, whichever comes first. The flow
// tests the flags its start respects (impegnoBloccante) in the same
// main-thread turn, and drops the hold before its final alert, log line or
// notification, so they never see it busy. Main thread.
class ImpegnoTenuto {
public:
    ImpegnoTenuto(CentroOperazioni *centro, CentroOperazioni::Operazione scheda);
    ImpegnoTenuto(SecureEraseManager *erase, const QString &nomeVolume);
    ImpegnoTenuto(DiagnosticaManager *diag, DiagnosticaManager::Operazione controllo);
    ~ImpegnoTenuto() { rilascia(); }
    ImpegnoTenuto(const ImpegnoTenuto &) = delete;
    ImpegnoTenuto &operator=(const ImpegnoTenuto &) = delete;

    // Once: by then another flow may hold the flag.
    void rilascia();

private:
    Impegno m_impegno;
    // Guards only the tests' short-lived holders; the application's live to the end.
    QPointer<QObject> m_titolare;
};
