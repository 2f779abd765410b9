#pragma once

#include <QCoro/QCoroTask>
#include <QString>

// Posts desktop notifications; when the desktop cannot show them, the same
// title and text appear as a modal alert instead. Never fails.
class Notifier {
public:
    virtual ~Notifier() = default;
    virtual QCoro::Task<> notifica(QString titolo, QString corpo) = 0;
    // Asked once, when a secure erase starts; the answer is not needed.
    virtual QCoro::Task<> richiediPermessoNotifiche() = 0;
};
