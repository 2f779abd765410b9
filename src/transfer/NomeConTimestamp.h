#pragma once

#include <QString>

// A path inside `cartella` that does not exist yet for the file `file`:
// "{base}_{stamp}.{ext}", then "{base}_{stamp}_1.{ext}", ... with the stamp of
// Orologio::timestamp(). A base too long for the 255 bytes a name may take is
// shortened rather than left to fail. Blocking.
QString urlConTimestamp(const QString &file, const QString &cartella);
