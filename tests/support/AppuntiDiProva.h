#pragma once

#include "platform/Appunti.h"

class AppuntiDiProva : public Appunti {
public:
    std::optional<QString> testo() const override { return testoPresente; }
    std::optional<QByteArray> rtf() const override { return rtfPresente; }

    std::optional<QString> testoPresente;
    std::optional<QByteArray> rtfPresente;
};
