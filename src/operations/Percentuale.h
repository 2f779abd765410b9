#pragma once

#include <optional>

// The rule both the erase and the diagnostics progress follow: a reported
// percentage is taken only when it neither goes back nor passes 100 (none
// held counts as -1). Reports arrive out of a tool's output, which may repeat
// or overshoot.
inline bool percentualeAccettata(double nuova, std::optional<double> attuale)
{
    return nuova <= 100 && nuova >= attuale.value_or(-1);
}
