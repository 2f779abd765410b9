#pragma once

#include "operations/AlertPresenter.h"

// Modal alerts as QMessageBox, with Tessera brought to the front first.
class MessageBoxPresenter : public AlertPresenter {
public:
    RispostaAvviso presenta(const RichiestaAvviso &richiesta) override;
};
