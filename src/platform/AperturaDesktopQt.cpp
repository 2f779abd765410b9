#include "platform/AperturaDesktopQt.h"

#include <QDesktopServices>

bool AperturaDesktopQt::apri(const QUrl &url)
{
    return QDesktopServices::openUrl(url);
}
