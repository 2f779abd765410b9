#pragma once

#include "VistaSistema.h"

#include <functional>
#include <memory>

// How the work is done: through UDisks2, as an ordinary desktop user would, or
// directly on the device when running as root on a system without UDisks2.
// Every method is called only after the safety check passed for `disco`.
class Backend {
public:
    struct Esito {
        bool ok = true;
        QString messaggio;    // in plain words, for the user, when !ok
        bool rifiuto = false; // the disk turned out not to be the one checked: nothing was written
        static Esito riuscito() { return {}; }
        static Esito fallito(QString m) { return {false, std::move(m)}; }
        static Esito rifiutato(QString m) { return {false, std::move(m), true}; }
    };
    // Whole percent, 0 to 100, in rising order.
    using Avanzamento = std::function<void(int)>;

    virtual ~Backend() = default;
    virtual QString nome() const = 0;

    // Unmounts every volume of the disk.
    virtual Esito smonta(const Disco &disco) = 0;
    // A new MBR with one FAT32 (LBA, 0x0c) partition over the disk, labelled `etichetta`.
    virtual Esito formattaFat32(const Disco &disco, const QString &etichetta,
                                const Avanzamento &avanzamento) = 0;
    // Every byte of the disk overwritten with zeros and flushed.
    virtual Esito azzera(const Disco &disco, const Avanzamento &avanzamento) = 0;
    // verifyVolume / repairVolume belong here too (check and repair a mounted
    // volume's file system) once the diagnostics need them.
};

enum class SceltaBackend;

// The UDisks2 backend when its service answers on the system bus, else the
// direct one when running as root; none otherwise. Tests may force one.
std::unique_ptr<Backend> scegliBackend(const VistaSistema &vista, SceltaBackend scelta, QString *perche);
