#include "transfer/Collocazione.h"

#include "comune/NomiFile.h"

#include <QRegularExpression>

namespace {
constexpr char formatoGiorno[] = "yyyy-MM-dd";
} // namespace

QString nomeCartellaChiavetta(const QString &chiavetta)
{
    static const QString vietati = QStringLiteral("/\\:*?\"<>|");
    QString nome;
    for (const QChar c : chiavetta.left(64)) {
        const bool vietato = vietati.contains(c) || c.category() == QChar::Other_Control ||
                             c.category() == QChar::Other_Format || c.isSurrogate();
        nome += vietato ? QChar(u'_') : c;
    }
    // Windows shares drop a final dot or space; a leading dot hides the folder.
    while (!nome.isEmpty() && (nome.back() == QLatin1Char('.') || nome.back().isSpace()))
        nome.chop(1);
    while (!nome.isEmpty() && (nome.front() == QLatin1Char('.') || nome.front().isSpace()))
        nome.remove(0, 1);
    return nome.isEmpty() ? QStringLiteral("chiavetta") : nome;
}

Collocazione::Collocazione(const QString &archivio) : m_archivio(archivio) {}

Collocazione::Collocazione(OrdineArchivio ordine, const QString &archivio, const QString &sorgente,
                           const QString &chiavetta, const QDate &giorno)
    : m_archivio(archivio), m_sorgente(conBarra(sorgente)), m_chiavetta(nomeCartellaChiavetta(chiavetta))
{
    if (ordine == OrdineArchivio::perChiavettaEGiorno)
        m_cartellaOggi = giorno.toString(QLatin1String(formatoGiorno)) + QLatin1Char(' ') + m_chiavetta;
}

QString Collocazione::relativoSullaChiavetta(const QString &file) const
{
    if (m_sorgente.isEmpty() || !file.startsWith(m_sorgente))
        return {};
    return file.mid(m_sorgente.size());
}

QString Collocazione::destinazione(const QString &file) const
{
    if (m_cartellaOggi.isEmpty())
        return dentro(m_archivio, nomeDi(file));
    // A file from another volume of the stick (the check before a wipe may
    // send those) has no folders here: it goes directly in the day's folder.
    const QString relativo = relativoSullaChiavetta(file);
    return dentro(dentro(m_archivio, m_cartellaOggi), relativo.isEmpty() ? nomeDi(file) : relativo);
}

bool Collocazione::cartellaDellaChiavetta(const QString &nome) const
{
    if (m_sorgente.isEmpty())
        return false;
    static const QRegularExpression giorno(QStringLiteral("^\\d{4}-\\d{2}-\\d{2} "));
    return nome.size() == 11 + m_chiavetta.size() && giorno.match(nome).hasMatch() &&
           nome.endsWith(m_chiavetta);
}
