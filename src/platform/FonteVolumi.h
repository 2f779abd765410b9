#pragma once

#include <optional>
#include <QObject>
#include <QStringList>

// Where the mounted volumes come from: the operating system's mount table and
// its mount and unmount notifications. Mount points are absolute paths.
class FonteVolumi : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~FonteVolumi() override = default;

    // The mounted volumes in the platform's order. With skipHidden, the mounts a
    // desktop file manager would not show are left out.
    virtual QStringList mountedVolumes(bool skipHidden) const = 0;
    // Empty when the flag or the name cannot be read.
    virtual std::optional<bool> isRemovable(const QString &mountPoint) const = 0;
    virtual std::optional<QString> volumeName(const QString &mountPoint) const = 0;

Q_SIGNALS:
    // A new mount. One at a folder that was already listed is a different
    // volume there, always told after the old one's volumeUnmounted.
    void volumeMounted(const QString &mountPoint);
    // The mount at this folder went away, even if another has taken its place.
    // Listeners also re-read mountedVolumes(): wake-ups may coalesce.
    void volumeUnmounted(const QString &mountPoint);
};
