#pragma once

#include <QCoro/QCoroTask>

// An action value the panel builds for a command; perform() runs on the main thread.
class QuickAction {
public:
    virtual ~QuickAction() = default;
    virtual QCoro::Task<> perform() = 0;
};
