#pragma once

#include <chrono>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

// Watches the event loop while a test awaits something: a timer ticks every
// `passo` and the longest wait between two ticks is kept. A loop that was
// blocked counts no ticks and shows the gap.
class ControlloCiclo {
public:
    explicit ControlloCiclo(std::chrono::milliseconds passo = std::chrono::milliseconds(5))
    {
        m_orologio.start();
        m_attesaCpu = attesaCpuMs();
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 ora = m_orologio.elapsed();
            const qint64 attesa = attesaCpuMs();
            m_pausaMassima = qMax(m_pausaMassima, ora - m_ultimo);
            m_pausaPropria = qMax(m_pausaPropria, ora - m_ultimo - (attesa - m_attesaCpu));
            m_ultimo = ora;
            m_attesaCpu = attesa;
            ++m_battiti;
        });
        m_timer.start(passo);
    }

    int battiti() const { return m_battiti; }
    // The longest time the loop went without a tick, up to now.
    qint64 pausaMassimaMs() const { return qMax(m_pausaMassima, m_orologio.elapsed() - m_ultimo); }
    // The same, less the time the thread was ready but waited for a processor:
    // what the code on the loop's thread held it for, whatever else the
    // machine was busy with.
    qint64 pausaPropriaMassimaMs() const
    {
        return qMax(m_pausaPropria, m_orologio.elapsed() - m_ultimo - (attesaCpuMs() - m_attesaCpu));
    }

private:
    // The calling thread's time spent runnable but not running, from the
    // scheduler's statistics (0 where the kernel keeps none).
    static qint64 attesaCpuMs()
    {
        QFile f(QStringLiteral("/proc/thread-self/schedstat"));
        if (!f.open(QIODevice::ReadOnly))
            return 0;
        const QList<QByteArray> campi = f.readAll().simplified().split(' ');
        return campi.size() >= 2 ? campi.at(1).toLongLong() / 1000000 : 0;
    }

    QTimer m_timer;
    QElapsedTimer m_orologio;
    qint64 m_ultimo = 0;
    qint64 m_attesaCpu = 0;
    qint64 m_pausaMassima = 0;
    qint64 m_pausaPropria = 0;
    int m_battiti = 0;
};
