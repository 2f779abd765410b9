#pragma once

#include <functional>
#include <QDateTime>
#include <QString>

// The time every timestamped name and log line is made from. Tests install a
// fixed clock before any work starts; it is read from worker threads too.
namespace Orologio {
QDateTime adesso();
void imposta(std::function<QDateTime()> sorgente); // empty = the system clock

// A clock that never goes back, in seconds, for speeds and times left; the
// tests' fixed clock does not touch it.
double secondiMonotoni();

// Now as the stamp of every timestamped name: "yyyy-MM-dd_HH-mm-ss".
QString timestamp();
// That stamp as a regular expression, to recognise the names made with it.
inline constexpr char schemaTimestamp[] = R"(\d{4}-\d{2}-\d{2}_\d{2}-\d{2}-\d{2})";
} // namespace Orologio
