#pragma once

#include "settings/ChiaviImpostazioni.h"

#include <memory>
#include <QObject>
#include <QString>

class QSettings;

// The two user choices that survive a restart: the archive folder and the
// automatic-import switch. Every assignment is written back at once.
class AppSettings : public QObject {
    Q_OBJECT
public:
    static inline const QString key = ChiaviImpostazioni::cartellaArchivio;
    static inline const QString keyAutoImport = ChiaviImpostazioni::importazioneAutomatica;

    // The user's own preferences (QSettings in the user's config folder).
    static AppSettings &shared();

    // A store on the given preferences; tests hand in a private file.
    explicit AppSettings(std::unique_ptr<QSettings> store, QObject *parent = nullptr);
    ~AppSettings() override;

    static QString defaultDestinationPath();
    // Only this folder may be created when missing: a folder the user chose
    // that is gone is a disk unplugged or a share not mounted, and one made in
    // its place would hide the copies from the practice.
    static bool isDefaultDestinationPath(const QString &path);

    QString destinationPath() const { return m_destinationPath; }
    void setDestinationPath(const QString &path);
    void resetDestinationPath() { setDestinationPath(defaultDestinationPath()); }

    bool autoImport() const { return m_autoImport; }
    void setAutoImport(bool on);

    // The archive folder's display name: the last component of the path.
    static QString folderName(const QString &path);

Q_SIGNALS:
    void destinationPathChanged(const QString &path);
    void autoImportChanged(bool on);

private:
    std::unique_ptr<QSettings> m_store;
    QString m_destinationPath;
    bool m_autoImport = false;
};
