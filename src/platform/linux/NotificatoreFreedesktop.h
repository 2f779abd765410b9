#pragma once

#include "platform/Notificatore.h"

#include <chrono>
#include <functional>
#include <QDBusConnection>
#include <QHash>
#include <QObject>

// Notifications through the desktop's notification server
// (org.freedesktop.Notifications). Posting counts as allowed only when a
// server answers; otherwise the same title and text go to the fallback. A
// notification's button is offered only to a server that says it shows
// "actions"; its press comes back as the server's ActionInvoked signal.
class NotificatoreFreedesktop : public QObject, public Notificatore {
    Q_OBJECT
public:
    NotificatoreFreedesktop(QDBusConnection bus, AvvisoDiRiserva fallback,
                            std::chrono::milliseconds attesaServer = std::chrono::milliseconds(2500));

    QCoro::Task<> notifica(QString titolo, QString corpo, Urgenza urgenza = Urgenza::normale,
                           std::optional<AzioneNotifica> azione = std::nullopt) override;
    QCoro::Task<> richiediPermessoNotifiche() override;

private Q_SLOTS:
    void azioneInvocata(uint id, const QString &chiave);
    void notificaChiusa(uint id, uint motivo);

private:
    QCoro::Task<bool> serverPresente();
    QCoro::Task<QStringList> capacita();

    QDBusConnection m_bus;
    AvvisoDiRiserva m_fallback;
    std::chrono::milliseconds m_attesaServer;
    QHash<uint, std::function<void()>> m_azioni; // by notification id, until it is closed
};
