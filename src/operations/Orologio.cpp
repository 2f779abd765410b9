#include "operations/Orologio.h"

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

QString Orologio::timestamp()
{
    return adesso().toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
}
