#include "support/ServerHttpProva.h"

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace {
QByteArray frase(int stato)
{
    switch (stato) {
    case 200:
        return "OK";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}
} // namespace

ServerHttpProva::ServerHttpProva(QObject *parent) : QObject(parent), m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *s = m_server->nextPendingConnection()) {
            connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            connect(s, &QTcpSocket::readyRead, this, [this, s] { leggi(s); });
        }
    });
}

ServerHttpProva::~ServerHttpProva() = default;

bool ServerHttpProva::avvia()
{
    return m_server->listen(QHostAddress::LocalHost);
}

QUrl ServerHttpProva::url(const QString &percorso) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server->serverPort()).arg(percorso));
}

QUrl ServerHttpProva::urlSenzaServer()
{
    QTcpServer libero;
    libero.listen(QHostAddress::LocalHost);
    const quint16 porta = libero.serverPort();
    libero.close();
    return QUrl(QStringLiteral("http://127.0.0.1:%1/tessera/versione.json").arg(porta));
}

void ServerHttpProva::leggi(QTcpSocket *socket)
{
    QByteArray dati = socket->property("richiesta").toByteArray() + socket->readAll();
    socket->setProperty("richiesta", dati);
    if (!dati.contains("\r\n\r\n") || socket->property("servita").toBool())
        return;
    socket->setProperty("servita", true);
    ++m_richieste;
    m_ultimoPercorso = dati.split(' ').value(1);
    if (allaRichiesta)
        allaRichiesta(m_ultimoPercorso);
    Q_EMIT richiestaRicevuta();
    if (m_risposta.silenzio)
        return;
    QPointer<QTcpSocket> guardia(socket);
    QTimer::singleShot(m_risposta.ritardo, this, [this, guardia] {
        if (guardia)
            rispondi(guardia);
    });
}

void ServerHttpProva::rispondi(QTcpSocket *socket)
{
    QByteArray testa =
        "HTTP/1.1 " + QByteArray::number(m_risposta.stato) + ' ' + frase(m_risposta.stato) + "\r\n";
    testa += "Content-Type: " + m_risposta.contentType + "\r\n";
    testa += "Content-Length: " + QByteArray::number(m_risposta.corpo.size()) + "\r\n";
    testa += "Connection: close\r\n\r\n";
    socket->write(testa + m_risposta.corpo);
    socket->disconnectFromHost();
}
