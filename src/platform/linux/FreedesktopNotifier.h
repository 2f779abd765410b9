#pragma once

#include "platform/Notifier.h"

#include <chrono>
#include <QDBusConnection>

// Notifications through the desktop's notification server
// (org.freedesktop.Notifications). Posting counts as allowed only when a
// server answers; otherwise the same title and text go to the fallback.
class FreedesktopNotifier : public Notifier {
public:
    FreedesktopNotifier(QDBusConnection bus, AvvisoDiRiserva fallback,
                        std::chrono::milliseconds attesaServer = std::chrono::milliseconds(2500));

    QCoro::Task<> notifica(QString titolo, QString corpo, Urgenza urgenza = Urgenza::normale) override;
    QCoro::Task<> richiediPermessoNotifiche() override;

private:
    QCoro::Task<bool> serverPresente();
    QCoro::Task<bool> corpoConMarkup();

    QDBusConnection m_bus;
    AvvisoDiRiserva m_fallback;
    std::chrono::milliseconds m_attesaServer;
};
