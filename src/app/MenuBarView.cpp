#include "app/MenuBarView.h"

#include "app/ShellRules.h"
#include "app/USBMonitor.h"
#include "disk/SecureEraseManager.h"
#include "operations/Servizi.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

MenuBarView::MenuBarView(USBMonitor *monitor, const Servizi &servizi, ApriFinestra apriFinestra,
                         QWidget *parent)
    : QWidget(parent), m_monitor(monitor), m_servizi(servizi), m_apriFinestra(std::move(apriFinestra)),
      m_layout(new QVBoxLayout(this))
{
    setFixedWidth(320);
    m_layout->setContentsMargins(14, 14, 14, 14);
    m_layout->setSpacing(14);
    connect(m_monitor, &USBMonitor::drivesChanged, this, &MenuBarView::ricostruisci);
    connect(m_servizi.erase, &SecureEraseManager::faseChanged, this, &MenuBarView::ricostruisci);
    ricostruisci();
}

void MenuBarView::ricostruisci()
{
    while (QLayoutItem *item = m_layout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    auto *titolo = new QLabel(QStringLiteral("<b>USB inserite</b>"));
    m_layout->addWidget(titolo);
    if (m_monitor->drives().isEmpty()) {
        m_layout->addWidget(new QLabel(QStringLiteral("Nessuna USB inserita")));
    } else {
        int i = 0;
        for (const auto &d : m_monitor->drives())
            m_layout->addWidget(new QLabel(QStringLiteral("%1. %2").arg(++i).arg(d.name)));
    }
    auto *esci = new QPushButton(QStringLiteral("Esci"));
    const RegolaUscita regola = regolaUscita(m_servizi.erase->fase());
    esci->setEnabled(regola.abilitata);
    esci->setToolTip(regola.tooltip);
    esci->setObjectName(QStringLiteral("esci"));
    connect(esci, &QPushButton::clicked, this, &MenuBarView::esciRichiesto);
    m_layout->addWidget(esci);
    adjustSize();
}
