#include "disk/PropertyList.h"

#include <limits>
#include <QDateTime>
#include <QLocale>
#include <QXmlStreamReader>

namespace {

// Each reader is entered on the value's start element and leaves on its end
// element; nullopt means the document is not a property list.
std::optional<QVariant> leggiValore(QXmlStreamReader &r, int profondita);

// Far more than any disk report nests; a document nested deeper is refused
// rather than read by a recursion that would run out of stack.
constexpr int profonditaMassima = 64;

std::optional<QVariant> leggiDict(QXmlStreamReader &r, int profondita)
{
    QVariantMap dict;
    while (r.readNextStartElement()) {
        if (r.name() != QLatin1String("key"))
            return std::nullopt;
        const QString chiave = r.readElementText();
        if (r.hasError() || !r.readNextStartElement())
            return std::nullopt; // a key without its value
        std::optional<QVariant> valore = leggiValore(r, profondita);
        if (!valore)
            return std::nullopt;
        dict.insert(chiave, *valore);
    }
    if (r.hasError())
        return std::nullopt;
    return QVariant(dict);
}

std::optional<QVariant> leggiArray(QXmlStreamReader &r, int profondita)
{
    QVariantList lista;
    while (r.readNextStartElement()) {
        std::optional<QVariant> valore = leggiValore(r, profondita);
        if (!valore)
            return std::nullopt;
        lista.append(*valore);
    }
    if (r.hasError())
        return std::nullopt;
    return QVariant(lista);
}

// Hexadecimal digits only: toULongLong would also take a sign or spaces.
std::optional<qulonglong> esadecimale(QStringView cifre)
{
    if (cifre.isEmpty())
        return std::nullopt;
    for (const QChar c : cifre) {
        const char16_t u = c.unicode();
        if (!((u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F')))
            return std::nullopt;
    }
    bool ok = false;
    const qulonglong v = cifre.toULongLong(&ok, 16);
    return ok ? std::optional<qulonglong>(v) : std::nullopt;
}

std::optional<QVariant> leggiIntero(const QString &testo)
{
    bool ok = false;
    if (const qlonglong v = testo.toLongLong(&ok); ok)
        return QVariant(v);
    if (const qulonglong v = testo.toULongLong(&ok); ok)
        return QVariant(v);
    // Hexadecimal is allowed too ("0x1F", "-0x1F"), with one sign at most, in front.
    const bool negativo = testo.startsWith(QLatin1Char('-'));
    const QStringView senzaSegno = QStringView(testo).mid(negativo ? 1 : 0);
    if (!senzaSegno.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        return std::nullopt;
    const std::optional<qulonglong> modulo = esadecimale(senzaSegno.mid(2));
    if (!modulo)
        return std::nullopt;
    constexpr qulonglong minimoNegativo = qulonglong(std::numeric_limits<qlonglong>::max()) + 1;
    if (!negativo)
        return *modulo <= qulonglong(std::numeric_limits<qlonglong>::max()) ? QVariant(qlonglong(*modulo))
                                                                            : QVariant(*modulo);
    if (*modulo > minimoNegativo)
        return std::nullopt;
    // In unsigned arithmetic: -(2^63) exists as a value, but negating it as a
    // qlonglong does not.
    return QVariant(qlonglong(0 - *modulo));
}

std::optional<QVariant> leggiReale(const QString &testo)
{
    const QString t = testo.toLower();
    if (t == QLatin1String("nan"))
        return QVariant(qQNaN());
    if (t == QLatin1String("inf") || t == QLatin1String("+inf") || t == QLatin1String("infinity") ||
        t == QLatin1String("+infinity"))
        return QVariant(qInf());
    if (t == QLatin1String("-inf") || t == QLatin1String("-infinity"))
        return QVariant(-qInf());
    bool ok = false;
    const double v = QLocale::c().toDouble(testo, &ok);
    return ok ? std::optional<QVariant>(QVariant(v)) : std::nullopt;
}

std::optional<QVariant> leggiValore(QXmlStreamReader &r, int profondita)
{
    const QStringView nome = r.name();
    const bool contenitore = nome == QLatin1String("dict") || nome == QLatin1String("array");
    if (contenitore && profondita >= profonditaMassima)
        return std::nullopt;
    if (nome == QLatin1String("dict"))
        return leggiDict(r, profondita + 1);
    if (nome == QLatin1String("array"))
        return leggiArray(r, profondita + 1);

    const bool booleano = nome == QLatin1String("true") || nome == QLatin1String("false");
    const bool vero = nome == QLatin1String("true");
    const QString tipo = nome.toString();
    const QString testo = r.readElementText(); // fails on nested elements
    if (r.hasError())
        return std::nullopt;

    if (booleano)
        return testo.isEmpty() ? std::optional<QVariant>(QVariant(vero)) : std::nullopt;
    if (tipo == QLatin1String("string"))
        return QVariant(testo);
    if (tipo == QLatin1String("integer"))
        return leggiIntero(testo.trimmed());
    if (tipo == QLatin1String("real"))
        return leggiReale(testo.trimmed());
    if (tipo == QLatin1String("date")) {
        QDateTime d = QDateTime::fromString(testo.trimmed(), Qt::ISODate);
        return d.isValid() ? std::optional<QVariant>(QVariant(d.toUTC())) : std::nullopt;
    }
    if (tipo == QLatin1String("data")) {
        QByteArray base64 = testo.toLatin1();
        base64.replace(' ', "").replace('\n', "").replace('\t', "").replace('\r', "");
        auto decodifica = QByteArray::fromBase64Encoding(base64, QByteArray::AbortOnBase64DecodingErrors);
        return decodifica ? std::optional<QVariant>(QVariant(*decodifica)) : std::nullopt;
    }
    return std::nullopt;
}

} // namespace

std::optional<QVariant> leggiPlist(const QByteArray &xml)
{
    QXmlStreamReader r(xml);
    if (!r.readNextStartElement() || r.name() != QLatin1String("plist"))
        return std::nullopt;
    if (!r.readNextStartElement())
        return std::nullopt; // an empty <plist/>
    std::optional<QVariant> radice = leggiValore(r, 0);
    if (!radice)
        return std::nullopt;
    if (r.readNextStartElement())
        return std::nullopt; // a second value at the top
    // Whatever follows the root element must be nothing but comments and whitespace.
    while (!r.atEnd())
        r.readNext();
    if (r.hasError())
        return std::nullopt;
    return radice;
}
