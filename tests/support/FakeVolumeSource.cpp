#include "support/FakeVolumeSource.h"

void FakeVolumeSource::mount(const Volume &v)
{
    m_volumes.append(v);
    Q_EMIT volumeMounted(v.mountPoint);
}

void FakeVolumeSource::unmount(const QString &mountPoint)
{
    m_volumes.removeIf([&](const Volume &v) { return v.mountPoint == mountPoint; });
    Q_EMIT volumeUnmounted();
}

QStringList FakeVolumeSource::mountedVolumes(bool skipHidden) const
{
    QStringList out;
    for (const Volume &v : m_volumes) {
        if (!(skipHidden && v.hidden))
            out << v.mountPoint;
    }
    return out;
}

const FakeVolumeSource::Volume *FakeVolumeSource::find(const QString &mountPoint) const
{
    for (const Volume &v : m_volumes) {
        if (v.mountPoint == mountPoint)
            return &v;
    }
    return nullptr;
}

std::optional<bool> FakeVolumeSource::isRemovable(const QString &mountPoint) const
{
    const Volume *v = find(mountPoint);
    return v ? v->removable : std::nullopt;
}

std::optional<QString> FakeVolumeSource::volumeName(const QString &mountPoint) const
{
    const Volume *v = find(mountPoint);
    return v ? v->name : std::nullopt;
}
