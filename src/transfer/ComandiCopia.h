#pragma once

#include "operations/Servizi.h"
#include "transfer/CategoriaFile.h"

#include <QCoro/QCoroTask>

class ElencoChiavette;

// The panel's "Copia tutto" and "Copia filtrato" commands: the stick inserted
// last goes to the archive folder through FileCopyService::copia. Main thread;
// they finish after the summary alert, or at once when no stick is inserted.
QCoro::Task<> copiaTutto(const ElencoChiavette &chiavette, Servizi servizi);
QCoro::Task<> copiaFiltrato(const ElencoChiavette &chiavette, CategoriaFile categoria, Servizi servizi);
