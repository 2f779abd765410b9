#include "disk/PropertyList.h"

#include <QDateTime>
#include <QLocale>
#include <QXmlStreamReader>

namespace {

// Each reader is entered on the value's start element and leaves on its end
// element; nullopt means the document is not a property list.
std::optional<QVariant> leggiValore(QXmlStreamReader &r);

std::optional<QVariant> leggiDict(QXmlStreamReader &r)
{
    QVariantMap dict;
    while (r.readNextStartElement()) {
        if (r.name() != QLatin1String("key"))
            return std::nullopt;
        const QString chiave = r.readElementText();
        if (r.hasError() || !r.readNextStartElement())
            return std::nullopt; // a key without its value
        std::optional<QVariant> valore = leggiValore(r);
        if (!valore)
            return std::nullopt;
        dict.insert(chiave, *valore);
    }
    if (r.hasError())
        return std::nullopt;
    return QVariant(dict);
}

std::optional<QVariant> leggiArray(QXmlStreamReader &r)
{
    QVariantList lista;
    while (r.readNextStartElement()) {
        std::optional<QVariant> valore = leggiValore(r);
        if (!valore)
            return std::nullopt;
        lista.append(*valore);
    }
    if (r.hasError())
        return std::nullopt;
    return QVariant(lista);
}

std::optional<QVariant> leggiIntero(const QString &testo)
{
    bool ok = false;
    if (const qlonglong v = testo.toLongLong(&ok); ok)
        return QVariant(v);
    if (const qulonglong v = testo.toULongLong(&ok); ok)
        return QVariant(v);
    // Hexadecimal is allowed too ("0x1F").
    const bool negativo = testo.startsWith(QLatin1Char('-'));
    const QString senzaSegno = negativo ? testo.mid(1) : testo;
    if (senzaSegno.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        const qlonglong v = senzaSegno.mid(2).toLongLong(&ok, 16);
        if (ok)
            return QVariant(negativo ? -v : v);
    }
    return std::nullopt;
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

std::optional<QVariant> leggiValore(QXmlStreamReader &r)
{
    const QStringView nome = r.name();
    if (nome == QLatin1String("dict"))
        return leggiDict(r);
    if (nome == QLatin1String("array"))
        return leggiArray(r);

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
    std::optional<QVariant> radice = leggiValore(r);
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
