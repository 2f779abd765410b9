#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

class ElencoFile;

namespace CloneUSBService {
// Every regular, non-hidden file below `radice`. `esclusi` receives a line
// for each folder that could not be read and each file left out because
// another one spells the same name. `senzaMaiuscole`: names that differ only
// in case are the same name (a stick on FAT or exFAT is one of the two).
ElencoFile elenca(const QString &radice, QStringList *esclusi = nullptr, bool senzaMaiuscole = false);
} // namespace CloneUSBService

// The regular, non-hidden files below one stick's root, ordered by the
// precomposed (NFC) spelling of their relative paths so that the lists of two
// sticks can be walked side by side. Each relative path is held once, as the
// bytes on the medium, in one shared block: a list of 100,000 files takes a
// few megabytes. Implicitly shared, cheap to copy.
class ElencoFile {
public:
    qsizetype size() const { return m_voci.size(); }
    // "DCIM/IMG_0001.JPG", spelled as on the medium.
    QString relativo(qsizetype i) const;
    // The same path in NFC (and case-folded when either stick ignores case),
    // the spelling both sticks share.
    QString chiave(qsizetype i) const;
    qint64 dimensione(qsizetype i) const { return m_voci.at(i).dimensione; }

    // The same two, as the bytes held.
    QByteArrayView byteNome(qsizetype i) const;
    QByteArrayView byteChiave(qsizetype i) const;

private:
    friend ElencoFile CloneUSBService::elenca(const QString &radice, QStringList *esclusi,
                                              bool senzaMaiuscole);
    struct Voce {
        quint32 nome = 0, lunghezzaNome = 0;     // in m_byte
        quint32 chiave = 0, lunghezzaChiave = 0; // in m_byte; the name itself when already NFC
        qint64 dimensione = 0;
    };
    QByteArray m_byte;
    QList<Voce> m_voci;
};
