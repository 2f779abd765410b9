#include "platform/QtAppunti.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

const QStringList &QtAppunti::tipiRtf()
{
    static const QStringList tipi{QStringLiteral("text/rtf"), QStringLiteral("text/richtext"),
                                  QStringLiteral("application/rtf")};
    return tipi;
}

std::optional<QString> QtAppunti::testo() const
{
    const QMimeData *dati = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
    if (!dati || !dati->hasText())
        return std::nullopt;
    return dati->text();
}

std::optional<QByteArray> QtAppunti::rtf() const
{
    const QMimeData *dati = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
    if (!dati)
        return std::nullopt;
    for (const QString &tipo : tipiRtf()) {
        if (dati->hasFormat(tipo)) {
            const QByteArray byte = dati->data(tipo);
            if (!byte.isEmpty())
                return byte;
        }
    }
    return std::nullopt;
}
