// tessera-diskutil: Tessera's disk utility on Linux. It accepts the argument
// vectors Tessera hands to the disk utility and prints what Tessera reads:
// property lists for `info -plist` and `list -plist`, and "{n}%" progress
// lines. Exit codes are listed in Comandi.h.
#include "Comandi.h"

#include <cstdio>
#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const int codice = eseguiComando(app.arguments().mid(1), out);
    out.flush();
    return codice;
}
