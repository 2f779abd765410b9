#pragma once

#include "comune/USBDrive.h"
#include "operations/CentroOperazioni.h"
#include "operations/DiagnosticaManager.h"
#include "operations/SecureEraseManager.h"
#include "operations/Servizi.h"
#include "settings/AppSettings.h"
#include "support/ApritoreDiProva.h"
#include "support/AvvisiDiProva.h"
#include "support/EsecutoreDiscoDiProva.h"
#include "support/NotificheDiProva.h"

#include <memory>
#include <QTemporaryDir>

// A private world for one test: its own settings file, archive folder and log
// folder inside a temporary directory, and fakes for every outside service.
struct TestEnv {
    TestEnv();
    ~TestEnv();

    QString path(const QString &relative = QString()) const
    {
        return relative.isEmpty() ? dir.path() : dir.filePath(relative);
    }
    QString settingsFile() const { return path(QStringLiteral("settings.ini")); }
    QString logFile() const { return path(QStringLiteral("data/Orvala Tessera/registro_operazioni.log")); }
    QStringList logLines() const;

    QTemporaryDir dir;
    AvvisiDiProva avvisi;
    NotificheDiProva notifiche;
    ApritoreDiProva apritore;
    CentroOperazioni centro;
    SecureEraseManager cancellazione;
    DiagnosticaManager diagnostica;
    EsecutoreDiscoDiProva disco;
    std::unique_ptr<AppSettings> impostazioni;
    Servizi servizi;
};

namespace TestSupport {
bool isRoot();
// A stick as the monitor lists it, mounted at `percorso`.
inline USBDrive chiavetta(const QString &percorso, const QString &nome)
{
    return {QUuid::createUuid(), QUrl::fromLocalFile(percorso), nome, {}};
}
// Where screenshots and other artefacts go (created on demand).
QString artifactsDir();
// Writes `content` to `path`, creating folders.
bool writeFile(const QString &path, const QByteArray &content);
QByteArray readFile(const QString &path);
// Writes a file under `cartella` whose name is given as bytes, which need not be UTF-8, creating folders.
bool writeFileBytes(const QString &cartella, const QByteArray &nome, const QByteArray &content);
QByteArray sha256Hex(const QByteArray &dati);
// Runs a program to its end (two minutes at most): true if it exited with 0.
// `uscita` gets what it printed on stdout, trimmed.
bool esegui(const QString &programma, const QStringList &argomenti, QString *uscita = nullptr);
} // namespace TestSupport
