#pragma once

#include <functional>
#include <QDateTime>

// The time every timestamped name and log line is made from. Tests install a
// fixed clock before any work starts; it is read from worker threads too.
namespace Orologio {
QDateTime adesso();
void imposta(std::function<QDateTime()> sorgente); // empty = the system clock
} // namespace Orologio
