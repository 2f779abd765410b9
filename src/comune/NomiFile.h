#pragma once

#include <QByteArray>
#include <QString>

// File names as the file system holds them: any bytes but "/" and NUL. A name
// that is not valid UTF-8 (a stick written by an old Windows machine) becomes
// a QString in which each stray byte is the lone surrogate U+DC00+byte, and
// goes back to the very same bytes: codificaNome(decodificaNome(b)) == b for
// every byte string b. Every path the program reads from the medium or from
// the mount table goes through these two, never through
// QFile::encodeName/decodeName or QString::fromUtf8, which drop a U+FEFF
// taken for a byte-order mark and turn stray bytes into U+FFFD.
QString decodificaNome(const QByteArray &byte);
QByteArray codificaNome(const QString &nome);
// The same text with each stray byte written as "\xE9", for what the user reads.
QString nomeLeggibile(const QString &testo);

// The last component of a path: "IMG.JPG" for "/media/ECO/DCIM/IMG.JPG".
QString nomeDi(const QString &percorso);
// The folder's path with a final "/", so that "/media/ECO2" never counts as
// inside "/media/ECO".
QString conBarra(const QString &cartella);
// `nome` inside `cartella`.
QString dentro(const QString &cartella, const QString &nome);
