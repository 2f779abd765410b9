#include "operations/Impegni.h"

#include <span>

namespace {

// Copies and the sync only wait for the centre: the panel greys them out
// during an erase. A check and an erase would fight over the same device.
// Quitting waits only for an erase, which must never be cut short.
std::span<const Impegno> controllati(Avvio avvio)
{
    using enum Impegno;
    static constexpr Impegno soloScheda[] = {operazione};
    static constexpr Impegno importazione[] = {operazione, cancellazione};
    static constexpr Impegno disco[] = {cancellazione, diagnostica, operazione};
    static constexpr Impegno diagnosi[] = {diagnostica, cancellazione};
    // Filling the stick would make a running copy crawl and a sync to it fail.
    static constexpr Impegno riempimento[] = {diagnostica, cancellazione, operazione};
    static constexpr Impegno uscita[] = {cancellazione};
    switch (avvio) {
    case Avvio::copia:
    case Avvio::copiaFiltrata:
    case Avvio::sincronizzazione:
    case Avvio::verificaArchivio:
        return soloScheda;
    case Avvio::importazioneAutomatica:
        return importazione;
    case Avvio::formattazioneRapida:
    case Avvio::cancellazioneSicura:
        return disco;
    case Avvio::infoDiagnostica:
    case Avvio::verificaDiagnostica:
    case Avvio::riparazioneDiagnostica:
    case Avvio::testVelocita:
        return diagnosi;
    case Avvio::verificaCapacita:
        return riempimento;
    case Avvio::uscita:
        return uscita;
    }
    return disco;
}

bool attivo(Impegno impegno, const StatoImpegni &stato)
{
    switch (impegno) {
    case Impegno::cancellazione:
        return stato.cancellazione;
    case Impegno::diagnostica:
        return stato.diagnostica;
    case Impegno::operazione:
        return stato.operazione;
    }
    return true;
}

} // namespace

std::optional<Impegno> impegnoBloccante(Avvio avvio, const StatoImpegni &stato)
{
    for (const Impegno impegno : controllati(avvio)) {
        if (attivo(impegno, stato))
            return impegno;
    }
    return std::nullopt;
}
