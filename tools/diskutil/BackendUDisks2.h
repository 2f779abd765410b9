#pragma once

#include "Backend.h"

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QVariantMap>

// Through the UDisks2 service on the system bus, the way a desktop user's
// session formats a stick without being root: unmount first, then format with
// long call timeouts, following the service's job for progress.
class BackendUDisks2 : public Backend {
public:
    explicit BackendUDisks2(QDBusConnection bus = QDBusConnection::systemBus());

    // Whether the service answers (it may be started on demand).
    bool disponibile();

    QString nome() const override { return QStringLiteral("udisks2"); }
    Esito smonta(const Disco &disco) override;
    Esito formattaFat32(const Disco &disco, const QString &etichetta,
                        const Avanzamento &avanzamento) override;
    Esito azzera(const Disco &disco, const Avanzamento &avanzamento) override;

    using Interfacce = QMap<QString, QVariantMap>;
    using Oggetti = QMap<QDBusObjectPath, Interfacce>;

private:
    std::optional<Oggetti> oggetti(QString *errore = nullptr);
    std::optional<QDBusObjectPath> bloccoDelDisco(const Oggetti &tutti, const QString &nomeKernel);
    // The disk's block object (and, on request, every object of the service), or
    // in `esito` the reason, in plain words, why the service cannot act on it.
    std::optional<QDBusObjectPath> bloccoDi(const Disco &disco, Esito *esito, Oggetti *tutti = nullptr);
    // Calls `metodo` and, while it runs, reports the progress of the service's
    // jobs on `oggetto`.
    Esito chiamaSeguendo(const QDBusObjectPath &oggetto, const QString &interfaccia, const QString &metodo,
                         const QVariantList &argomenti, int timeoutMs, const Avanzamento &avanzamento,
                         QDBusObjectPath *creato = nullptr);

    QDBusConnection m_bus;
};
