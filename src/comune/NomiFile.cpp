#include "comune/NomiFile.h"

#include <QFileInfo>

namespace {
bool byteSparso(char16_t u)
{
    return u >= 0xDC80 && u <= 0xDCFF;
}
} // namespace

QString decodificaNome(const QByteArray &byte)
{
    // By hand rather than through Qt's UTF-8 decoder: it takes a U+FEFF for a
    // byte-order mark and drops it, so "IMG\xEF\xBB\xBF.jpg" would become the
    // name of another file, "IMG.jpg".
    QString testo;
    testo.reserve(byte.size());
    const auto *p = reinterpret_cast<const unsigned char *>(byte.constData());
    const qsizetype n = byte.size();
    for (qsizetype i = 0; i < n;) {
        const unsigned c = p[i];
        if (c < 0x80) {
            testo.append(QChar(char16_t(c)));
            ++i;
            continue;
        }
        int lunghezza = 0;
        char32_t punto = 0, minimo = 0;
        if ((c & 0xE0) == 0xC0)
            lunghezza = 2, punto = c & 0x1F, minimo = 0x80;
        else if ((c & 0xF0) == 0xE0)
            lunghezza = 3, punto = c & 0x0F, minimo = 0x800;
        else if ((c & 0xF8) == 0xF0)
            lunghezza = 4, punto = c & 0x07, minimo = 0x10000;
        bool valido = lunghezza > 0 && i + lunghezza <= n;
        for (int k = 1; valido && k < lunghezza; ++k) {
            valido = (p[i + k] & 0xC0) == 0x80;
            punto = (punto << 6) | (p[i + k] & 0x3F);
        }
        // Overlong forms and encoded surrogates are stray bytes too: they
        // would not come back as the same bytes.
        valido = valido && punto >= minimo && punto <= 0x10FFFF && (punto < 0xD800 || punto > 0xDFFF);
        if (!valido) {
            testo.append(QChar(char16_t(0xDC00 + c)));
            ++i;
            continue;
        }
        if (punto >= 0x10000) {
            testo.append(QChar(QChar::highSurrogate(punto)));
            testo.append(QChar(QChar::lowSurrogate(punto)));
        } else {
            testo.append(QChar(char16_t(punto)));
        }
        i += lunghezza;
    }
    return testo;
}

QByteArray codificaNome(const QString &nome)
{
    QByteArray byte;
    byte.reserve(nome.size());
    qsizetype inizio = 0; // start of the run of ordinary characters not yet encoded
    for (qsizetype i = 0; i < nome.size(); ++i) {
        const char16_t u = nome.at(i).unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < nome.size() && nome.at(i + 1).isLowSurrogate()) {
            ++i;
            continue;
        }
        if (byteSparso(u)) {
            byte += QStringView(nome).mid(inizio, i - inizio).toUtf8();
            byte += char(u - 0xDC00);
            inizio = i + 1;
        }
    }
    byte += QStringView(nome).mid(inizio).toUtf8();
    return byte;
}

QString nomeLeggibile(const QString &testo)
{
    QString r;
    r.reserve(testo.size());
    for (qsizetype i = 0; i < testo.size(); ++i) {
        const char16_t u = testo.at(i).unicode();
        const bool coppia = (QChar::isLowSurrogate(u) && i > 0 && testo.at(i - 1).isHighSurrogate());
        if (byteSparso(u) && !coppia)
            r += QStringLiteral("\\x") + QString::number(unsigned(u - 0xDC00), 16).toUpper();
        else
            r += testo.at(i);
    }
    return r;
}

QString nomeDi(const QString &percorso)
{
    return QFileInfo(percorso).fileName();
}

QString conBarra(const QString &cartella)
{
    return cartella.endsWith(QLatin1Char('/')) ? cartella : cartella + QLatin1Char('/');
}

QString dentro(const QString &cartella, const QString &nome)
{
    return conBarra(cartella) + nome;
}
