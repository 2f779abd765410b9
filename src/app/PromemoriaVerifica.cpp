#include "app/PromemoriaVerifica.h"

#include "comune/Colori.h"
#include "operations/CentroOperazioni.h"
#include "operations/Orologio.h"
#include "operations/SecureEraseManager.h"
#include "settings/AppSettings.h"
#include "transfer/ManifestiArchivio.h"
#include "ui/Aspetto.h"
#include "ui/Icone.h"

#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QtConcurrent/QtConcurrentRun>

namespace {
constexpr qint64 giorniTraDueVerifiche = 30;
}

PromemoriaVerifica::PromemoriaVerifica(const Servizi &servizi, std::function<void()> verifica,
                                       QWidget *parent)
    : QWidget(parent), m_servizi(servizi)
{
    setObjectName(QStringLiteral("promemoriaVerifica"));
    auto *riga = new QHBoxLayout(this);
    riga->setContentsMargins(0, 0, 0, 0);
    riga->setSpacing(6);
    auto *simbolo = new QLabel;
    const int lato = QFontMetrics(Aspetto::caption()).height();
    simbolo->setPixmap(Icone::pixmap(QStringLiteral("checkmark.circle.fill"), Colori::orange(), lato, 2.0));
    simbolo->setFixedSize(lato, lato);
    simbolo->setScaledContents(true);
    riga->addWidget(simbolo, 0, Qt::AlignTop);
    m_testo = etichetta(QString(), Aspetto::caption(), Aspetto::secondario());
    m_testo->setObjectName(QStringLiteral("testo"));
    m_testo->setWordWrap(true);
    riga->addWidget(m_testo, 1);
    m_pulsante = new QPushButton(QStringLiteral("Verifica ora"));
    m_pulsante->setObjectName(QStringLiteral("verificaOra"));
    m_pulsante->setFont(Aspetto::caption());
    m_pulsante->setCursor(Qt::PointingHandCursor);
    riga->addWidget(m_pulsante, 0, Qt::AlignVCenter);
    connect(m_pulsante, &QPushButton::clicked, this, [verifica = std::move(verifica)] {
        if (verifica)
            verifica();
    });

    connect(m_servizi.impostazioni, &AppSettings::destinationPathChanged, this,
            &PromemoriaVerifica::ricontrolla);
    connect(m_servizi.impostazioni, &AppSettings::ultimaVerificaArchivioChanged, this,
            &PromemoriaVerifica::aggiorna);
    connect(m_servizi.centro, &CentroOperazioni::attualeChanged, this, [this] {
        // A copy that just ended may have left the archive's first manifest.
        const bool eraOccupato = std::exchange(m_occupato, m_servizi.centro->occupato());
        if (eraOccupato && !m_occupato)
            ricontrolla();
        else
            aggiorna();
    });
    connect(m_servizi.cancellazione, &SecureEraseManager::faseChanged, this, &PromemoriaVerifica::aggiorna);
    m_occupato = m_servizi.centro->occupato();
    hide();
    ricontrolla();
}

std::optional<QString> PromemoriaVerifica::testo(const std::optional<QDateTime> &ultima, bool conManifesti,
                                                 const QDateTime &adesso)
{
    if (!ultima)
        return conManifesti ? std::optional(QStringLiteral("L'archivio non è mai stato verificato."))
                            : std::nullopt;
    const qint64 giorni = ultima->daysTo(adesso);
    // A date to come is a clock that was once set wrong: waiting for it could
    // silence the reminder for years.
    if (giorni < 0)
        return QStringLiteral("L'ultima verifica dell'archivio ha una data nel futuro.");
    if (ultima->secsTo(adesso) <= giorniTraDueVerifiche * 86400)
        return std::nullopt;
    return QStringLiteral("Archivio non verificato da %1 giorni.").arg(giorni);
}

QString PromemoriaVerifica::testoMostrato() const
{
    return isHidden() ? QString() : m_testo->text();
}

void PromemoriaVerifica::ricontrolla()
{
    const int richiesta = ++m_richiesta;
    auto *osservatore = new QFutureWatcher<bool>(this);
    connect(osservatore, &QFutureWatcher<bool>::finished, this, [this, osservatore, richiesta] {
        if (richiesta == m_richiesta) {
            m_conManifesti = osservatore->result();
            aggiorna();
        }
        osservatore->deleteLater();
    });
    osservatore->setFuture(QtConcurrent::run(
        [archivio = m_servizi.impostazioni->destinationPath()] { return contieneManifesti(archivio); }));
}

void PromemoriaVerifica::aggiorna()
{
    const std::optional<QString> t =
        testo(m_servizi.impostazioni->ultimaVerificaArchivio(), m_conManifesti, Orologio::adesso());
    m_testo->setText(t.value_or(QString()));
    // Its command would be refused while other work runs.
    setVisible(t && !m_servizi.centro->occupato() && !m_servizi.cancellazione->inCorso());
}
