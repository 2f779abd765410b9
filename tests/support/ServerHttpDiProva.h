#pragma once

#include <chrono>
#include <functional>
#include <QTcpServer>
#include <QUrl>

// A tiny HTTP/1.1 server on 127.0.0.1 for tests: every request gets the same
// scripted answer, optionally after a delay, or no answer at all. It runs on
// the test's own event loop, so the code under test must not block it.
class ServerHttpDiProva : public QObject {
public:
    struct Risposta {
        int stato = 200;
        QByteArray contentType = "application/json";
        QByteArray corpo;
        std::chrono::milliseconds ritardo{0};
        bool silenzio = false; // read the request, never answer
        // When set, the body goes out one byte at a time at this pace.
        std::chrono::milliseconds goccia{0};
    };

    explicit ServerHttpDiProva(QObject *parent = nullptr);

    bool avvia() { return m_server.listen(QHostAddress::LocalHost); }
    QUrl url(const QString &percorso = QStringLiteral("/tessera/versione.json")) const;
    // An address on which nothing listens (a port just freed).
    static QUrl urlSenzaServer();

    void imposta(const Risposta &r) { m_risposta = r; }
    // Called when a complete request has arrived, before any answer.
    std::function<void(const QByteArray &percorso)> allaRichiesta;

    int richieste() const { return m_richieste; }
    QByteArray ultimoPercorso() const { return m_ultimoPercorso; }

private:
    QTcpServer m_server;
    Risposta m_risposta;
    int m_richieste = 0;
    QByteArray m_ultimoPercorso;
};
