#pragma once

#include <functional>
#include <QCoro/QCoroTask>
#include <QString>

// How a notification the desktop cannot show reaches the user instead: a
// modal alert with the same title and text.
using AvvisoDiRiserva = std::function<void(const QString &titolo, const QString &testo)>;

// Posts desktop notifications; when the desktop cannot show them, the same
// title and text appear as a modal alert instead. Never fails.
class Notifier {
public:
    virtual ~Notifier() = default;
    virtual QCoro::Task<> notifica(QString titolo, QString corpo) = 0;
    // Asked once, when a secure erase starts; the answer is not needed.
    virtual QCoro::Task<> richiediPermessoNotifiche() = 0;
};
