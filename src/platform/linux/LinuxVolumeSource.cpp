#include "platform/linux/LinuxVolumeSource.h"

LinuxVolumeSource::LinuxVolumeSource(QString procRoot, QString sysRoot, QObject *parent)
    : VolumeSource(parent), m_procRoot(std::move(procRoot)), m_sysRoot(std::move(sysRoot))
{
}

QStringList LinuxVolumeSource::mountedVolumes(bool) const { return {}; }
std::optional<bool> LinuxVolumeSource::isRemovable(const QString &) const { return std::nullopt; }
std::optional<QString> LinuxVolumeSource::volumeName(const QString &) const { return std::nullopt; }

std::unique_ptr<VolumeSource> createSystemVolumeSource(QObject *parent)
{
    return std::make_unique<LinuxVolumeSource>(QStringLiteral("/proc"), QStringLiteral("/sys"), parent);
}
