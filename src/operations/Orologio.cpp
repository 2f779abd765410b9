#include "operations/Orologio.h"

#include <chrono>

namespace {
std::function<QDateTime()> &sorgente()
{
    static std::function<QDateTime()> s;
    return s;
}
} // namespace

QDateTime Orologio::adesso()
{
    const auto &s = sorgente();
    return s ? s() : QDateTime::currentDateTime();
}

void Orologio::imposta(std::function<QDateTime()> s)
{
    sorgente() = std::move(s);
}

double Orologio::secondiMonotoni()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

QString Orologio::timestamp()
{
    return adesso().toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
}
