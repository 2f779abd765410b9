#pragma once

#include <QString>
#include <QUrl>

// The maker's identity, shared by the panel header, the help window, the
// settings footer and the update check.
namespace Marchio {
inline const QString nomeProdotto = QStringLiteral("Tessera");
inline const QString nomeCompleto = QStringLiteral("Orvala – Tessera");
inline const QString produttore = QStringLiteral("Orvala");
inline const QString sito = QStringLiteral("www.orvala.it");
inline const QString motto = QStringLiteral("Strumenti digitali per lo studio medico");
inline QUrl homePage()
{
    return QUrl(QStringLiteral("https://www.orvala.it/"));
}
} // namespace Marchio
