#include "operations/ImpegnoTenuto.h"

#include "operations/SecureEraseManager.h"

ImpegnoTenuto::ImpegnoTenuto(CentroOperazioni *centro, CentroOperazioni::Operazione scheda)
    : m_impegno(Impegno::operazione), m_titolare(centro)
{
    if (centro)
        centro->setAttuale(std::move(scheda));
}

ImpegnoTenuto::ImpegnoTenuto(SecureEraseManager *erase, const QString &nomeVolume)
    : m_impegno(Impegno::cancellazione), m_titolare(erase)
{
    if (erase)
        erase->avvia(nomeVolume);
}

ImpegnoTenuto::ImpegnoTenuto(DiagnosticaManager *diag, DiagnosticaManager::Operazione controllo)
    : m_impegno(Impegno::diagnostica), m_titolare(diag)
{
    if (diag)
        diag->inizia(controllo);
}

void ImpegnoTenuto::rilascia()
{
    QObject *titolare = m_titolare.data();
    m_titolare = nullptr;
    if (!titolare)
        return;
    switch (m_impegno) {
    case Impegno::operazione:
        static_cast<CentroOperazioni *>(titolare)->setAttuale(std::nullopt);
        return;
    case Impegno::cancellazione:
        static_cast<SecureEraseManager *>(titolare)->azzera();
        return;
    case Impegno::diagnostica:
        static_cast<DiagnosticaManager *>(titolare)->termina();
        return;
    }
}
