#pragma once

#include "platform/IdentitaChiavetta.h"

// The identity of the volume mounted at `puntoMontaggio` from mountinfo, sysfs
// and udev's database under the given roots (fixture trees in tests); `nome`
// stands in for a label the system does not know.
IdentitaChiavetta identitaDaSistema(const QString &puntoMontaggio, const QString &nome,
                                    const QString &procRoot, const QString &sysRoot, const QString &runRoot);
