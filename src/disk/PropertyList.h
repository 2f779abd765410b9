#pragma once

#include <optional>
#include <QByteArray>
#include <QVariant>

// Reads an XML property list into a tree of QVariant: dict -> QVariantMap,
// array -> QVariantList, string -> QString, integer -> qlonglong (qulonglong
// past its range), real -> double, true/false -> bool, date -> QDateTime (UTC),
// data -> QByteArray. None when the text is not a well-formed property list.
std::optional<QVariant> leggiPlist(const QByteArray &xml);
