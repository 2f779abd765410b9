#pragma once

#include <QCoro/QCoroTask>
#include <QObject>

// The one way a command starts its flow: the flow runs until its first wait,
// then the caller goes on while the flow finishes on the main thread. Its end
// is reported to `contesto` only while that object lives, so `contesto` is
// the application or a manager that outlives every window. Every command is a
// QCoro::Task<> function that takes the services first, declared in its
// folder's commands header (ComandiTrasferimento.h, ComandiAzioni.h,
// ComandiDisco.h, ComandiDiagnostica.h).
inline void avviaFlusso(QCoro::Task<> flusso, QObject *contesto)
{
    QCoro::connect(std::move(flusso), contesto, [] {});
}
