#include "update/ControlloAggiornamenti.h"

#include "comune/Marchio.h"
#include "operations/AvvioFlussi.h"
#include "operations/Orologio.h"
#include "operations/PresentatoreAvvisi.h"
#include "platform/AperturaDesktop.h"
#include "platform/Notificatore.h"

#include <QCoro/QCoroNetworkReply>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QRegularExpression>
#include <QSettings>
#include <QTimer>

namespace {
const QString titoloAggiornamento = QStringLiteral("Aggiornamento disponibile");

// A piece is a decimal whole number with an optional sign; anything else,
// including a number too large to hold, counts as 0.
qint64 numeroDiPezzo(const QString &pezzo)
{
    static const QRegularExpression forma(QStringLiteral("^[+-]?[0-9]+$"));
    if (!forma.match(pezzo).hasMatch())
        return 0;
    bool ok = false;
    const qint64 n = pezzo.toLongLong(&ok, 10);
    return ok ? n : 0;
}

QList<qint64> numeriDiVersione(const QString &versione)
{
    QList<qint64> numeri;
    for (const QString &pezzo : versione.split(QLatin1Char('.'), Qt::SkipEmptyParts))
        numeri.append(numeroDiPezzo(pezzo));
    return numeri;
}

// An optional text key: absent or null is "not given", any other non-text
// value spoils the whole document.
bool leggiTestoFacoltativo(const QJsonObject &oggetto, const QString &chiave, std::optional<QString> &valore)
{
    const QJsonValue v = oggetto.value(chiave);
    if (v.isUndefined() || v.isNull())
        return true;
    if (!v.isString())
        return false;
    valore = v.toString();
    return true;
}

// Transport failures are the network and proxy layers, or any failure before
// a status line arrived. An HTTP status of its own (404, 500…) is not one:
// its body is read like any other and fails as a document if it is a page.
bool erroreDiTrasporto(const QNetworkReply &reply)
{
    if (reply.error() == QNetworkReply::NoError)
        return false;
    const bool haStato = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
    return !haStato || reply.error() < QNetworkReply::ContentAccessDenied;
}
} // namespace

ControlloAggiornamenti::ControlloAggiornamenti(const Servizi &servizi, QObject *parent)
    : ControlloAggiornamenti(servizi, std::make_unique<QSettings>(Marchio::produttore, Marchio::nomeProdotto),
                             Configurazione{}, parent)
{
}

ControlloAggiornamenti::ControlloAggiornamenti(const Servizi &servizi, std::unique_ptr<QSettings> preferenze,
                                               Configurazione config, QObject *parent)
    : QObject(parent), m_servizi(servizi), m_preferenze(std::move(preferenze)), m_config(std::move(config))
{
}

ControlloAggiornamenti::~ControlloAggiornamenti() = default;

QUrl ControlloAggiornamenti::indirizzoDocumento()
{
    return Marchio::homePage().resolved(QUrl(QStringLiteral("/tessera/versione.json")));
}

QString ControlloAggiornamenti::versioneInstallata()
{
#ifdef TESSERA_VERSION
    const QString versione = QStringLiteral(TESSERA_VERSION);
    if (!versione.isEmpty())
        return versione;
#endif
    return QStringLiteral("1.0");
}

bool ControlloAggiornamenti::versionePiuRecente(const QString &a, const QString &b)
{
    const QList<qint64> na = numeriDiVersione(a);
    const QList<qint64> nb = numeriDiVersione(b);
    const qsizetype posizioni = qMax(na.size(), nb.size());
    for (qsizetype i = 0; i < posizioni; ++i) {
        const qint64 x = i < na.size() ? na.at(i) : 0;
        const qint64 y = i < nb.size() ? nb.at(i) : 0;
        if (x != y)
            return x > y;
    }
    return false;
}

ControlloAggiornamenti::EsitoScaricamento
ControlloAggiornamenti::decodificaInfoVersione(const QByteArray &corpo)
{
    QJsonParseError errore{};
    const QJsonDocument doc = QJsonDocument::fromJson(corpo, &errore);
    if (errore.error != QJsonParseError::NoError)
        return {std::nullopt, QStringLiteral("documento non JSON: %1").arg(errore.errorString())};
    if (!doc.isObject())
        return {std::nullopt, QStringLiteral("il documento non è un oggetto JSON")};
    const QJsonObject oggetto = doc.object();
    const QJsonValue versione = oggetto.value(QStringLiteral("versione"));
    if (!versione.isString())
        return {std::nullopt, QStringLiteral("\"versione\" assente o non di testo")};
    InfoVersione info{versione.toString(), std::nullopt, std::nullopt};
    if (!leggiTestoFacoltativo(oggetto, QStringLiteral("url"), info.url))
        return {std::nullopt, QStringLiteral("\"url\" non di testo")};
    if (!leggiTestoFacoltativo(oggetto, QStringLiteral("note"), info.note))
        return {std::nullopt, QStringLiteral("\"note\" non di testo")};
    return {info, QString()};
}

QUrl ControlloAggiornamenti::indirizzoDownload(const std::optional<QString> &url)
{
    if (url) {
        const QUrl indirizzo(url->trimmed(), QUrl::StrictMode);
        // Only a secure web page is handed to the browser: a document that
        // names a file, a script or a plain-http address gets the home page.
        if (indirizzo.isValid() && indirizzo.scheme() == QLatin1String("https") &&
            !indirizzo.host().isEmpty())
            return indirizzo;
    }
    return Marchio::homePage();
}

QString ControlloAggiornamenti::testoNotifica(const InfoVersione &info)
{
    QString corpo = QStringLiteral("È disponibile la versione %1 di %2. Scaricala da %3.")
                        .arg(info.versione, Marchio::nomeCompleto, Marchio::sito);
    if (info.note && !info.note->isEmpty())
        corpo += QStringLiteral("\nNovità: ") + *info.note;
    return corpo;
}

QString ControlloAggiornamenti::testoAvvisoAggiornamento(const InfoVersione &info, const QString &installata)
{
    QString testo =
        QStringLiteral("È disponibile la versione %1 (tu hai la %2).").arg(info.versione, installata);
    if (info.note)
        testo += QStringLiteral("\n\nNovità: ") + *info.note;
    return testo;
}

std::optional<QDateTime> ControlloAggiornamenti::ultimoControllo() const
{
    const QVariant valore = m_preferenze->value(chiaveUltimoControllo);
    if (valore.typeId() != QMetaType::QDateTime || !valore.toDateTime().isValid())
        return std::nullopt;
    return valore.toDateTime();
}

void ControlloAggiornamenti::controlloAutomatico()
{
    const QDateTime adesso = Orologio::adesso();
    if (const auto ultimo = ultimoControllo()) {
        const qint64 trascorsi = ultimo->secsTo(adesso);
        // A date in the future (a clock that was set wrong once) would otherwise
        // silence the check until that date comes round, possibly for years.
        if (trascorsi >= 0 && trascorsi <= intervalloSecondi)
            return;
    }
    // Written before the fetch, so a failing check also waits 20 hours.
    m_preferenze->setValue(chiaveUltimoControllo, adesso);
    m_preferenze->sync();

    // Started from the event loop rather than here, so that setting up the
    // network stack never lengthens the launch.
    QTimer::singleShot(0, this, [this] { avviaFlusso(eseguiAutomatico(), this); });
}

void ControlloAggiornamenti::controlloManuale()
{
    avviaFlusso(eseguiManuale(), this);
}

QCoro::Task<ControlloAggiornamenti::EsitoScaricamento>
ControlloAggiornamenti::scaricaInfoVersione(QNetworkRequest::Priority priorita)
{
    if (!m_rete)
        m_rete = new QNetworkAccessManager(this);
    QNetworkRequest richiesta(m_config.documento);
    richiesta.setPriority(priorita);
    // A redirect may move to another https page but never down to plain http.
    richiesta.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                           QNetworkRequest::NoLessSafeRedirectPolicy);

    QPointer<QNetworkReply> reply = m_rete->get(richiesta);
    // Why the reply was cut short by us rather than by the network; shared with
    // the handlers below, which live as long as the reply, not this frame.
    const auto motivo = std::make_shared<QString>();
    const auto interrompi = [r = reply.get(), motivo](const QString &perche) {
        if (motivo->isEmpty())
            *motivo = perche;
        r->abort();
    };
    // One deadline for the whole fetch: an idle timeout alone lets a server
    // that sends a byte every few seconds hold the check for ever.
    QTimer::singleShot(m_config.attesaMassima, reply.get(),
                       [interrompi, ms = m_config.attesaMassima.count()] {
                           interrompi(QStringLiteral("nessuna risposta completa entro %1 ms").arg(ms));
                       });
    // The document is a few lines; anything larger is not ours, and is dropped
    // as soon as it shows, before it is held in memory.
    // The buffer is checked too, whatever the transfer counts: a compressed
    // answer is held unpacked.
    connect(reply.get(), &QNetworkReply::downloadProgress, reply.get(),
            [interrompi, r = reply.get()](qint64 ricevuti, qint64 totale) {
                if (ricevuti > dimensioneMassima || totale > dimensioneMassima ||
                    r->bytesAvailable() > dimensioneMassima)
                    interrompi(QStringLiteral("documento più grande di %1 byte").arg(dimensioneMassima));
            });
    co_await reply.get();
    if (!reply)
        co_return EsitoScaricamento{std::nullopt, QStringLiteral("richiesta interrotta")};
    reply->deleteLater();
    if (!motivo->isEmpty())
        co_return EsitoScaricamento{std::nullopt, *motivo};
    if (erroreDiTrasporto(*reply))
        co_return EsitoScaricamento{std::nullopt, reply->errorString()};
    const QByteArray corpo = reply->read(dimensioneMassima + 1);
    if (corpo.size() > dimensioneMassima)
        co_return EsitoScaricamento{std::nullopt,
                                    QStringLiteral("documento più grande di %1 byte").arg(dimensioneMassima)};
    co_return decodificaInfoVersione(corpo);
}

// The network wait is asynchronous, so this runs on the main thread without
// holding it: between launch and the answer the panel works as usual.
QCoro::Task<> ControlloAggiornamenti::eseguiAutomatico()
{
    QPointer<ControlloAggiornamenti> self = this;
    const EsitoScaricamento esito = co_await scaricaInfoVersione(QNetworkRequest::LowPriority);
    if (!self)
        co_return;
    if (esito.riuscito() && versionePiuRecente(esito.info->versione, m_config.versioneInstallata)) {
        if (Notificatore *notifiche = m_servizi.notifiche)
            co_await notifiche->notifica(titoloAggiornamento, testoNotifica(*esito.info));
    }
    if (self)
        Q_EMIT controlloConcluso();
}

QCoro::Task<> ControlloAggiornamenti::eseguiManuale()
{
    QPointer<ControlloAggiornamenti> self = this;
    const EsitoScaricamento esito = co_await scaricaInfoVersione();
    if (!self || !m_servizi.avvisi)
        co_return;
    PresentatoreAvvisi &avvisi = *m_servizi.avvisi;
    const QString installata = m_config.versioneInstallata;

    if (!esito.riuscito()) {
        avvisi.mostraAvviso(
            QStringLiteral("Controllo non riuscito"),
            QStringLiteral("Impossibile verificare gli aggiornamenti (connessione assente o pagina "
                           "non raggiungibile). Riprova più tardi."),
            StileAvviso::avvertenza);
    } else if (versionePiuRecente(esito.info->versione, installata)) {
        const RispostaAvviso risposta =
            avvisi.presenta(RichiestaAvviso{titoloAggiornamento,
                                            testoAvvisoAggiornamento(*esito.info, installata),
                                            StileAvviso::avvertenza,
                                            {QStringLiteral("Vai al download"), QStringLiteral("Più tardi")},
                                            std::nullopt});
        if (risposta.pulsante == 0 && self && m_servizi.apritore)
            m_servizi.apritore->apri(indirizzoDownload(esito.info->url));
    } else {
        avvisi.mostraAvviso(QStringLiteral("Sei aggiornato"),
                            QStringLiteral("La versione %1 è la più recente.").arg(installata),
                            StileAvviso::informativo);
    }
    if (self)
        Q_EMIT controlloConcluso();
}
