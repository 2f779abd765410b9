#include "operations/StimaTempo.h"

#include <cmath>
#include <QLocale>

namespace {
// Before this, and before any progress, nothing is told: the first moments of
// a copy (opening, the first batch) say little about the rest.
constexpr double secondiPrimaDiStimare = 2.0;
// The rate is measured over intervals at least this long...
constexpr double intervalloMinimo = 0.5;
// ...and each weighs in by how long it lasted against this.
constexpr double memoria = 5.0;
constexpr double byteInUnMB = 1e6;
} // namespace

void StimaTempo::campione(double secondi, double fatti, double totali)
{
    if (!m_inizio || fatti < m_fatti || totali != m_totali) {
        azzera();
        m_inizio = secondi;
        m_fattiIniziali = m_fattiMisura = m_fatti = fatti;
        m_tMisura = m_ultimo = secondi;
        m_totali = totali;
        return;
    }
    m_ultimo = secondi;
    m_fatti = fatti;
    const double intervallo = secondi - m_tMisura;
    if (intervallo < intervalloMinimo)
        return;
    const double ritmo = (fatti - m_fattiMisura) / intervallo;
    if (!m_ritmo) {
        // Seeded with the average so far: one short interval would be noisy.
        m_ritmo = (fatti - m_fattiIniziali) / (secondi - *m_inizio);
    } else {
        const double peso = 1.0 - std::exp(-intervallo / memoria);
        *m_ritmo += peso * (ritmo - *m_ritmo);
    }
    m_tMisura = secondi;
    m_fattiMisura = fatti;
}

std::optional<double> StimaTempo::velocita() const
{
    if (!m_inizio || !m_ritmo || *m_ritmo <= 0 || m_ultimo - *m_inizio < secondiPrimaDiStimare ||
        m_fatti <= m_fattiIniziali)
        return std::nullopt;
    return m_ritmo;
}

std::optional<double> StimaTempo::secondiRimanenti() const
{
    const std::optional<double> v = velocita();
    if (!v)
        return std::nullopt;
    return std::max(m_totali - m_fatti, 0.0) / *v;
}

QString testoVelocita(double bytePerSecondo)
{
    // Italian whatever the desktop's language, as every text of the program.
    const QLocale italiano(QLocale::Italian, QLocale::Italy);
    return italiano.toString(bytePerSecondo / byteInUnMB, 'f', 1) + QStringLiteral("\u00A0MB/s");
}

QString testoDurata(double secondi)
{
    if (!(secondi >= 60))
        return QStringLiteral("meno di 1\u00A0min");
    qint64 minuti = qint64(std::ceil(secondi / 60.0));
    // Whole minutes up to ten, then fives, then tens past the hour.
    if (minuti > 60)
        minuti = (minuti + 5) / 10 * 10;
    else if (minuti > 10)
        minuti = (minuti + 2) / 5 * 5;
    if (minuti < 60)
        return QStringLiteral("circa %1\u00A0min").arg(minuti);
    const qint64 ore = minuti / 60, resto = minuti % 60;
    return resto == 0 ? QStringLiteral("circa %1\u00A0h").arg(ore)
                      : QStringLiteral("circa %1\u00A0h %2\u00A0min").arg(ore).arg(resto);
}

QString testoTempoRimanente(double secondi)
{
    return testoDurata(secondi) +
           (secondi >= 60 ? QStringLiteral(" rimanenti") : QStringLiteral(" rimanente"));
}

std::optional<QString> testoRitmo(const StimaTempo &stima, bool conVelocita)
{
    const std::optional<double> resto = stima.secondiRimanenti();
    if (!resto)
        return std::nullopt;
    const QString tempo = testoTempoRimanente(*resto);
    return conVelocita ? testoVelocita(*stima.velocita()) + QStringLiteral(" · ") + tempo : tempo;
}
