#pragma once

#include <QString>

class AperturaDesktop;

// The operations log: one timestamped line per event, appended, never read back.
// Every failure is silent.
QString urlRegistro();               // creates the folder as a side effect
void registra(const QString &testo); // "[yyyy-MM-dd HH:mm:ss] testo\n"
void apriRegistro(AperturaDesktop &opener);

// "Orvala Tessera" in the user's data folder: the one place for the files
// Tessera keeps for itself (the log, the archive index). Created as a side effect.
QString cartellaDatiProgramma();
// The folder that holds "Orvala Tessera" (default: the user's data folder).
// Tests point it at a private folder.
void impostaCartellaDatiRegistro(const QString &cartella);
