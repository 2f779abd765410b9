#include "app/USBMonitor.h"

#include "operations/Orologio.h"
#include "platform/FonteVolumi.h"
#include "settings/AppSettings.h"

#include <QFileInfo>
#include <QPointer>
#include <QSet>

USBMonitor::USBMonitor(FonteVolumi *source, AppSettings *settings, QObject *parent)
    : ElencoChiavette(parent), m_source(source), m_settings(settings)
{
    for (const QString &mountPoint : m_source->mountedVolumes(true)) {
        if (m_source->isRemovable(mountPoint).value_or(false))
            addDrive(mountPoint, false);
    }
    connect(m_source, &FonteVolumi::volumeMounted, this, &USBMonitor::onMounted);
    connect(m_source, &FonteVolumi::volumeUnmounted, this, &USBMonitor::onUnmounted);
}

void USBMonitor::addDrive(const QString &mountPoint, bool autoImport)
{
    const QUrl url = QUrl::fromLocalFile(mountPoint);
    for (const USBDrive &d : std::as_const(m_drives)) {
        if (d.url == url)
            return;
    }
    QString name = m_source->volumeName(mountPoint).value_or(QString());
    if (name.isEmpty())
        name = QFileInfo(mountPoint).fileName();
    const USBDrive drive{QUuid::createUuid(), url, name, Orologio::adesso()};
    m_drives.append(drive);
    Q_EMIT drivesChanged();

    if (autoImport && m_autoImport && m_settings && m_settings->autoImport()) {
        QPointer<USBMonitor> self(this);
        QMetaObject::invokeMethod(
            this,
            [self, drive] {
                if (self && self->m_autoImport)
                    self->m_autoImport(drive);
            },
            Qt::QueuedConnection);
    }
}

void USBMonitor::onMounted(const QString &mountPoint)
{
    // The start-up scan's rule for later arrivals too: a mount that the
    // desktop's file manager hides (a folder starting with a dot, one udisks
    // is told to ignore) is some program's working mount, a stick being
    // prepared or checked, not one the practice put in. It is neither listed
    // nor imported; copying from it, or offering to erase it, would surprise.
    if (mountPoint.isEmpty() || !m_source->mountedVolumes(true).contains(mountPoint) ||
        !m_source->isRemovable(mountPoint).value_or(false))
        return;
    // The list changes on a later turn, never inside the event callback.
    QPointer<USBMonitor> self(this);
    QMetaObject::invokeMethod(
        this,
        [self, mountPoint] {
            if (self)
                self->addDrive(mountPoint, true);
        },
        Qt::QueuedConnection);
}

void USBMonitor::onUnmounted(const QString &mountPoint)
{
    QPointer<USBMonitor> self(this);
    QMetaObject::invokeMethod(
        this,
        [self, gone = QUrl::fromLocalFile(mountPoint)] {
            if (!self)
                return;
            QSet<QUrl> mounted;
            for (const QString &mp : self->m_source->mountedVolumes(true))
                mounted.insert(QUrl::fromLocalFile(mp));
            const auto before = self->m_drives.size();
            // The named folder may already hold another volume: the stick
            // there now is a new one, which its own mount event adds.
            self->m_drives.removeIf(
                [&](const USBDrive &d) { return d.url == gone || !mounted.contains(d.url); });
            if (self->m_drives.size() != before)
                Q_EMIT self->drivesChanged();
        },
        Qt::QueuedConnection);
}
