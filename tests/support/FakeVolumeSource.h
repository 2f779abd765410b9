#pragma once

#include "platform/VolumeSource.h"

#include <QList>

// An in-memory mount table. mount()/unmount() change it and emit the events
// the way the system source does.
class FakeVolumeSource : public VolumeSource {
    Q_OBJECT
public:
    struct Volume {
        QString mountPoint;
        std::optional<bool> removable = true;
        std::optional<QString> name;
        bool hidden = false;
    };

    using VolumeSource::VolumeSource;

    void add(const Volume &v) { m_volumes.append(v); } // silently, as if mounted before start-up
    void mount(const Volume &v);
    void unmount(const QString &mountPoint);

    QStringList mountedVolumes(bool skipHidden) const override;
    std::optional<bool> isRemovable(const QString &mountPoint) const override;
    std::optional<QString> volumeName(const QString &mountPoint) const override;

private:
    const Volume *find(const QString &mountPoint) const;
    QList<Volume> m_volumes;
};
