#pragma once

#include "platform/Notificatore.h"

#include <QList>
#include <QPair>

class NotificheDiProva : public Notificatore {
public:
    QCoro::Task<> notifica(QString titolo, QString corpo, Urgenza urgenza = Urgenza::normale,
                           std::optional<AzioneNotifica> azione = std::nullopt) override
    {
        inviate.append({titolo, corpo});
        urgenze.append(urgenza);
        azioni.append(azione);
        co_return;
    }
    QCoro::Task<> richiediPermessoNotifiche() override
    {
        ++permessiRichiesti;
        co_return;
    }

    QList<QPair<QString, QString>> inviate;
    QList<Urgenza> urgenze;                      // one per notification sent
    QList<std::optional<AzioneNotifica>> azioni; // likewise
    int permessiRichiesti = 0;
};
