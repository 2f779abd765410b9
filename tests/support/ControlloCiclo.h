#pragma once

#include <chrono>
#include <QElapsedTimer>
#include <QTimer>

// Watches the event loop while a test awaits something: a timer ticks every
// `passo` and the longest wait between two ticks is kept. A loop that was
// blocked counts no ticks and shows the gap.
class ControlloCiclo {
public:
    explicit ControlloCiclo(std::chrono::milliseconds passo = std::chrono::milliseconds(5))
    {
        m_orologio.start();
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 ora = m_orologio.elapsed();
            m_pausaMassima = qMax(m_pausaMassima, ora - m_ultimo);
            m_ultimo = ora;
            ++m_battiti;
        });
        m_timer.start(passo);
    }

    int battiti() const { return m_battiti; }
    // The longest time the loop went without a tick, up to now.
    qint64 pausaMassimaMs() const { return qMax(m_pausaMassima, m_orologio.elapsed() - m_ultimo); }

private:
    QTimer m_timer;
    QElapsedTimer m_orologio;
    qint64 m_ultimo = 0;
    qint64 m_pausaMassima = 0;
    int m_battiti = 0;
};
