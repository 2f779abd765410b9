#pragma once

#include "platform/AperturaDesktop.h"

// Opens through the desktop's default handlers (xdg-open on Linux).
class AperturaDesktopQt : public AperturaDesktop {
public:
    bool apri(const QUrl &url) override;
};
