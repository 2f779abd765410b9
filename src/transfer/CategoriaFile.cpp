#include "transfer/CategoriaFile.h"

QStringList estensioni(CategoriaFile categoria)
{
    switch (categoria) {
    case CategoriaFile::video:
        return {"mp4", "mov", "m4v", "avi", "mkv", "wmv", "flv", "webm", "mpg", "mpeg"};
    case CategoriaFile::documenti:
        return {"pdf", "doc",  "docx", "txt",  "rtf", "md",  "pages", "numbers", "key",
                "xls", "xlsx", "ppt",  "pptx", "odt", "ods", "odp",   "epub"};
    case CategoriaFile::immagini:
        return {"jpg", "jpeg", "png", "heic", "heif", "tiff", "tif",
                "gif", "bmp",  "raw", "cr2",  "nef",  "arw",  "dng"};
    }
    return {};
}

QSet<QString> insiemeEstensioni(CategoriaFile categoria)
{
    const QStringList l = estensioni(categoria);
    return QSet<QString>(l.begin(), l.end());
}

QString etichetta(CategoriaFile categoria)
{
    switch (categoria) {
    case CategoriaFile::video:
        return QStringLiteral("Solo video");
    case CategoriaFile::documenti:
        return QStringLiteral("Solo documenti");
    case CategoriaFile::immagini:
        return QStringLiteral("Solo immagini");
    }
    return QString();
}
