#include "comune/NomiFile.h"
#include "operations/Orologio.h"
#include "platform/OperazioniFile.h"
#include "transfer/CloneUSBService.h"
#include "transfer/LottoCopie.h"

#include <utility>
#include <vector>

using namespace CloneUSBService;

namespace {
using Conflitto = PianoSincronizzazione::Conflitto;

const QString staccata = QStringLiteral("la chiavetta non è più collegata");

// A stick's root, pinned to the file system that was mounted there when the
// plan was made. Once the stick is unmounted its mount point is a bare folder
// on the system disk (or gone): copies must fail rather than land there.
// The copies it receives wait in a batch of its own until completa(). A copy
// that would not fit in the space left is not started: the user chose to go
// on with what fits.
class Radice {
public:
    // `fatta(voce, motivo)`: the copy for `voce` is done, or failed (`motivo` not empty).
    using Fatta = std::function<void(qsizetype voce, const QString &motivo)>;

    Radice(QString percorso, std::optional<dev_t> dispositivo)
        : m_percorso(std::move(percorso)), m_dispositivo(dispositivo),
          m_liberi(spazioLibero(m_percorso, &m_unita))
    {
    }
    // The batch behind reports into this object: it is done before anything here goes.
    ~Radice() { m_lotto.attendiDietro(); }
    Radice(const Radice &) = delete;
    Radice &operator=(const Radice &) = delete;

    bool ancoraMontata() const { return m_dispositivo && dispositivoDi(m_percorso) == m_dispositivo; }
    // Why the copy could not even start, or empty; `voce` is handed back by
    // completa(). A copy `passo` stopped sets `interrotta` and leaves nothing.
    QString aggiungi(const QString &sorgente, const QString &relativo, qint64 dimensione, qsizetype voce,
                     const LottoCopie::Passo &passo, bool *interrotta)
    {
        if (!ancoraMontata())
            return staccata;
        const qint64 serve = occupati(dimensione, m_unita);
        if (m_liberi && serve > *m_liberi)
            return QStringLiteral("spazio insufficiente sulla chiavetta");
        const EsitoCopiaFile r = m_lotto.aggiungi(sorgente, conBarra(m_percorso) + relativo, passo);
        *interrotta = r.interrotta;
        if (!r.ok)
            return r.motivo;
        if (m_liberi)
            *m_liberi -= serve;
        m_voci.append(voce);
        return {};
    }
    bool pieno() const { return m_lotto.pieno(); }
    // `fatta` for each waiting copy, and for those handed over before. A stick
    // gone in the meantime keeps none of the waiting ones: a copy not yet
    // flushed is not on it.
    void completa(const Fatta &fatta)
    {
        raccogli(fatta);
        if (m_voci.isEmpty())
            return;
        const bool montata = ancoraMontata();
        QList<EsitoCopiaFile> risultati;
        if (montata)
            risultati = m_lotto.completa();
        else
            m_lotto.abbandona();
        for (qsizetype k = 0; k < m_voci.size(); ++k)
            fatta(m_voci.at(k), motivo(risultati, k, montata));
        m_voci.clear();
    }
    // The run was stopped: the copies handed over before are done as usual,
    // the waiting ones, not yet flushed, are dropped and given to `persa`.
    void interrompi(const Fatta &fatta, const std::function<void(qsizetype voce)> &persa)
    {
        raccogli(fatta);
        m_lotto.abbandona();
        for (const qsizetype voce : std::exchange(m_voci, {}))
            persa(voce);
    }
    // The same, with the waiting copies flushed behind the caller: their
    // `fatta` comes with the next call, while the stick takes new copies.
    void completaDietro(const Fatta &fatta)
    {
        raccogli(fatta);
        if (!ancoraMontata()) {
            completa(fatta);
            return;
        }
        m_dietro = std::exchange(m_voci, {});
        m_lotto.completaDietro(
            [this](QList<EsitoCopiaFile> risultati) { m_risultatiDietro = std::move(risultati); });
    }

private:
    static QString motivo(const QList<EsitoCopiaFile> &risultati, qsizetype k, bool montata)
    {
        if (!montata)
            return staccata;
        if (k >= risultati.size())
            return QStringLiteral("copia non riuscita");
        return risultati.at(k).ok ? QString() : risultati.at(k).motivo;
    }
    void raccogli(const Fatta &fatta)
    {
        m_lotto.attendiDietro();
        const QList<EsitoCopiaFile> risultati = std::exchange(m_risultatiDietro, {});
        for (qsizetype k = 0; k < m_dietro.size(); ++k)
            fatta(m_dietro.at(k), motivo(risultati, k, true));
        m_dietro.clear();
    }

    QString m_percorso;
    std::optional<dev_t> m_dispositivo;
    qint64 m_unita = 1;
    std::optional<qint64> m_liberi;
    LottoCopie m_lotto;
    QList<qsizetype> m_voci;
    QList<qsizetype> m_dietro;               // handed over to the batch's thread
    QList<EsitoCopiaFile> m_risultatiDietro; // written by that thread until it is done
};

// The bytes the plan will write, on both sticks.
qint64 byteDaCopiare(const PianoSincronizzazione &piano)
{
    qint64 byte = 0;
    for (const quint32 i : piano.copyAtoB)
        byte += piano.elencoA.dimensione(i);
    for (const quint32 i : piano.copyBtoA)
        byte += piano.elencoB.dimensione(i);
    for (const Conflitto &c : piano.conflicts)
        byte +=
            (c.versoB ? piano.elencoA.dimensione(c.a) : 0) + (c.versoA ? piano.elencoB.dimensione(c.b) : 0);
    return byte;
}

// The items of a plan being carried out: an item counts once all of its
// copies are flushed, or one of them has failed. Each failed copy is named,
// with the stick it was going to and why. Progress is told item by item.
class Voci {
public:
    enum class Tipo : char { versoB, versoA, conflitto };

    Voci(const PianoSincronizzazione &piano, EsitoSincronizzazione &esito, const Riferisci &riferisci)
        : m_piano(piano), m_esito(esito), m_riferisci(riferisci),
          m_totale(piano.copyAtoB.size() + piano.copyBtoA.size() + piano.conflicts.size()),
          m_byteTotali(byteDaCopiare(piano))
    {
        m_stati.reserve(size_t(m_totale));
    }
    // `indice` in copyAtoB's list (elencoA), copyBtoA's (elencoB), or conflicts.
    qsizetype apri(Tipo tipo, int copie, quint32 indice)
    {
        m_stati.push_back({tipo, char(copie), indice});
        return qsizetype(m_stati.size()) - 1;
    }
    // The item named `nome`, `byte` long in all, is on its way.
    void avanza(const QString &nome, qint64 byte)
    {
        ++m_fatti;
        m_byteFatti += byte;
        m_byteMostrati = std::max(m_byteMostrati, m_byteFatti);
        if (m_riferisci)
            m_riferisci({.frazione = double(m_fatti) / double(std::max<qint64>(m_totale, 1)),
                         .dettaglio = dettaglioAvanzamento(m_fatti, m_totale, nome),
                         .byteFatti = m_byteMostrati,
                         .byteTotali = m_byteTotali});
    }
    // `copiati` bytes of the copy under way, a few times a second: a large
    // file moves the speed and the time left too. Never backwards: the second
    // copy of a conflict starts from its own zero.
    void passo(qint64 copiati)
    {
        const double ora = Orologio::secondiMonotoni();
        if (!m_riferisci || ora - m_ultimoRapporto < 0.2 || m_byteFatti + copiati <= m_byteMostrati)
            return;
        m_ultimoRapporto = ora;
        m_byteMostrati = m_byteFatti + copiati;
        m_riferisci({.byteFatti = m_byteMostrati, .byteTotali = m_byteTotali});
    }
    // For each copy: its bytes to the card, and whether to go on.
    LottoCopie::Passo passoFermabile(std::stop_token stop)
    {
        return [this, stop](qint64 copiati) {
            passo(copiati);
            return !stop.stop_requested();
        };
    }
    // A copy of `voce` dropped by the stop: the item is not synced, but not failed either.
    void interrotta(qsizetype voce)
    {
        m_stati[size_t(voce)].interrotta = true;
        chiusa(voce, QString(), QString());
    }
    // The items the stop came before.
    void nonRaggiunte() { m_esito.interrotti += m_totale - qint64(m_stati.size()); }
    // One copy of `voce` done, or failed (`motivo` not empty), on its way to the stick `verso`.
    void chiusa(qsizetype voce, const QString &motivo, const QString &verso)
    {
        Stato &s = m_stati[size_t(voce)];
        if (!motivo.isEmpty()) {
            s.fallita = true;
            const ElencoFile &da = s.tipo == Tipo::versoA ? m_piano.elencoB : m_piano.elencoA;
            const quint32 i = s.tipo == Tipo::conflitto ? m_piano.conflicts.at(s.indice).a : s.indice;
            m_esito.falliti.append(
                nomeLeggibile(QStringLiteral("“%1” verso %2: %3").arg(da.relativo(i), verso, motivo)));
        }
        if (--s.mancanti > 0)
            return;
        if (s.fallita)
            ++m_esito.errors;
        else if (s.interrotta)
            ++m_esito.interrotti;
        else
            ++(s.tipo == Tipo::conflitto ? m_esito.conflictsResolved
               : s.tipo == Tipo::versoB  ? m_esito.copiedAtoB
                                         : m_esito.copiedBtoA);
    }

private:
    struct Stato {
        Tipo tipo;
        char mancanti;
        quint32 indice;
        bool fallita = false;
        bool interrotta = false;
    };
    const PianoSincronizzazione &m_piano;
    EsitoSincronizzazione &m_esito;
    const Riferisci &m_riferisci;
    const qint64 m_totale, m_byteTotali;
    qint64 m_fatti = 0, m_byteFatti = 0, m_byteMostrati = 0;
    double m_ultimoRapporto = 0;
    std::vector<Stato> m_stati;
};
} // namespace

EsitoSincronizzazione CloneUSBService::eseguiPiano(const PianoSincronizzazione &piano, const QString &radiceA,
                                                   const QString &radiceB, const QString &nomeA,
                                                   const QString &nomeB, const Riferisci &riferisci,
                                                   std::stop_token stop)
{
    Radice a(radiceA, piano.dispositivoA);
    Radice b(radiceB, piano.dispositivoB);
    const ElencoFile &elencoA = piano.elencoA;
    const ElencoFile &elencoB = piano.elencoB;
    EsitoSincronizzazione esito;
    esito.errors = piano.nonSincronizzati.size();

    // The copies wait in each receiving stick's batch until it is flushed.
    Voci voci(piano, esito, riferisci);
    using Tipo = Voci::Tipo;
    const Radice::Fatta fattaA = [&](qsizetype v, const QString &m) { voci.chiusa(v, m, nomeA); };
    const Radice::Fatta fattaB = [&](qsizetype v, const QString &m) { voci.chiusa(v, m, nomeB); };
    const LottoCopie::Passo passo = voci.passoFermabile(stop);
    const auto copia = [&](Radice &verso, qsizetype voce, const QString &sorgente, const QString &relativo,
                           qint64 dimensione) {
        bool interrotta = false;
        const QString perche = verso.aggiungi(sorgente, relativo, dimensione, voce, passo, &interrotta);
        if (interrotta)
            voci.interrotta(voce);
        else if (!perche.isEmpty())
            (&verso == &a ? fattaA : fattaB)(voce, perche);
    };
    const auto svuotaSePieno = [&](bool sempre) {
        if (sempre) {
            a.completa(fattaA);
            b.completa(fattaB);
            return;
        }
        if (a.pieno())
            a.completaDietro(fattaA);
        if (b.pieno())
            b.completaDietro(fattaB);
    };

    const QString prefissoA = conBarra(radiceA), prefissoB = conBarra(radiceB);
    // The files on one stick only, to the other.
    const auto soloDaUnaParte = [&](const QList<quint32> &indici, const ElencoFile &da,
                                    const QString &prefisso, Radice &verso, Tipo tipo) {
        for (qsizetype k = 0; k < indici.size() && !stop.stop_requested(); ++k) {
            const QString file = da.relativo(indici.at(k));
            copia(verso, voci.apri(tipo, 1, indici.at(k)), prefisso + file, file,
                  da.dimensione(indici.at(k)));
            voci.avanza(nomeDi(file), da.dimensione(indici.at(k)));
            svuotaSePieno(false);
        }
    };
    soloDaUnaParte(piano.copyAtoB, elencoA, prefissoA, b, Tipo::versoB);
    soloDaUnaParte(piano.copyBtoA, elencoB, prefissoB, a, Tipo::versoA);

    const QString stamp = Orologio::timestamp(), suffissoA = QStringLiteral("_da_%1_%2").arg(nomeA, stamp),
                  suffissoB = QStringLiteral("_da_%1_%2").arg(nomeB, stamp);
    for (qsizetype k = 0; k < piano.conflicts.size() && !stop.stop_requested(); ++k) {
        // Each received copy goes next to the receiving stick's own version,
        // spelled as that stick spells its folders; a stick that received
        // the other's version in an earlier sync needs none.
        const Conflitto &c = piano.conflicts.at(k);
        const QString fileA = elencoA.relativo(c.a), fileB = elencoB.relativo(c.b);
        const qsizetype voce = voci.apri(Tipo::conflitto, c.versoA + c.versoB, quint32(k));
        if (c.versoB)
            copia(b, voce, prefissoA + fileA, nomeConSuffisso(fileB, suffissoA), elencoA.dimensione(c.a));
        if (c.versoA)
            copia(a, voce, prefissoB + fileB, nomeConSuffisso(fileA, suffissoB), elencoB.dimensione(c.b));
        voci.avanza(elencoA.chiave(c.a),
                    (c.versoB ? elencoA.dimensione(c.a) : 0) + (c.versoA ? elencoB.dimensione(c.b) : 0));
        svuotaSePieno(false);
    }
    if (stop.stop_requested()) {
        for (Radice *r : {&a, &b})
            r->interrompi(r == &a ? fattaA : fattaB, [&](qsizetype voce) { voci.interrotta(voce); });
        voci.nonRaggiunte();
    } else {
        svuotaSePieno(true);
    }
    return esito;
}
