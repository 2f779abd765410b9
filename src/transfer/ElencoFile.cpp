#include "transfer/ElencoFile.h"

#include "comune/NomiFile.h"
#include "transfer/VisitaCartelle.h"

#include <algorithm>

QString ElencoFile::relativo(qsizetype i) const
{
    return decodificaNome(byteNome(i).toByteArray());
}

QString ElencoFile::chiave(qsizetype i) const
{
    return decodificaNome(byteChiave(i).toByteArray());
}

QByteArrayView ElencoFile::byteNome(qsizetype i) const
{
    const Voce &v = m_voci.at(i);
    return QByteArrayView(m_byte).sliced(v.nome, v.lunghezzaNome);
}

QByteArrayView ElencoFile::byteChiave(qsizetype i) const
{
    const Voce &v = m_voci.at(i);
    return QByteArrayView(m_byte).sliced(v.chiave, v.lunghezzaChiave);
}

ElencoFile CloneUSBService::elenca(const QString &radice, QStringList *esclusi, bool senzaMaiuscole)
{
    ElencoFile elenco;
    QList<CartellaNonLetta> nonLette;
    const qsizetype prefisso = codificaNome(conBarra(radice)).size();
    percorriFile(
        radice,
        [&](const QByteArray &percorso, qint64 dimensione) {
            const QByteArrayView nome = QByteArrayView(percorso).sliced(prefisso);
            ElencoFile::Voce v;
            v.nome = quint32(elenco.m_byte.size());
            v.lunghezzaNome = quint32(nome.size());
            v.chiave = v.nome;
            v.lunghezzaChiave = v.lunghezzaNome;
            v.dimensione = dimensione;
            elenco.m_byte.append(nome);
            // Sticks written on a Mac hold decomposed names (NFD), elsewhere
            // precomposed ones: both spell the same name. Plain ASCII is both.
            // Where case is ignored, "DCIM/IMG.JPG" and "Dcim/img.jpg" are
            // one name too.
            const bool ascii = std::all_of(nome.begin(), nome.end(), [](char c) { return uchar(c) < 0x80; });
            const bool maiuscole = senzaMaiuscole && std::any_of(nome.begin(), nome.end(),
                                                                 [](char c) { return c >= 'A' && c <= 'Z'; });
            if (!ascii || maiuscole) {
                QString testo = decodificaNome(nome.toByteArray()).normalized(QString::NormalizationForm_C);
                if (senzaMaiuscole)
                    testo = testo.toCaseFolded().normalized(QString::NormalizationForm_C);
                const QByteArray chiave = codificaNome(testo);
                if (QByteArrayView(chiave) != nome) {
                    v.chiave = quint32(elenco.m_byte.size());
                    v.lunghezzaChiave = quint32(chiave.size());
                    elenco.m_byte.append(chiave);
                }
            }
            elenco.m_voci.append(v);
        },
        &nonLette);
    if (esclusi)
        *esclusi += descriviNonLette(nonLette);
    elenco.m_byte.squeeze();

    // By key, and in the listing's order among equal keys (their names lie in
    // that order in the block).
    auto &voci = elenco.m_voci;
    const QByteArrayView byte(elenco.m_byte);
    const auto chiaveDi = [&](const ElencoFile::Voce &v) { return byte.sliced(v.chiave, v.lunghezzaChiave); };
    std::sort(voci.begin(), voci.end(), [&](const ElencoFile::Voce &x, const ElencoFile::Voce &y) {
        const int c = chiaveDi(x).compare(chiaveDi(y));
        return c != 0 ? c < 0 : x.nome < y.nome;
    });
    // When one stick holds both spellings, the second cannot be told apart on
    // the other stick: it is left out and said so, never silently shadowed.
    qsizetype tenute = 0;
    for (qsizetype i = 0; i < voci.size(); ++i) {
        if (tenute > 0 && chiaveDi(voci.at(i)) == chiaveDi(voci.at(tenute - 1))) {
            if (esclusi) {
                const auto assoluto = [&](const ElencoFile::Voce &v) {
                    return conBarra(radice) +
                           decodificaNome(byte.sliced(v.nome, v.lunghezzaNome).toByteArray());
                };
                esclusi->append(nomeLeggibile(
                    QStringLiteral("“%1”: c'è già un file con lo stesso nome scritto in un'altra forma "
                                   "(“%2”), questo non è stato sincronizzato")
                        .arg(assoluto(voci.at(i)), assoluto(voci.at(tenute - 1)))));
            }
            continue;
        }
        voci[tenute++] = voci.at(i);
    }
    voci.resize(tenute);
    voci.squeeze();
    return elenco;
}
