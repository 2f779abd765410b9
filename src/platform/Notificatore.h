#pragma once

#include <functional>
#include <optional>
#include <QCoro/QCoroTask>
#include <QString>

// How much a notification asks for attention. A failure stays on screen until
// the user has seen it: images that did not reach the archive must not go
// unnoticed behind a bubble that faded away.
enum class Urgenza { normale, critica };

// How a notification the desktop cannot show reaches the user instead: a
// modal alert with the same title and text.
using AvvisoDiRiserva = std::function<void(const QString &titolo, const QString &testo, Urgenza urgenza)>;

// A button on a notification ("Apri Ecografie"), where the desktop shows
// buttons: `esegui` runs on the main thread when the user presses it. Where it
// does not, the notification goes without it.
struct AzioneNotifica {
    QString etichetta;
    std::function<void()> esegui;
};

// Posts desktop notifications; when the desktop cannot show them, the same
// title and text appear as a modal alert instead. Never fails.
class Notificatore {
public:
    virtual ~Notificatore() = default;
    virtual QCoro::Task<> notifica(QString titolo, QString corpo, Urgenza urgenza = Urgenza::normale,
                                   std::optional<AzioneNotifica> azione = std::nullopt) = 0;
    // Asked once, when a secure erase starts; the answer is not needed.
    virtual QCoro::Task<> richiediPermessoNotifiche() = 0;
};
