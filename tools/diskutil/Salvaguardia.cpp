#include "Salvaguardia.h"

#include "settings/ChiaviImpostazioni.h"

#include <pwd.h>
#include <QDir>
#include <QSettings>
#include <unistd.h>

QString cartellaArchivio()
{
    // The same store and key the application reads; XDG_CONFIG_HOME applies.
    const QSettings impostazioni(ChiaviImpostazioni::organizzazione, ChiaviImpostazioni::programma);
    return ChiaviImpostazioni::cartellaArchivioDa(impostazioni.value(ChiaviImpostazioni::cartellaArchivio));
}

QStringList percorsiProtetti()
{
    QStringList p{QStringLiteral("/"),     QStringLiteral("/boot"), QStringLiteral("/boot/efi"),
                  QStringLiteral("/efi"),  QStringLiteral("/usr"),  QStringLiteral("/var"),
                  QStringLiteral("/etc"),  QStringLiteral("/opt"),  QStringLiteral("/srv"),
                  QStringLiteral("/home"), QStringLiteral("/root"), QStringLiteral("/tmp")};
    p.append(QDir::homePath());
    p.append(cartellaArchivio());
    // HOME and XDG_CONFIG_HOME come from whoever started us: they may add
    // folders to protect, never take the account's own home or archive away.
    if (const passwd *utente = ::getpwuid(::getuid()); utente && utente->pw_dir) {
        const QString casa = QString::fromLocal8Bit(utente->pw_dir);
        const QSettings suoi(casa +
                                 QStringLiteral("/.config/%1/%2.conf")
                                     .arg(ChiaviImpostazioni::organizzazione, ChiaviImpostazioni::programma),
                             QSettings::IniFormat);
        p.append(casa);
        if (suoi.contains(ChiaviImpostazioni::cartellaArchivio))
            p.append(
                ChiaviImpostazioni::cartellaArchivioDa(suoi.value(ChiaviImpostazioni::cartellaArchivio)));
    }
    p.removeDuplicates();
    return p;
}

std::optional<QString> motivoRifiuto(const VistaSistema &vista, const Disco &disco,
                                     const QStringList &protetti)
{
    const QString nodo = QStringLiteral("/dev/") + disco.nome;
    // A USB hard disk or SSD says removable=0: it is external, but a disk that
    // holds someone's data, not a stick to wipe.
    if (!disco.rimovibile)
        return QStringLiteral("Rifiutato: %1 non è un disco rimovibile: si formattano e cancellano solo "
                              "chiavette e schede di memoria.")
            .arg(nodo);
    for (const QString &percorso : protetti) {
        const std::optional<Montaggio> m = vista.montaggioDi(percorso);
        if (!m)
            continue;
        bool nostro = disco.numeri.contains(m->numero);
        if (!nostro) {
            const std::optional<QString> n = numeroDelNodo(m->sorgente);
            nostro = n && disco.numeri.contains(*n);
        }
        if (nostro)
            return QStringLiteral("Rifiutato: %1 contiene \"%2\" (montato su %3).")
                .arg(nodo, percorso, m->puntoMontaggio);
    }
    if (vista.swapAttivi().intersects(disco.numeri))
        return QStringLiteral("Rifiutato: %1 ospita lo spazio di swap del sistema in uso.").arg(nodo);
    return std::nullopt;
}
