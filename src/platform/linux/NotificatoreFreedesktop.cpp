#include "platform/linux/NotificatoreFreedesktop.h"

#include "comune/Marchio.h"

#include <QCoro/QCoroDBus>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QVariantMap>

namespace {
const QString servizio = QStringLiteral("org.freedesktop.Notifications");
const QString percorso = QStringLiteral("/org/freedesktop/Notifications");
const QString interfaccia = QStringLiteral("org.freedesktop.Notifications");

// The key of a notification's one button.
const QString chiaveAzione = QStringLiteral("apri");

// A server that takes the call but never answers must not hold the end of an
// operation for the bus's default 25 seconds.
constexpr int attesaNotify = 10000;

QDBusMessage chiamata(const QString &metodo)
{
    return QDBusMessage::createMethodCall(servizio, percorso, interfaccia, metodo);
}

// Servers with "body-markup" read the body as a small HTML subset: a file
// called "a<b>.jpg" or "R&D" would be garbled or dropped.
QString comeMarkup(const QString &testo)
{
    QString out;
    out.reserve(testo.size());
    for (QChar c : testo) {
        if (c == QLatin1Char('&'))
            out += QStringLiteral("&amp;");
        else if (c == QLatin1Char('<'))
            out += QStringLiteral("&lt;");
        else if (c == QLatin1Char('>'))
            out += QStringLiteral("&gt;");
        else
            out += c;
    }
    return out;
}
} // namespace

NotificatoreFreedesktop::NotificatoreFreedesktop(QDBusConnection bus, AvvisoDiRiserva fallback,
                                                 std::chrono::milliseconds attesaServer)
    : m_bus(std::move(bus)), m_fallback(std::move(fallback)), m_attesaServer(attesaServer)
{
    m_bus.connect(servizio, percorso, interfaccia, QStringLiteral("ActionInvoked"), this,
                  SLOT(azioneInvocata(uint, QString)));
    m_bus.connect(servizio, percorso, interfaccia, QStringLiteral("NotificationClosed"), this,
                  SLOT(notificaChiusa(uint, uint)));
}

void NotificatoreFreedesktop::azioneInvocata(uint id, const QString &chiave)
{
    if (chiave != chiaveAzione)
        return;
    // Once: some servers keep the notification on screen after the press.
    const std::function<void()> esegui = m_azioni.take(id);
    if (esegui)
        esegui();
}

void NotificatoreFreedesktop::notificaChiusa(uint id, uint)
{
    m_azioni.remove(id);
}

QCoro::Task<bool> NotificatoreFreedesktop::serverPresente()
{
    // Asking the server itself, not whether the name has an owner: servers are
    // often started by D-Bus activation on the first call.
    const QDBusPendingCall attesa =
        m_bus.asyncCall(chiamata(QStringLiteral("GetServerInformation")), int(m_attesaServer.count()));
    const QDBusMessage risposta = co_await attesa;
    co_return risposta.type() == QDBusMessage::ReplyMessage;
}

QCoro::Task<QStringList> NotificatoreFreedesktop::capacita()
{
    const QDBusPendingCall attesa =
        m_bus.asyncCall(chiamata(QStringLiteral("GetCapabilities")), int(m_attesaServer.count()));
    const QDBusMessage risposta = co_await attesa;
    if (risposta.type() != QDBusMessage::ReplyMessage || risposta.arguments().isEmpty())
        co_return QStringList();
    co_return risposta.arguments().constFirst().toStringList();
}

QCoro::Task<> NotificatoreFreedesktop::notifica(QString titolo, QString corpo, Urgenza urgenza,
                                                std::optional<AzioneNotifica> azione)
{
    if (!co_await serverPresente()) {
        m_fallback(titolo, corpo, urgenza);
        co_return;
    }
    const QStringList sa = co_await capacita();
    if (sa.contains(QStringLiteral("body-markup")))
        corpo = comeMarkup(corpo);
    QStringList azioni;
    if (azione && sa.contains(QStringLiteral("actions")))
        azioni << chiaveAzione << azione->etichetta;

    const QVariantMap suggerimenti{
        {QStringLiteral("sound-name"), QStringLiteral("message-new-instant")},
        {QStringLiteral("desktop-entry"), QStringLiteral("tessera")},
        // A byte on the bus: 1 normal, 2 critical (kept until dismissed).
        {QStringLiteral("urgency"), QVariant::fromValue(uchar(urgenza == Urgenza::critica ? 2 : 1))},
    };
    QDBusMessage notify = chiamata(QStringLiteral("Notify"));
    // replaces_id 0: every outcome is a notification of its own, never an
    // update of an earlier one.
    notify << Marchio::nomeProdotto << quint32(0) << QStringLiteral("tessera") << titolo << corpo << azioni
           << suggerimenti << qint32(-1);
    const QDBusPendingCall attesa = m_bus.asyncCall(notify, attesaNotify);
    // An error is dropped on purpose: the alert fallback is for a desktop that
    // cannot show notifications at all, not for one refusal.
    const QDBusMessage risposta = co_await attesa;
    if (!azioni.isEmpty() && risposta.type() == QDBusMessage::ReplyMessage && !risposta.arguments().isEmpty())
        m_azioni.insert(risposta.arguments().constFirst().toUInt(), azione->esegui);
}

QCoro::Task<> NotificatoreFreedesktop::richiediPermessoNotifiche()
{
    // The freedesktop protocol has no permission to ask for: whether Tessera
    // may post is decided on each notifica() by a server being there.
    co_return;
}
