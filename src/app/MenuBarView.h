#pragma once

#include <functional>
#include <QWidget>

class USBMonitor;
struct Servizi;
class QVBoxLayout;

// The drop-down panel: what is running, the inserted sticks and every command.
// Rebuilt from the observed objects whenever they change.
class MenuBarView : public QWidget {
    Q_OBJECT
public:
    using ApriFinestra = std::function<void(const QString &identificatore)>;

    MenuBarView(USBMonitor *monitor, const Servizi &servizi, ApriFinestra apriFinestra,
                QWidget *parent = nullptr);

Q_SIGNALS:
    void esciRichiesto();

private:
    void ricostruisci();

    USBMonitor *m_monitor;
    const Servizi &m_servizi;
    ApriFinestra m_apriFinestra;
    QVBoxLayout *m_layout;
};
