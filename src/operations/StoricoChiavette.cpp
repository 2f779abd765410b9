#include "operations/StoricoChiavette.h"

#include "comune/Dimensioni.h"
#include "operations/Orologio.h"
#include "operations/Registro.h"

#include <cmath>
#include <fcntl.h>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QSaveFile>
#include <QSet>
#include <QtConcurrent/QtConcurrentRun>
#include <sys/stat.h>
#include <unistd.h>

namespace {
using Tipo = EventoChiavetta::Tipo;

const QByteArray intestazione = QByteArrayLiteral("tessera-storico-chiavette\t1");
constexpr qsizetype eventiPerChiavetta = 30;
constexpr qsizetype chiavetteMassime = 200;
// A file grown past this was not written by us: what lies beyond is not read.
constexpr qint64 letturaMassima = 4 << 20;

// One writer at a time in this process, whatever thread records.
QMutex mutexFile;

const char *const nomiTipo[] = {"testVelocita", "capacita",     "verifica",      "riparazione",
                                "copia",        "importazione", "formattazione", "cancellazione"};

struct Voce {
    QString chiave;
    EventoChiavetta evento;
};

QByteArray controllo(const QByteArray &riga)
{
    return QCryptographicHash::hash(riga, QCryptographicHash::Sha256).toHex().left(16);
}

// A stick is filed under a digest of its identity: a label may be a
// patient's name, and the file must not hold one.
QString impronta(const IdentitaChiavetta &chiavetta)
{
    const QString chiave = chiavetta.chiave();
    if (chiave.isEmpty())
        return chiave;
    return QString::fromLatin1(QCryptographicHash::hash(chiave.toUtf8(), QCryptographicHash::Sha256).toHex());
}

QByteArray rigaDi(const Voce &v)
{
    const EventoChiavetta &e = v.evento;
    const QList<QByteArray> campi{
        v.chiave.toLatin1(),
        e.quando.toUTC().toString(Qt::ISODateWithMs).toLatin1(),
        nomiTipo[int(e.tipo)],
        e.riuscito ? "1" : "0",
        QByteArray::number(e.scrittura, 'f', 2),
        QByteArray::number(e.lettura, 'f', 2),
        QByteArray::number(e.verificati),
        QByteArray::number(e.persi),
        QByteArray::number(e.utilizzabili),
        QByteArray::number(e.illeggibili),
        e.nota.toUtf8().toPercentEncoding(),
    };
    const QByteArray riga = campi.join('\t');
    return riga + '\t' + controllo(riga);
}

template <typename N> bool numero(const QByteArray &testo, N *valore)
{
    bool ok = false;
    if constexpr (std::is_floating_point_v<N>)
        *valore = N(testo.toDouble(&ok));
    else
        *valore = N(testo.toLongLong(&ok));
    return ok && std::isfinite(double(*valore)) && *valore >= 0;
}

// A line that fails its check or any field is dropped whole.
std::optional<Voce> voceDa(const QByteArray &riga)
{
    const qsizetype tab = riga.lastIndexOf('\t');
    if (tab < 0 || controllo(riga.left(tab)) != riga.mid(tab + 1))
        return std::nullopt;
    const QList<QByteArray> c = riga.left(tab).split('\t');
    if (c.size() != 11)
        return std::nullopt;
    Voce v;
    v.chiave = QString::fromLatin1(c[0]);
    EventoChiavetta &e = v.evento;
    e.quando = QDateTime::fromString(QString::fromLatin1(c[1]), Qt::ISODateWithMs);
    const auto tipo = std::find(std::begin(nomiTipo), std::end(nomiTipo), c[2]);
    if (c[0].size() != 64 || !e.quando.isValid() || tipo == std::end(nomiTipo) ||
        (c[3] != "0" && c[3] != "1"))
        return std::nullopt;
    e.tipo = Tipo(tipo - std::begin(nomiTipo));
    e.riuscito = c[3] == "1";
    if (!numero(c[4], &e.scrittura) || !numero(c[5], &e.lettura) || !numero(c[6], &e.verificati) ||
        !numero(c[7], &e.persi) || !numero(c[8], &e.utilizzabili) || !numero(c[9], &e.illeggibili))
        return std::nullopt;
    e.nota = QString::fromUtf8(QByteArray::fromPercentEncoding(c[10]));
    return v;
}

// Read on the panel's thread: a FIFO or a link put in the file's place must
// neither hang it nor lead elsewhere, and a file not ours is not believed.
QList<Voce> leggiFile(const QString &file)
{
    const int fd =
        ::open(QFile::encodeName(file).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {};
    struct stat st {};
    QFile f;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() ||
        !f.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return {};
    }
    const QList<QByteArray> righe = f.read(letturaMassima).split('\n');
    if (righe.isEmpty() || righe.first() != intestazione)
        return {};
    QList<Voce> voci;
    for (qsizetype i = 1; i < righe.size(); ++i) {
        if (std::optional<Voce> v = voceDa(righe.at(i)))
            voci.append(std::move(*v));
    }
    return voci;
}

// Keeps each stick's latest events, and its first speed test (the measure
// its later ones are judged by); drops the sticks not seen for longest.
QList<Voce> sfoltisci(const QList<Voce> &voci)
{
    QHash<QString, qsizetype> quanti;
    QHash<QString, qsizetype> ultimo; // position of each stick's newest event
    QHash<QString, qsizetype> primaMisura;
    for (qsizetype i = 0; i < voci.size(); ++i) {
        const QString &k = voci.at(i).chiave;
        ++quanti[k];
        ultimo[k] = i;
        if (voci.at(i).evento.tipo == Tipo::testVelocita && !primaMisura.contains(k))
            primaMisura.insert(k, i);
    }
    QList<qsizetype> recenti = ultimo.values();
    std::sort(recenti.begin(), recenti.end(), std::greater<>());
    QSet<QString> tenute;
    for (qsizetype i = 0; i < std::min(recenti.size(), chiavetteMassime); ++i)
        tenute.insert(voci.at(recenti.at(i)).chiave);

    QList<Voce> fuori;
    QHash<QString, qsizetype> visti;
    for (qsizetype i = 0; i < voci.size(); ++i) {
        const QString &k = voci.at(i).chiave;
        const qsizetype n = visti[k]++;
        if (tenute.contains(k) && (n >= quanti[k] - eventiPerChiavetta || primaMisura.value(k, -1) == i))
            fuori.append(voci.at(i));
    }
    return fuori;
}

// A temporary file renamed over the old one: a crash or a full disk leaves
// either the old history or the new, never half of one.
bool scriviFile(const QString &file, const QList<Voce> &voci)
{
    QByteArray dati = intestazione + '\n';
    for (const Voce &v : voci)
        dati += rigaDi(v) + '\n';
    // QSaveFile writes through a link to its target, and into a FIFO nothing
    // is saved: whatever was put in the file's place goes first.
    const QFileInfo posto(file);
    if (posto.isSymLink() || (posto.exists() && !posto.isFile()))
        QFile::remove(file);
    QSaveFile f(file);
    // Owner-only before a byte is written: a new file would get the umask's rights.
    return f.open(QIODevice::WriteOnly) &&
           f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
           f.write(dati) == dati.size() && f.commit();
}

// A copy or import that read everything tells something only after one that
// did not: it takes the warning away. The others would only push the stick's
// checks out of its bounded history, a practice copying every day.
bool superfluo(const QList<Voce> &voci, const QString &chiave, const EventoChiavetta &evento)
{
    if ((evento.tipo != Tipo::copia && evento.tipo != Tipo::importazione) || evento.illeggibili > 0)
        return false;
    for (auto it = voci.crbegin(); it != voci.crend(); ++it) {
        if (it->chiave == chiave && (it->evento.tipo == Tipo::copia || it->evento.tipo == Tipo::importazione))
            return it->evento.illeggibili == 0;
    }
    return true;
}

const QLocale italiano(QLocale::Italian, QLocale::Italy);

// "3 dic.", with the year when it is not this one.
QString dataBreve(const QDateTime &quando)
{
    const QDate giorno = quando.toLocalTime().date();
    QString testo = italiano.toString(giorno, QStringLiteral("d MMM"));
    if (!testo.endsWith(QLatin1Char('.')))
        testo += QLatin1Char('.');
    if (giorno.year() != Orologio::adesso().date().year())
        testo += QLatin1Char(' ') + QString::number(giorno.year());
    return testo;
}

const EventoChiavetta *ultimo(const QList<EventoChiavetta> &eventi, std::initializer_list<Tipo> tipi)
{
    for (auto it = eventi.crbegin(); it != eventi.crend(); ++it)
        if (std::find(tipi.begin(), tipi.end(), it->tipo) != tipi.end())
            return &*it;
    return nullptr;
}

QString velocita(double mbs)
{
    return QLocale().toString(mbs, 'f', 1) + QStringLiteral(" MB/s");
}
} // namespace

StoricoChiavette &StoricoChiavette::shared()
{
    static StoricoChiavette *istanza = [] {
        auto *s = new StoricoChiavette;
        // Made by whichever thread records first; it belongs to the main one.
        if (QCoreApplication *app = QCoreApplication::instance())
            s->moveToThread(app->thread());
        return s;
    }();
    return *istanza;
}

StoricoChiavette::StoricoChiavette(QString file, QObject *parent) : QObject(parent), m_file(std::move(file))
{
}

QString StoricoChiavette::file() const
{
    if (!m_file.isEmpty())
        return m_file;
    return QDir(cartellaDatiProgramma()).filePath(QStringLiteral("storico_chiavette.tsv"));
}

bool StoricoChiavette::registra(const IdentitaChiavetta &chiavetta, EventoChiavetta evento)
{
    const QString chiave = impronta(chiavetta);
    if (chiave.isEmpty())
        return false;
    if (!evento.quando.isValid())
        evento.quando = Orologio::adesso();
    const QString percorso = file();
    bool scritto;
    {
        QMutexLocker lock(&mutexFile);
        QList<Voce> voci = leggiFile(percorso);
        if (superfluo(voci, chiave, evento))
            return true;
        voci.append({chiave, evento});
        scritto = scriviFile(percorso, sfoltisci(voci));
    }
    if (scritto)
        Q_EMIT cambiato();
    return scritto;
}

bool StoricoChiavette::registra(const USBDrive &drive, const EventoChiavetta &evento)
{
    return registra(leggiIdentitaChiavetta(drive), evento);
}

QList<EventoChiavetta> StoricoChiavette::eventi(const IdentitaChiavetta &chiavetta) const
{
    const QString chiave = impronta(chiavetta);
    if (chiave.isEmpty())
        return {};
    QList<Voce> voci;
    {
        QMutexLocker lock(&mutexFile);
        voci = leggiFile(file());
    }
    QList<EventoChiavetta> suoi;
    for (const Voce &v : std::as_const(voci))
        if (v.chiave == chiave)
            suoi.append(v.evento);
    return suoi;
}

QFuture<IdentitaChiavetta> identitaInSottofondo(const USBDrive &drive)
{
    return QtConcurrent::run([drive] { return leggiIdentitaChiavetta(drive); });
}

QFuture<bool> registraInSottofondo(const IdentitaChiavetta &chiavetta, const EventoChiavetta &evento)
{
    return QtConcurrent::run(
        [chiavetta, evento] { return StoricoChiavette::shared().registra(chiavetta, evento); });
}

std::optional<QString> avvertenzaStorico(const QList<EventoChiavetta> &eventi)
{
    const QString sostituisci = QStringLiteral(": copiane il contenuto e sostituiscila");
    if (const EventoChiavetta *c = ultimo(eventi, {Tipo::capacita}); c && !c->riuscito)
        return QStringLiteral("ha perso dati nella verifica della capacità del %1")
                   .arg(dataBreve(c->quando)) +
               sostituisci;
    if (const EventoChiavetta *u = ultimo(eventi, {Tipo::copia, Tipo::importazione}); u && u->illeggibili > 0)
        return QStringLiteral("ha dato errori di lettura il %1").arg(dataBreve(u->quando)) + sostituisci;
    const EventoChiavetta *primo = nullptr;
    for (const EventoChiavetta &e : eventi) {
        if (e.tipo == Tipo::testVelocita && e.lettura > 0) {
            primo = &e;
            break;
        }
    }
    const EventoChiavetta *recente = ultimo(eventi, {Tipo::testVelocita});
    if (primo && recente && recente->lettura > 0 && recente->lettura < primo->lettura / 2)
        return QStringLiteral("il %1 leggeva a meno di metà della velocità iniziale")
                   .arg(dataBreve(recente->quando)) +
               sostituisci;
    return std::nullopt;
}

QList<std::pair<RigaRapporto::Tipo, QString>> righeStorico(const QList<EventoChiavetta> &eventi)
{
    using R = RigaRapporto::Tipo;
    const QLocale locale;
    QList<std::pair<R, QString>> righe;
    for (auto it = eventi.crbegin(); it != eventi.crend(); ++it) {
        const EventoChiavetta &e = *it;
        R tipo = e.riuscito ? R::ok : R::errore;
        QString testo;
        switch (e.tipo) {
        case Tipo::testVelocita:
            testo = QStringLiteral("Velocità: scrittura %1 · lettura %2")
                        .arg(velocita(e.scrittura), velocita(e.lettura));
            tipo = R::info;
            break;
        case Tipo::capacita:
            testo = e.riuscito
                        ? QStringLiteral("Capacità reale confermata: %1 scritti e riletti senza errori")
                              .arg(formattaByte(e.verificati, locale))
                        : QStringLiteral("Capacità falsa o difettosa: %1 persi su %2 scritti, "
                                         "utilizzabili circa %3")
                              .arg(formattaByte(e.persi, locale), formattaByte(e.verificati, locale),
                                   formattaByte(e.utilizzabili, locale));
            break;
        case Tipo::verifica:
            testo = e.riuscito ? QStringLiteral("Verifica del file system: nessun danno")
                               : QStringLiteral("Verifica del file system: trovati problemi");
            if (!e.riuscito)
                tipo = R::avviso;
            break;
        case Tipo::riparazione:
            testo = e.riuscito ? QStringLiteral("Riparazione riuscita")
                               : QStringLiteral("Riparazione non riuscita");
            break;
        case Tipo::copia:
        case Tipo::importazione: {
            const QString cosa =
                e.tipo == Tipo::copia ? QStringLiteral("Copia") : QStringLiteral("Importazione");
            testo = e.illeggibili == 0   ? cosa + QStringLiteral(": nessun errore di lettura")
                    : e.illeggibili == 1 ? cosa + QStringLiteral(": 1 file illeggibile")
                                         : cosa + QStringLiteral(": %1 file illeggibili").arg(e.illeggibili);
            tipo = e.illeggibili == 0 && e.riuscito ? R::ok : R::errore;
            break;
        }
        case Tipo::formattazione:
            testo = e.riuscito ? QStringLiteral("Formattata") : QStringLiteral("Formattazione non riuscita");
            break;
        case Tipo::cancellazione:
            testo = e.riuscito ? QStringLiteral("Cancellata in modo sicuro e formattata")
                               : QStringLiteral("Cancellazione sicura non riuscita");
            break;
        }
        if (!e.nota.isEmpty())
            testo += QStringLiteral(" (%1)").arg(e.nota);
        const QString quando = dataBreve(e.quando) + QLatin1Char(' ') +
                               locale.toString(e.quando.toLocalTime().time(), QLocale::ShortFormat);
        righe.append({tipo, quando + QStringLiteral(" · ") + testo});
    }
    return righe;
}
