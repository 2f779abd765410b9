#pragma once

#include "comune/USBDrive.h"

#include <optional>
#include <QList>
#include <QObject>

// The inserted sticks as flows and windows see them: the ordered list, the
// one inserted last, and a signal when either changes. Main thread only.
class ElencoChiavette : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual const QList<USBDrive> &drives() const = 0;
    std::optional<USBDrive> lastDrive() const
    {
        const QList<USBDrive> &d = drives();
        if (d.isEmpty())
            return std::nullopt;
        return d.last();
    }

Q_SIGNALS:
    void drivesChanged();
};
