#pragma once

#include "platform/VolumeSource.h"

// Mounted volumes from /proc/self/mountinfo, removability from sysfs.
// The proc and sys roots are constructor arguments so tests can hand in fixtures.
class LinuxVolumeSource : public VolumeSource {
    Q_OBJECT
public:
    explicit LinuxVolumeSource(QString procRoot = QStringLiteral("/proc"), QString sysRoot = QStringLiteral("/sys"),
                               QObject *parent = nullptr);

    QStringList mountedVolumes(bool skipHidden) const override;
    std::optional<bool> isRemovable(const QString &mountPoint) const override;
    std::optional<QString> volumeName(const QString &mountPoint) const override;

private:
    QString m_procRoot;
    QString m_sysRoot;
};
