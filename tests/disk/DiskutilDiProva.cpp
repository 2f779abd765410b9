// tessera-diskutil as the tests run it through the application's runner: the
// same commands on a sysfs and procfs of the test's making, with the backend
// forced. Built with the tests only and never installed, so no variable of the
// installed program's environment can change what it considers safe.
#include "Comandi.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString backend = qEnvironmentVariable("PROVA_DISKUTIL_BACKEND");
    const VistaSistema vista(qEnvironmentVariable("PROVA_DISKUTIL_SYSFS", QStringLiteral("/sys")),
                             qEnvironmentVariable("PROVA_DISKUTIL_PROCFS", QStringLiteral("/proc")));
    QTextStream out(stdout);
    const int codice = eseguiComando(app.arguments().mid(1), out, vista,
                                     backend == QLatin1String("diretto")   ? SceltaBackend::diretto
                                     : backend == QLatin1String("udisks2") ? SceltaBackend::udisks2
                                                                           : SceltaBackend::automatica);
    out.flush();
    return codice;
}
