#include "app/RegolePannello.h"

#include "comune/Marchio.h"
#include "operations/CentroOperazioni.h"
#include "operations/DiagnosticaManager.h"
#include "operations/Impegni.h"

#include <algorithm>
#include <cmath>

std::optional<LavoroInCorso> lavoroInCorso(const SecureEraseManager &erase, const CentroOperazioni &centro,
                                           const DiagnosticaManager &diag)
{
    if (erase.inCorso())
        return LavoroInCorso{erase.descrizione(), erase.percentuale()};
    if (const auto &op = centro.attuale()) {
        std::optional<double> percentuale;
        if (op->frazione)
            percentuale = std::clamp(*op->frazione, 0.0, 1.0) * 100.0;
        return LavoroInCorso{op->titolo, percentuale};
    }
    if (diag.inCorso())
        return LavoroInCorso{diag.descrizione(), diag.percentuale()};
    return std::nullopt;
}

QString testoIconaVassoio(const std::optional<LavoroInCorso> &lavoro)
{
    if (!lavoro)
        return QString();
    if (!lavoro->percentuale)
        return QStringLiteral("…");
    // The allowance keeps 29 % from reading 28 when it comes as 0.29 × 100.
    return QStringLiteral("%1%").arg(qint64(std::trunc(*lavoro->percentuale + 1e-9)));
}

QRect posizionePannello(const QRect &area, const QRect &icona, const QPoint &puntatore,
                        const QSize &desiderata)
{
    // A tray icon is about 24 points square around the point clicked.
    const QRect ancora = icona.isValid() ? icona : QRect(puntatore - QPoint(12, 12), QSize(24, 24));
    const int cima = qMax(ancora.bottom() + 1, area.top());
    const int fondo = qMin(ancora.top(), area.bottom() + 1);
    const int sotto = qMax(0, area.bottom() + 1 - cima);
    const int sopra = qMax(0, fondo - area.top());
    const bool giu = desiderata.height() <= sotto || sotto >= sopra;
    const int altezza = qMin(desiderata.height(), giu ? sotto : sopra);
    const int x = qBound(area.left(), ancora.center().x() - desiderata.width() / 2,
                         area.right() + 1 - desiderata.width());
    return {x, giu ? cima : fondo - altezza, desiderata.width(), altezza};
}

RegolaUscita regolaUscita(SecureEraseManager::Fase fase)
{
    if (!impegnoBloccante(Avvio::uscita, {.cancellazione = fase != SecureEraseManager::Fase::inattivo}))
        return {true, QStringLiteral("Esci da ") + Marchio::nomeCompleto};
    return {false, QStringLiteral("Non puoi uscire durante la cancellazione sicura")};
}

QString Finestre::titolo(const QString &identificatore)
{
    if (identificatore == settings)
        return QStringLiteral("Impostazioni");
    if (identificatore == diagnostica)
        return QStringLiteral("Diagnostica USB");
    if (identificatore == aiuto)
        return QStringLiteral("Aiuto");
    return QString();
}
