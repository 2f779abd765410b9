#include "operations/PrioritaLavoro.h"

#include "platform/Processi.h"

#include <algorithm>

PrioritaLavoro::PrioritaLavoro() : m_prima(prioritaThread())
{
    impostaPrioritaThread(std::max(m_prima, 5));
}

PrioritaLavoro::~PrioritaLavoro()
{
    // Raising it back may be refused to an ordinary user; the thread then
    // stays a background one, which is harmless for a pool thread.
    impostaPrioritaThread(m_prima);
}
