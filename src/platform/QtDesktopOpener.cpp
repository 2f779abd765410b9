#include "platform/QtDesktopOpener.h"

#include <QDesktopServices>

bool QtDesktopOpener::apri(const QUrl &url)
{
    return QDesktopServices::openUrl(url);
}
