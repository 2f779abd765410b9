#pragma once

#include "Backend.h"

// Root without UDisks2: umount(2), sfdisk, partx, mkfs.fat -F 32, and O_DIRECT writes.
class BackendDiretto : public Backend {
public:
    explicit BackendDiretto(const VistaSistema &vista) : m_vista(vista) {}
    QString nome() const override { return QStringLiteral("diretto"); }
    Esito smonta(const Disco &disco) override;
    Esito formattaFat32(const Disco &disco, const QString &etichetta,
                        const Avanzamento &avanzamento) override;
    Esito azzera(const Disco &disco, const Avanzamento &avanzamento) override;

private:
    const VistaSistema &m_vista;
};
