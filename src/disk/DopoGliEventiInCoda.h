#pragma once

#include <coroutine>
#include <QCoreApplication>

// Resumes the awaiting main-thread flow only after everything already posted to
// the main thread has run: a tool's last percentages are posted before its work
// ends, and must land before the flow moves on to its next phase.
struct DopoGliEventiInCoda {
    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> flusso) const
    {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [flusso] { flusso.resume(); }, Qt::QueuedConnection);
    }
    void await_resume() const noexcept {}
};
