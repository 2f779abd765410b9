#pragma once

#include "platform/FonteVolumi.h"

#include <QList>

// An in-memory mount table. mount()/unmount() change it and emit the events
// the way the system source does.
class VolumiDiProva : public FonteVolumi {
    Q_OBJECT
public:
    struct Volume {
        QString mountPoint;
        std::optional<bool> removable = true;
        std::optional<QString> name;
        bool hidden = false;
    };

    using FonteVolumi::FonteVolumi;

    void add(const Volume &v) { m_volumes.append(v); } // silently, as if mounted before start-up
    void mount(const Volume &v)
    {
        m_volumes.append(v);
        Q_EMIT volumeMounted(v.mountPoint);
    }
    void unmount(const QString &mountPoint)
    {
        m_volumes.removeIf([&](const Volume &v) { return v.mountPoint == mountPoint; });
        Q_EMIT volumeUnmounted(mountPoint);
    }

    QStringList mountedVolumes(bool skipHidden) const override
    {
        QStringList out;
        for (const Volume &v : m_volumes)
            if (!(skipHidden && v.hidden))
                out << v.mountPoint;
        return out;
    }
    std::optional<bool> isRemovable(const QString &p) const override { return find(p).removable; }
    std::optional<QString> volumeName(const QString &p) const override { return find(p).name; }

private:
    Volume find(const QString &mountPoint) const
    {
        for (const Volume &v : m_volumes)
            if (v.mountPoint == mountPoint)
                return v;
        return {QString(), std::nullopt};
    }
    QList<Volume> m_volumes;
};
