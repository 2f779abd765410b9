#include "diagnostics/VelocitaConnessione.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace StrumentiDiagnostica {

std::optional<QString> cercaVelocita(const QJsonValue &nodo, const QString &disco)
{
    if (nodo.isObject()) {
        const QJsonObject oggetto = nodo.toObject();
        // The match is on the medium (the whole disk), never on its partitions,
        // which the profiler lists further down with their own names.
        const QJsonValue media = oggetto.value(QStringLiteral("Media"));
        if (media.isArray()) {
            for (const QJsonValue &medium : media.toArray()) {
                const QJsonValue nome = medium.toObject().value(QStringLiteral("bsd_name"));
                if (nome.isString() && nome.toString() == disco) {
                    const QJsonValue velocita = oggetto.value(QStringLiteral("device_speed"));
                    return velocita.isString() ? velocita.toString() : QStringLiteral("sconosciuta");
                }
            }
        }
        for (auto it = oggetto.begin(); it != oggetto.end(); ++it)
            if (auto trovata = cercaVelocita(it.value(), disco))
                return trovata;
        return std::nullopt;
    }
    if (nodo.isArray()) {
        for (const QJsonValue &elemento : nodo.toArray())
            if (auto trovata = cercaVelocita(elemento, disco))
                return trovata;
    }
    return std::nullopt;
}

QString etichettaVelocita(const QString &deviceSpeed)
{
    if (deviceSpeed == QLatin1String("low_speed"))
        return QStringLiteral("USB 1.0 — 1,5 Mb/s (molto lenta)");
    if (deviceSpeed == QLatin1String("full_speed"))
        return QStringLiteral("USB 1.1 — 12 Mb/s (lenta)");
    if (deviceSpeed == QLatin1String("high_speed"))
        return QStringLiteral("USB 2.0 — 480 Mb/s (max reale ~35 MB/s)");
    if (deviceSpeed == QLatin1String("super_speed"))
        return QStringLiteral("USB 3.0 — 5 Gb/s (max reale ~400 MB/s)");
    if (deviceSpeed == QLatin1String("super_speed_plus"))
        return QStringLiteral("USB 3.1/3.2 — 10 Gb/s o più");
    return QStringLiteral("connessione: ") + deviceSpeed;
}

std::optional<QString> velocitaDaProfilo(const QString &output, const QString &disco)
{
    QJsonParseError errore;
    const QJsonDocument documento = QJsonDocument::fromJson(output.toUtf8(), &errore);
    if (errore.error != QJsonParseError::NoError || documento.isNull())
        return std::nullopt;
    const QJsonValue radice =
        documento.isObject() ? QJsonValue(documento.object()) : QJsonValue(documento.array());
    const std::optional<QString> grezza = cercaVelocita(radice, disco);
    if (!grezza)
        return std::nullopt;
    return etichettaVelocita(*grezza);
}

} // namespace StrumentiDiagnostica
