#pragma once

#include "operations/Servizi.h"

#include <chrono>
#include <memory>
#include <optional>
#include <QCoro/QCoroTask>
#include <QDateTime>
#include <QNetworkRequest>
#include <QObject>
#include <QString>
#include <QUrl>

class QNetworkAccessManager;
class QSettings;

// Finds out whether a newer Tessera is published: fetches a small JSON
// document from the maker's site and compares its version with ours.
// Automatically at most once every 20 hours (a notification, never an alert),
// or on request from the settings window (always an alert).
class ControlloAggiornamenti : public QObject {
    Q_OBJECT
public:
    static inline const QString chiaveUltimoControllo = QStringLiteral("ultimoControlloAggiornamenti");
    static constexpr qint64 intervalloSecondi = 72000;     // 20 hours
    static constexpr qint64 dimensioneMassima = 64 * 1024; // bytes of the version document

    // The decoded version document.
    struct InfoVersione {
        QString versione;
        std::optional<QString> url;
        std::optional<QString> note;
    };

    // What a fetch gave: the document, or why there is none.
    struct EsitoScaricamento {
        std::optional<InfoVersione> info;
        QString errore; // for the log and the tests; the user reads the alert text
        bool riuscito() const { return info.has_value(); }
    };

    struct Configurazione {
        QUrl documento = indirizzoDocumento();
        QString versioneInstallata = ControlloAggiornamenti::versioneInstallata();
        // The whole fetch, from request to last byte: Qt waits for a silent or
        // trickling server forever, which would leave the manual check without
        // an answer; a minute is what web clients usually allow.
        std::chrono::milliseconds attesaMassima{60'000};
    };

    // The user's own preferences, the same store as AppSettings.
    explicit ControlloAggiornamenti(const Servizi &servizi, QObject *parent = nullptr);
    // Tests hand in a private preferences file and a local document address.
    ControlloAggiornamenti(const Servizi &servizi, std::unique_ptr<QSettings> preferenze,
                           Configurazione config, QObject *parent = nullptr);
    ~ControlloAggiornamenti() override;

    // Returns at once. Fetches only when the last automatic check is more
    // than 20 hours old; tells the user only of a newer version, by notification.
    void controlloAutomatico();
    // Returns at once; the answer arrives as a modal alert.
    void controlloManuale();

    QCoro::Task<EsitoScaricamento>
    scaricaInfoVersione(QNetworkRequest::Priority priorita = QNetworkRequest::NormalPriority);

    static QUrl indirizzoDocumento();
    static QString versioneInstallata(); // the build's version, "1.0" when it states none
    static bool versionePiuRecente(const QString &a, const QString &b);
    static EsitoScaricamento decodificaInfoVersione(const QByteArray &corpo);
    // Where "Vai al download" leads: the document's address only when it is
    // a well-formed https address, otherwise the maker's home page.
    static QUrl indirizzoDownload(const std::optional<QString> &url);

    static QString testoNotifica(const InfoVersione &info);
    static QString testoAvvisoAggiornamento(const InfoVersione &info, const QString &installata);

    std::optional<QDateTime> ultimoControllo() const;

Q_SIGNALS:
    // Emitted when a check that was started has finished, whatever its outcome.
    void controlloConcluso();

private:
    QCoro::Task<> eseguiAutomatico();
    QCoro::Task<> eseguiManuale();

    const Servizi &m_servizi;
    std::unique_ptr<QSettings> m_preferenze;
    Configurazione m_config;
    QNetworkAccessManager *m_rete = nullptr; // made on first fetch, not at launch
};
