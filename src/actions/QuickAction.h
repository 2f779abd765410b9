#pragma once

#include <memory>
#include <QCoro/QCoroTask>
#include <QObject>

// An action value the panel builds for a command; perform() runs on the main thread.
class QuickAction {
public:
    virtual ~QuickAction() = default;
    virtual QCoro::Task<> perform() = 0;
};

// Starts the action's flow and keeps the action alive until the flow ends.
// `contesto` must outlive the flow (the application or a shared manager).
inline void avviaAzione(std::shared_ptr<QuickAction> azione, QObject *contesto)
{
    QuickAction *a = azione.get();
    QCoro::connect(a->perform(), contesto, [azione] {});
}
