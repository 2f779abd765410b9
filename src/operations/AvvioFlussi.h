#pragma once

#include "operations/QuickAction.h"

#include <memory>
#include <QCoro/QCoroTask>
#include <QObject>

// The one way a command starts its flow: the flow runs until its first wait,
// then the caller goes on while the flow finishes on the main thread. Its end
// is reported to `contesto` only while that object lives, so `contesto` is
// the application or a manager that outlives every window.
inline void avviaFlusso(QCoro::Task<> flusso, QObject *contesto)
{
    QCoro::connect(std::move(flusso), contesto, [] {});
}

// An action's flow; the action is kept alive until its flow ends.
inline void avviaFlusso(std::shared_ptr<QuickAction> azione, QObject *contesto)
{
    QuickAction *a = azione.get();
    QCoro::connect(a->perform(), contesto, [azione] {});
}
