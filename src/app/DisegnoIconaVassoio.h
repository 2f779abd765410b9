#pragma once

#include <QImage>
#include <QString>

// The tray icon's image. A Linux tray has no room for text beside the icon,
// so the erase progress ("…" or "37%") is drawn into the image itself.
QImage disegnaIconaVassoio(const QString &testo, int lato = 64);
