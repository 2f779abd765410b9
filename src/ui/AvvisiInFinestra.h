#pragma once

#include "operations/PresentatoreAvvisi.h"

// Modal alerts as QMessageBox, with Tessera brought to the front first.
class AvvisiInFinestra : public PresentatoreAvvisi {
public:
    RispostaAvviso presenta(const RichiestaAvviso &richiesta) override;
};
