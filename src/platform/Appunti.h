#pragma once

#include <optional>
#include <QByteArray>
#include <QString>

// The clipboard, read once per note. Empty optionals mean the clipboard holds
// nothing of that kind.
class Appunti {
public:
    virtual ~Appunti() = default;
    virtual std::optional<QString> testo() const = 0;
    // Rich text exactly as the clipboard holds it (RTF bytes).
    virtual std::optional<QByteArray> rtf() const = 0;
};
