#include "platform/Piattaforma.h"

#include "platform/Appunti.h"
#include "platform/DesktopOpener.h"
#include "platform/Espulsore.h"
#include "platform/VolumeSource.h"

// Out of line so that the header can stay on forward declarations.
Piattaforma::Piattaforma() = default;
Piattaforma::Piattaforma(Piattaforma &&) noexcept = default;
Piattaforma &Piattaforma::operator=(Piattaforma &&) noexcept = default;
Piattaforma::~Piattaforma() = default;
