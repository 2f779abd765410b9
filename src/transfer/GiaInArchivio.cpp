#include "transfer/GiaInArchivio.h"

#include "comune/NomiFile.h"
#include "operations/Orologio.h"
#include "platform/OperazioniFile.h"
#include "transfer/Digest.h"

#include <QDir>
#include <QRegularExpression>

namespace {
// "IMG_2024-03-07_09-05-31_2.JPG" -> "IMG.JPG"; the name itself for a name no copy took.
QString nomeSenzaTimestamp(const QString &nome)
{
    static const QRegularExpression schema(
        QStringLiteral("^(.+)_%1(?:_\\d+)?(\\.[^.]+)?$").arg(QLatin1String(Orologio::schemaTimestamp)));
    const QRegularExpressionMatch m = schema.match(nome);
    return m.hasMatch() ? m.captured(1) + m.captured(2) : nome;
}
} // namespace

GiaInArchivio::GiaInArchivio(const Collocazione &collocazione)
    : m_collocazione(collocazione), m_radice(QDir::cleanPath(collocazione.archivio()))
{
    for (const QStringList &nomi : nomiIn(m_radice)) {
        for (const QString &nome : nomi) {
            if (m_collocazione.cartellaDellaChiavetta(nome))
                m_cartelleChiavetta.append(dentro(m_radice, nome));
        }
    }
}

const GiaInArchivio::Nomi &GiaInArchivio::nomiIn(const QString &cartella) const
{
    const auto letta = m_cartelle.constFind(cartella);
    if (letta != m_cartelle.cend())
        return *letta;
    Nomi nomi;
    for (const QByteArray &byte : ::nomiIn(cartella).value_or(QList<QByteArray>())) {
        if (!byte.startsWith('.'))
            aggiungiNome(nomi, decodificaNome(byte));
    }
    return *m_cartelle.insert(cartella, std::move(nomi));
}

void GiaInArchivio::aggiungiNome(Nomi &nomi, const QString &nome)
{
    QStringList &simili = nomi[nomeSenzaTimestamp(nome)];
    if (!simili.contains(nome))
        simili.append(nome);
}

bool GiaInArchivio::contiene(const Nomi &nomi, const QString &nome)
{
    return nomi.value(nomeSenzaTimestamp(nome)).contains(nome);
}

void GiaInArchivio::aggiungi(const QString &archiviato)
{
    const QString percorso = QDir::cleanPath(archiviato);
    if (!percorso.startsWith(conBarra(m_radice)))
        return;
    // Each folder on the way that was read already learns what is new in it:
    // the day's folder and the stick's folders this run made, and the copy.
    QString cartella = m_radice;
    for (const QString &parte : percorso.mid(m_radice.size() + 1).split(QLatin1Char('/'))) {
        const auto letta = m_cartelle.find(cartella);
        if (letta != m_cartelle.end())
            aggiungiNome(*letta, parte);
        if (cartella == m_radice && m_collocazione.cartellaDellaChiavetta(parte) &&
            !m_cartelleChiavetta.contains(dentro(m_radice, parte)))
            m_cartelleChiavetta.append(dentro(m_radice, parte));
        cartella = dentro(cartella, parte);
    }
}

// The files under `cartella` whose name is `relativo`'s, or one of its
// timestamped names, in `relativo`'s folder. Only folders that exist are read.
void GiaInArchivio::candidati(const QString &cartella, const QString &relativo, QStringList &trovati) const
{
    const QStringList parti = relativo.split(QLatin1Char('/'));
    QString qui = cartella;
    for (qsizetype i = 0; i + 1 < parti.size(); ++i) {
        if (!contiene(nomiIn(qui), parti.at(i)))
            return;
        qui = dentro(qui, parti.at(i));
    }
    for (const QString &n : nomiIn(qui).value(parti.last()))
        trovati.append(dentro(qui, n));
}

std::optional<QString> GiaInArchivio::trova(const QString &file, qint64 dimensione,
                                            const std::stop_token &stop) const
{
    QStringList trovati;
    candidati(m_radice, nomeDi(file), trovati);
    const QString relativo = m_collocazione.relativoSullaChiavetta(file);
    if (!relativo.isEmpty()) {
        for (const QString &c : m_cartelleChiavetta)
            candidati(c, relativo, trovati);
    }

    std::optional<std::optional<QString>> suChiavetta; // read once, only when a size matches
    for (const QString &percorso : std::as_const(trovati)) {
        if (dimensioneFileRegolare(percorso) != dimensione)
            continue;
        // A comparison, not the proof of a copy: cached pages will do.
        // A digest the stop cut short says nothing either way.
        if (!suChiavetta)
            suChiavetta = hashSHA256InCache(file, stop);
        if (!*suChiavetta)
            return stop.stop_requested() ? std::nullopt : std::optional(QString());
        if (hashSHA256InCache(percorso, stop) == *suChiavetta)
            return percorso;
        if (stop.stop_requested())
            return std::nullopt;
    }
    return QString();
}
