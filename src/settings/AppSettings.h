#pragma once

#include "settings/ChiaviImpostazioni.h"

#include <memory>
#include <optional>
#include <QDateTime>
#include <QObject>
#include <QString>

class QSettings;

// The user choices that survive a restart: the archive folder, how it is laid
// out, and the automatic-import switch. Every assignment is written back at once. Of the
// archive folders only the default one is created when missing.
class AppSettings : public QObject {
    Q_OBJECT
public:
    static inline const QString key = ChiaviImpostazioni::cartellaArchivio;
    static inline const QString keyAutoImport = ChiaviImpostazioni::importazioneAutomatica;
    static inline const QString keyOrdine = ChiaviImpostazioni::ordineArchivio;
    static inline const QString keyUltimaVerifica = QStringLiteral("ultimaVerificaArchivio");
    static inline const QString keyCartellaVerificata = QStringLiteral("ultimaVerificaArchivioCartella");

    // The user's own preferences (QSettings in the user's config folder).
    static AppSettings &shared();

    // A store on the given preferences; tests hand in a private file.
    explicit AppSettings(std::unique_ptr<QSettings> store, QObject *parent = nullptr);
    ~AppSettings() override;

    static QString defaultDestinationPath();

    QString destinationPath() const { return m_destinationPath; }
    void setDestinationPath(const QString &path);
    void resetDestinationPath() { setDestinationPath(defaultDestinationPath()); }
    // Whether the archive is the default folder: the one folder Tessera may
    // create when it is missing.
    bool isDefaultDestination() const;

    bool autoImport() const { return m_autoImport; }
    void setAutoImport(bool on);

    // How copies and imports lay the archive out. A change applies to the next
    // copy: files already archived stay where they are.
    OrdineArchivio ordineArchivio() const { return m_ordine; }
    void setOrdineArchivio(OrdineArchivio ordine);

    // When the archive folder now chosen was last verified to the end against
    // its manifests; none when never. A date kept for another folder does not count.
    std::optional<QDateTime> ultimaVerificaArchivio() const;
    void setUltimaVerificaArchivio(const QDateTime &quando);

    // The archive folder's display name: the last component of the path.
    static QString folderName(const QString &path);

Q_SIGNALS:
    void destinationPathChanged(const QString &path);
    void autoImportChanged(bool on);
    void ordineArchivioChanged(OrdineArchivio ordine);
    void ultimaVerificaArchivioChanged();

private:
    std::unique_ptr<QSettings> m_store;
    QString m_destinationPath;
    bool m_autoImport = false;
    OrdineArchivio m_ordine = OrdineArchivio::unicaCartella;
};
