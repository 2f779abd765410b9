#pragma once

#include <QDateTime>
#include <QMetaType>
#include <QString>
#include <QUrl>
#include <QUuid>

// One inserted removable volume, as listed by the monitor. A plain value:
// actions keep their own copy even after the stick has left the list.
struct USBDrive {
    QUuid id;
    QUrl url; // mount point, as a file URL
    QString name;
    QDateTime insertedAt;

    QString path() const { return url.toLocalFile(); }

    friend bool operator==(const USBDrive &a, const USBDrive &b)
    {
        return a.id == b.id && a.url == b.url && a.name == b.name && a.insertedAt == b.insertedAt;
    }
};

Q_DECLARE_METATYPE(USBDrive)
