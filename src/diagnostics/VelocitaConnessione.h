#pragma once

#include <optional>
#include <QJsonValue>
#include <QString>

namespace StrumentiDiagnostica {

// The raw "device_speed" of the USB device whose medium is the whole disk
// `disco`, searched depth first through the profiler's USB tree. "sconosciuta"
// when that device carries no textual speed; none when no device holds the disk.
std::optional<QString> cercaVelocita(const QJsonValue &nodo, const QString &disco);

// The wording the report uses for a profiler speed value.
QString etichettaVelocita(const QString &deviceSpeed);

// The label for `disco` from the profiler's whole output; none for output that
// is not JSON or holds no such disk.
std::optional<QString> velocitaDaProfilo(const QString &output, const QString &disco);

} // namespace StrumentiDiagnostica
