#include "platform/Piattaforma.h"

#include "platform/AperturaDesktop.h"
#include "platform/Appunti.h"
#include "platform/Espulsore.h"
#include "platform/FonteVolumi.h"

// Out of line so that the header can stay on forward declarations.
Piattaforma::Piattaforma() = default;
Piattaforma::Piattaforma(Piattaforma &&) noexcept = default;
Piattaforma &Piattaforma::operator=(Piattaforma &&) noexcept = default;
Piattaforma::~Piattaforma() = default;
