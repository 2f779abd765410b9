#pragma once

#include "platform/Notifier.h"

#include <QList>
#include <QPair>

class FakeNotifier : public Notifier {
public:
    QCoro::Task<> notifica(QString titolo, QString corpo) override
    {
        inviate.append({titolo, corpo});
        co_return;
    }
    QCoro::Task<> richiediPermessoNotifiche() override
    {
        ++permessiRichiesti;
        co_return;
    }

    QList<QPair<QString, QString>> inviate;
    int permessiRichiesti = 0;
};
