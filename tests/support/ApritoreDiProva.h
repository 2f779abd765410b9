#pragma once

#include "platform/AperturaDesktop.h"

#include <QList>

class ApritoreDiProva : public AperturaDesktop {
public:
    bool apri(const QUrl &url) override
    {
        aperti.append(url);
        return true;
    }
    QList<QUrl> aperti;
};
