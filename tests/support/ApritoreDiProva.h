#pragma once

#include "platform/DesktopOpener.h"

#include <QList>

class ApritoreDiProva : public DesktopOpener {
public:
    bool apri(const QUrl &url) override
    {
        aperti.append(url);
        return true;
    }
    QList<QUrl> aperti;
};
