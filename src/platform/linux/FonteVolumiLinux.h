#pragma once

#include "platform/FonteVolumi.h"
#include "platform/linux/TabellaMontaggi.h"

class QSocketNotifier;

// Mounted volumes from /proc/self/mountinfo, removability and the USB link
// from sysfs, labels from udev's database. The kernel wakes a poll()er of
// mountinfo (as an exceptional condition) on every mount and unmount; after
// each wake-up the table is read again and compared with the last one.
// The roots are constructor arguments so tests can hand in fixture trees.
class FonteVolumiLinux : public FonteVolumi {
    Q_OBJECT
public:
    explicit FonteVolumiLinux(QString procRoot = QStringLiteral("/proc"),
                              QString sysRoot = QStringLiteral("/sys"),
                              QString runRoot = QStringLiteral("/run"), QObject *parent = nullptr);
    ~FonteVolumiLinux() override;

    QStringList mountedVolumes(bool skipHidden) const override;
    std::optional<bool> isRemovable(const QString &mountPoint) const override;
    std::optional<QString> volumeName(const QString &mountPoint) const override;

private Q_SLOTS:
    // One wake-up; a slot so that tests can run it on a fixture table.
    void tableChanged();

private:
    // What tells one mount from the next one at the same folder. The kernel
    // hands a freed mount ID and device number straight to the next mount, so
    // the never-reused ID from statx counts too where the kernel has it.
    struct Identity {
        int id = -1;
        int major = -1;
        int minor = -1;
        quint64 unique = 0;
        bool operator==(const Identity &) const = default;
    };
    // The mount on top of each folder, in table order.
    QList<std::pair<QString, Identity>> visibleMounts() const;

    QList<VoceMontaggio> readTable() const;
    std::optional<VoceMontaggio> find(const QString &mountPoint) const;

    QString m_procRoot;
    QString m_sysRoot;
    QString m_runRoot;
    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
    QList<std::pair<QString, Identity>> m_known;
};
