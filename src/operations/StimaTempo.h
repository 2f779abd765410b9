#pragma once

#include <optional>
#include <QString>

// The speed and the time left of long work, from the progress it reports: the
// rate of the last few seconds, smoothed so that a stick's pauses and bursts do
// not make the numbers jump, and told only once there is something to go by (a
// couple of seconds, and some progress). Work that moves data counts bytes;
// work that only reports a fraction (the secure erase) counts that, and has a
// time left but no speed worth telling.
class StimaTempo {
public:
    // `fatti` of `totali` at `secondi`, on a clock that never goes back. Work
    // that goes back or changes its total starts a new estimate.
    void campione(double secondi, double fatti, double totali);
    void azzera() { *this = StimaTempo(); }

    // Units a second, and the seconds left; none until they can be told.
    std::optional<double> velocita() const;
    std::optional<double> secondiRimanenti() const;

private:
    std::optional<double> m_inizio; // the first sample's time
    double m_fattiIniziali = 0;
    double m_tMisura = 0, m_fattiMisura = 0; // where the interval being measured began
    double m_ultimo = 0, m_fatti = 0, m_totali = 0;
    std::optional<double> m_ritmo; // smoothed, units a second
};

// The one way speed and time are said. "182,2 MB/s": megabytes of a million
// bytes, as sizes are shown, with a decimal comma.
QString testoVelocita(double bytePerSecondo);
// "meno di 1 min", "circa 3 min", "circa 25 min", "circa 1 h 20 min": coarser
// as it grows, so that the figure shown does not flicker. No-break spaces keep
// a number with its unit.
QString testoDurata(double secondi);
// "circa 3 min rimanenti", "meno di 1 min rimanente".
QString testoTempoRimanente(double secondi);
// What a progress card adds once it can: "182,2 MB/s · circa 3 min rimanenti",
// or the time left alone when `conVelocita` is false; none before that.
std::optional<QString> testoRitmo(const StimaTempo &stima, bool conVelocita);
