#include "app/ImportazioniInAttesa.h"

#include "comune/ElencoChiavette.h"
#include "operations/CentroOperazioni.h"
#include "operations/Registro.h"
#include "operations/SecureEraseManager.h"
#include "settings/AppSettings.h"

ImportazioniInAttesa::ImportazioniInAttesa(const Servizi &servizi, const ElencoChiavette *chiavette,
                                           Importa importa, QObject *parent)
    : QObject(parent), m_servizi(servizi), m_chiavette(chiavette), m_importa(std::move(importa))
{
    // On a later turn: the work that ends lets go of the card before its
    // final words, and those come first.
    if (m_servizi.centro)
        connect(m_servizi.centro, &CentroOperazioni::attualeChanged, this, &ImportazioniInAttesa::riprova,
                Qt::QueuedConnection);
    if (m_servizi.cancellazione)
        connect(m_servizi.cancellazione, &SecureEraseManager::faseChanged, this,
                &ImportazioniInAttesa::riprova, Qt::QueuedConnection);
}

void ImportazioniInAttesa::arrivata(const USBDrive &drive)
{
    if (m_coda.isEmpty() && !impegnoBloccante(Avvio::importazioneAutomatica, statoImpegni(m_servizi))) {
        m_importa(drive);
        return;
    }
    registra(
        QStringLiteral("Auto-importazione da %1 rimandata: altra operazione in corso; partirà al termine")
            .arg(drive.name));
    m_coda.append(drive);
}

void ImportazioniInAttesa::riprova()
{
    // Each import takes the card as it starts, so the next one waits for it.
    while (!m_coda.isEmpty() && !impegnoBloccante(Avvio::importazioneAutomatica, statoImpegni(m_servizi))) {
        const USBDrive drive = m_coda.takeFirst();
        const bool inserita = std::any_of(m_chiavette->drives().cbegin(), m_chiavette->drives().cend(),
                                          [&](const USBDrive &d) { return d.id == drive.id; });
        if (!inserita)
            registra(
                QStringLiteral("Auto-importazione da %1 annullata: chiavetta rimossa prima").arg(drive.name));
        else if (m_servizi.impostazioni && !m_servizi.impostazioni->autoImport())
            registra(QStringLiteral("Auto-importazione da %1 annullata: importazione automatica spenta")
                         .arg(drive.name));
        else
            m_importa(drive);
    }
}
