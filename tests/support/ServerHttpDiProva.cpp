#include "support/ServerHttpDiProva.h"

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

ServerHttpDiProva::ServerHttpDiProva(QObject *parent) : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *s = m_server.nextPendingConnection()) {
            connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            connect(s, &QTcpSocket::readyRead, this, [this, s] {
                const QByteArray dati = s->property("richiesta").toByteArray() + s->readAll();
                s->setProperty("richiesta", dati);
                if (!dati.contains("\r\n\r\n") || s->property("servita").toBool())
                    return;
                s->setProperty("servita", true);
                ++m_richieste;
                m_ultimoPercorso = dati.split(' ').value(1);
                if (allaRichiesta)
                    allaRichiesta(m_ultimoPercorso);
                if (m_risposta.silenzio)
                    return;
                QTimer::singleShot(m_risposta.ritardo, this, [this, s = QPointer<QTcpSocket>(s)] {
                    if (!s)
                        return;
                    // The reason phrase is not read by clients; one fits every status.
                    const bool gocce = m_risposta.goccia.count() > 0;
                    s->write("HTTP/1.1 " + QByteArray::number(m_risposta.stato) +
                             " Status\r\nContent-Type: " + m_risposta.contentType +
                             "\r\nContent-Length: " + QByteArray::number(m_risposta.corpo.size()) +
                             "\r\nConnection: close\r\n\r\n" + (gocce ? QByteArray() : m_risposta.corpo));
                    if (!gocce) {
                        s->disconnectFromHost();
                        return;
                    }
                    auto *rubinetto = new QTimer(s);
                    connect(rubinetto, &QTimer::timeout, s, [s, resto = m_risposta.corpo]() mutable {
                        if (resto.isEmpty())
                            return;
                        s->write(resto.first(1));
                        resto.remove(0, 1);
                        if (resto.isEmpty())
                            s->disconnectFromHost();
                    });
                    rubinetto->start(m_risposta.goccia);
                });
            });
        }
    });
}

QUrl ServerHttpDiProva::url(const QString &percorso) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(percorso));
}

QUrl ServerHttpDiProva::urlSenzaServer()
{
    QTcpServer libero;
    libero.listen(QHostAddress::LocalHost);
    return QUrl(QStringLiteral("http://127.0.0.1:%1/tessera/versione.json").arg(libero.serverPort()));
}
