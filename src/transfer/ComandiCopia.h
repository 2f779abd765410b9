#pragma once

#include "operations/Servizi.h"
#include "transfer/CategoriaFile.h"

#include <QCoro/QCoroTask>

class USBMonitor;

// The panel's "Copia tutto" and "Copia filtrato" commands: the stick inserted
// last goes to the archive folder through FileCopyService::copia. Main thread;
// they finish after the summary alert, or at once when no stick is inserted.
QCoro::Task<> copiaTutto(USBMonitor &monitor, Servizi servizi);
QCoro::Task<> copiaFiltrato(USBMonitor &monitor, CategoriaFile categoria, Servizi servizi);
