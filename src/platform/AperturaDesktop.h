#pragma once

#include <QUrl>

// Opens a folder in the file browser, a file in its default application or a
// web address in the browser.
class AperturaDesktop {
public:
    virtual ~AperturaDesktop() = default;
    virtual bool apri(const QUrl &url) = 0;
};
