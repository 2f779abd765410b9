#include "platform/TestiPiattaforma.h"

QString testoPiattaforma(TestoPiattaforma chiave)
{
    for (const VoceTestoPiattaforma &v : testiDiQuestoSistema())
        if (v.chiave == chiave)
            return QString::fromUtf8(v.testo);
    return {}; // every table holds every key: the tests see to it
}
