#pragma once

#include <optional>
#include <QString>
#include <QStringList>

// Numeric values are the desktop's own alert styles.
enum class StileAvviso { avvertenza = 0, informativo = 1, critico = 2 };

// A one-line text field under the alert's text (260 x 24, focused on opening).
struct CampoTesto {
    QString testo;      // pre-filled text
    QString segnaposto; // placeholder shown while empty
};

struct RichiestaAvviso {
    QString titolo;
    QString testo;
    StileAvviso stile = StileAvviso::informativo;
    QStringList pulsanti; // in order, the first is the default; empty = one "OK"
    std::optional<CampoTesto> campo;
    // The button Escape answers with; none: the last, the "Annulla" of every
    // question. An outcome with a choice beside "OK" names "OK" here, so that
    // Escape never opens anything.
    std::optional<int> pulsanteEsc;
};

struct RispostaAvviso {
    int pulsante = 0; // index into pulsanti (0 = first); -1 when closed any other way
    QString testoCampo;
};

// Shows modal alerts. The widget implementation brings Tessera to the front
// first; tests use a recording fake with scripted answers.
class PresentatoreAvvisi {
public:
    virtual ~PresentatoreAvvisi() = default;
    virtual RispostaAvviso presenta(const RichiestaAvviso &richiesta) = 0;

    void mostraAvviso(const QString &titolo, const QString &testo, StileAvviso stile)
    {
        presenta(RichiestaAvviso{titolo, testo, stile, {}, std::nullopt});
    }
};
