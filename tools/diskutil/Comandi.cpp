#include "Comandi.h"

#include "BackendDiretto.h"
#include "BackendUDisks2.h"
#include "InfoVolume.h"
#include "Salvaguardia.h"
#include "VerificaVolume.h"

#include <QFileInfo>
#include <unistd.h>

std::unique_ptr<Backend> scegliBackend(const VistaSistema &vista, SceltaBackend scelta, QString *perche)
{
    if (scelta == SceltaBackend::diretto)
        return std::make_unique<BackendDiretto>(vista);
    auto udisks = std::make_unique<BackendUDisks2>();
    if (scelta == SceltaBackend::udisks2 || udisks->disponibile())
        return udisks;
    if (::geteuid() == 0)
        return std::make_unique<BackendDiretto>(vista);
    *perche = QStringLiteral(
        "Il servizio UDisks2 non è disponibile e senza di esso servono i permessi di amministratore.");
    return nullptr;
}

namespace {

constexpr const char *uso = "Uso:\n"
                            "  tessera-diskutil info -plist PERCORSO\n"
                            "  tessera-diskutil list -plist DISCO\n"
                            "  tessera-diskutil eraseDisk FAT32 NOME MBR DISCO\n"
                            "  tessera-diskutil secureErase 0 DISCO\n"
                            "  tessera-diskutil verifyVolume PERCORSO\n"
                            "  tessera-diskutil repairVolume PERCORSO\n";

int mostraUso(QTextStream &out)
{
    out << uso;
    return usoErrato;
}

// A FAT label: 1 to 11 characters that FAT allows, kept in upper case.
bool etichettaValida(const QString &nome)
{
    static const QString vietati = QStringLiteral("\"*+,./:;<=>?[\\]|");
    if (nome.isEmpty() || nome.size() > 11)
        return false;
    for (const QChar c : nome) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7e || vietati.contains(c))
            return false;
    }
    return true;
}

int info(const VistaSistema &vista, const QStringList &a, QTextStream &out)
{
    if (a.size() != 3 || a[1] != QLatin1String("-plist"))
        return mostraUso(out);
    // Looking further up would describe whatever holds the folder, usually the
    // system disk, as if it were the stick that has gone.
    if (!QFileInfo::exists(a[2])) {
        out << QStringLiteral("\"%1\" non esiste più: la chiavetta potrebbe essere stata scollegata.\n")
                   .arg(a[2]);
        return assente;
    }
    const std::optional<InfoVolume> i = leggiInfoVolume(vista, a[2]);
    if (!i) {
        out << QStringLiteral("Nessun disco dietro \"%1\".\n").arg(a[2]);
        return nonTrovato;
    }
    out << comePlist(*i);
    return riuscito;
}

int discoNonTrovato(const QString &nome, QTextStream &out)
{
    out << QStringLiteral("Disco \"%1\" non trovato: serve il nome di un disco intero, per esempio sdb.\n")
               .arg(nome);
    return nonTrovato;
}

// The volumes of a whole disk and where each is mounted: what a wipe of that
// disk would take with it.
int list(const VistaSistema &vista, const QStringList &a, QTextStream &out)
{
    if (a.size() != 3 || a[1] != QLatin1String("-plist"))
        return mostraUso(out);
    const std::optional<Disco> disco = vista.disco(a[2]);
    if (!disco)
        return discoNonTrovato(a[2], out);
    out << comePlist(elencaVolumi(vista, *disco));
    return riuscito;
}

// The common road of the destructive commands: find the disk, check it is safe,
// pick a backend, unmount, then `lavoro`.
int distruttivo(
    const VistaSistema &vista, SceltaBackend scelta, const QString &nomeDisco, QTextStream &out,
    const std::function<Backend::Esito(Backend &, const Disco &, const Backend::Avanzamento &)> &lavoro)
{
    const std::optional<Disco> disco = vista.disco(nomeDisco);
    if (!disco)
        return discoNonTrovato(nomeDisco, out);
    if (const std::optional<QString> motivo = motivoRifiuto(vista, *disco, percorsiProtetti())) {
        out << *motivo << '\n';
        return rifiutato;
    }
    QString perche;
    const std::unique_ptr<Backend> backend = scegliBackend(vista, scelta, &perche);
    if (!backend) {
        out << perche << '\n';
        return nessunMezzo;
    }
    // "{n}%" on a line of its own, flushed at once: the caller follows it live.
    const Backend::Avanzamento avanzamento = [&out](int p) { out << p << "%\n" << Qt::flush; };
    Backend::Esito e = backend->smonta(*disco);
    if (e.ok)
        e = lavoro(*backend, *disco, avanzamento);
    if (!e.ok) {
        out << e.messaggio << '\n';
        return e.rifiuto ? rifiutato : fallito;
    }
    return riuscito;
}

int eraseDisk(const VistaSistema &vista, SceltaBackend scelta, const QStringList &a, QTextStream &out)
{
    if (a.size() != 5 || a[1].compare(QLatin1String("FAT32"), Qt::CaseInsensitive) != 0 ||
        a[3].compare(QLatin1String("MBR"), Qt::CaseInsensitive) != 0)
        return mostraUso(out);
    const QString etichetta = a[2].toUpper();
    if (!etichettaValida(etichetta)) {
        out << QStringLiteral("Nome di volume non valido: \"%1\" (da 1 a 11 caratteri, lettere e numeri).\n")
                   .arg(a[2]);
        return usoErrato;
    }
    out << QStringLiteral("Formattazione di /dev/%1 come %2 (FAT32, MBR)…\n")
               .arg(a[4].section('/', -1), etichetta)
        << Qt::flush;
    const int codice = distruttivo(vista, scelta, a[4], out,
                                   [&](Backend &b, const Disco &d, const Backend::Avanzamento &av) {
                                       return b.formattaFat32(d, etichetta, av);
                                   });
    if (codice == riuscito)
        out << QStringLiteral("Formattazione completata.\n");
    return codice;
}

int secureErase(const VistaSistema &vista, SceltaBackend scelta, const QStringList &a, QTextStream &out)
{
    if (a.size() != 3)
        return mostraUso(out);
    if (a[1] != QLatin1String("0")) {
        out << QStringLiteral("Livello di cancellazione non supportato: %1 (solo 0, un passaggio di zeri).\n")
                   .arg(a[1]);
        return usoErrato;
    }
    out << QStringLiteral("Sovrascrittura di /dev/%1 con zeri…\n").arg(a[2].section('/', -1)) << Qt::flush;
    const int codice =
        distruttivo(vista, scelta, a[2], out, [](Backend &b, const Disco &d, const Backend::Avanzamento &av) {
            return b.azzera(d, av);
        });
    if (codice == riuscito)
        out << QStringLiteral("Sovrascrittura completata.\n");
    return codice;
}

// A check runs the file system's own checker on the device, and a repair
// writes to it: both only on a disk the safety rule allows. A volume named by
// its device must also not be mounted, since nothing unmounts it first and the
// checker would misjudge (or, repairing, corrupt) a file system in use. Image
// files and folders are left to the checker, which refuses what is no volume.
std::optional<QString> rifiutoControllo(const VistaSistema &vista, const QString &percorso)
{
    std::optional<QString> numero = numeroDelNodo(percorso);
    const bool perNodo = numero.has_value();
    if (!perNodo) {
        const std::optional<Montaggio> m = vista.montaggioDi(percorso);
        if (!m || m->puntoMontaggio != QFileInfo(percorso).canonicalFilePath())
            return std::nullopt;
        numero = vista.dispositivoDi(percorso);
        if (!numero)
            return std::nullopt;
    }
    const auto nomi = vista.nomeEDisco(*numero);
    const std::optional<Disco> disco = nomi ? vista.disco(nomi->second) : std::nullopt;
    if (!disco)
        return QStringLiteral("Rifiutato: nessun disco noto dietro \"%1\".").arg(percorso);
    if (std::optional<QString> motivo = motivoRifiuto(vista, *disco, percorsiProtetti()))
        return motivo;
    if (perNodo) {
        for (const Montaggio &m : vista.montaggi()) {
            if (m.numero == *numero || numeroDelNodo(m.sorgente) == numero)
                return QStringLiteral("Rifiutato: %1 è montato su %2; indica il punto di montaggio, così "
                                      "viene smontato prima del controllo.")
                    .arg(percorso, m.puntoMontaggio);
        }
    }
    return std::nullopt;
}

} // namespace

int eseguiComando(const QStringList &argomenti, QTextStream &out)
{
    return eseguiComando(argomenti, out, VistaSistema(), SceltaBackend::automatica);
}

int eseguiComando(const QStringList &argomenti, QTextStream &out, const VistaSistema &vista,
                  SceltaBackend backend)
{
    const QString comando = argomenti.value(0);
    if (comando == QLatin1String("info"))
        return info(vista, argomenti, out);
    if (comando == QLatin1String("list"))
        return list(vista, argomenti, out);
    if (comando == QLatin1String("eraseDisk"))
        return eraseDisk(vista, backend, argomenti, out);
    if (comando == QLatin1String("secureErase"))
        return secureErase(vista, backend, argomenti, out);
    if ((comando == QLatin1String("verifyVolume") || comando == QLatin1String("repairVolume")) &&
        argomenti.size() == 2) {
        if (const std::optional<QString> motivo = rifiutoControllo(vista, argomenti.at(1))) {
            out << *motivo << '\n';
            return rifiutato;
        }
        // Each line is flushed as it comes, so percentages reach the app live.
        const VerificaVolume::Output riga = [&out](const QString &testo) {
            out << testo << '\n';
            out.flush();
        };
        return comando == QLatin1String("verifyVolume") ? VerificaVolume::verifyVolume(argomenti.at(1), riga)
                                                        : VerificaVolume::repairVolume(argomenti.at(1), riga);
    }
    return mostraUso(out);
}
