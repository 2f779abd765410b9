#pragma once

#include "platform/DesktopOpener.h"

// Opens through the desktop's default handlers (xdg-open on Linux).
class QtDesktopOpener : public DesktopOpener {
public:
    bool apri(const QUrl &url) override;
};
