#pragma once

#include "comune/ElencoChiavette.h"

#include <functional>

class AppSettings;
class FonteVolumi;

// The live, ordered list of inserted sticks: filled by a scan at construction,
// then kept up to date from the volume source's mount and unmount events.
// Main thread only.
class USBMonitor : public ElencoChiavette {
    Q_OBJECT
public:
    using AutoImportHandler = std::function<void(const USBDrive &)>;

    USBMonitor(FonteVolumi *source, AppSettings *settings, QObject *parent = nullptr);

    const QList<USBDrive> &drives() const override { return m_drives; }

    // Called, on a later turn of the event loop, for each stick that arrives
    // through a mount event while automatic import is switched on.
    void setAutoImportHandler(AutoImportHandler handler) { m_autoImport = std::move(handler); }

private:
    void addDrive(const QString &mountPoint, bool autoImport);
    void onMounted(const QString &mountPoint);
    void onUnmounted(const QString &mountPoint);

    FonteVolumi *m_source;
    AppSettings *m_settings;
    QList<USBDrive> m_drives;
    AutoImportHandler m_autoImport;
};
