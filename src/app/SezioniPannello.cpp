// The panel's sections: the sticks, the quick commands, the sync, the disk
// commands and the closing entries. Rebuilt from scratch by ricostruisci().
#include "app/AccessibilitaPannello.h"
#include "app/ColoredActionLabel.h"
#include "app/MenuBarView.h"
#include "app/ParticolariPannello.h"
#include "app/RegolePannello.h"
#include "app/USBMonitor.h"
#include "app/USBRow.h"
#include "comune/Colori.h"
#include "comune/Marchio.h"
#include "help/SezioneAiuto.h"
#include "operations/CentroOperazioni.h"
#include "operations/SecureEraseManager.h"
#include "platform/TestiPiattaforma.h"
#include "settings/AppSettings.h"
#include "ui/Aspetto.h"
#include "ui/Icone.h"
#include "ui/SchedaProgresso.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

VoceAzione *MenuBarView::nuovaVoce(const QString &nome, const QString &titolo, const QString &simbolo,
                                   const QColor &colore)
{
    auto *voce = new VoceAzione(titolo, simbolo, colore);
    voce->setObjectName(nome);
    return voce;
}

QWidget *MenuBarView::sezioneChiavette()
{
    auto *sezione = new ElencoRighe;
    sezione->setObjectName(QStringLiteral("elencoUSB"));
    QVBoxLayout *v = colonna(sezione, 4);
    v->addWidget(etichetta(QStringLiteral("USB inserite"), Aspetto::headline(), Aspetto::testo()));
    const QList<USBDrive> &drives = m_monitor->drives();
    if (drives.isEmpty()) {
        QLabel *vuoto =
            etichetta(QStringLiteral("Nessuna USB inserita"), Aspetto::callout(), Aspetto::secondario());
        vuoto->setObjectName(QStringLiteral("nessunaUSB"));
        v->addWidget(vuoto);
    }
    for (int i = 0; i < drives.size(); ++i) {
        auto *riga = new USBRow(
            i, drives[i], m_servizi.cancellazione,
            [this](const USBDrive &d) { esegui(m_comandi.apriChiavetta, d); },
            [this](const USBDrive &d) { esegui(m_comandi.espelli, d); });
        riga->setObjectName(drives[i].id.toString(QUuid::WithoutBraces));
        v->addWidget(riga);
    }
    return sezione;
}

QWidget *MenuBarView::sezioneAzioniRapide(bool abilitata)
{
    auto *sezione = new QWidget;
    QVBoxLayout *v = colonna(sezione, 6);
    auto *testata = new QHBoxLayout;
    testata->addWidget(etichetta(QStringLiteral("Azioni rapide"), Aspetto::headline(), Aspetto::testo()));
    testata->addStretch();
    auto *impostazioni = new PulsanteSimbolo(QStringLiteral("gearshape"), Aspetto::secondario(), 15);
    impostazioni->setObjectName(QStringLiteral("impostazioni"));
    impostazioni->setToolTip(QStringLiteral("Impostazioni"));
    connect(impostazioni, &QAbstractButton::clicked, this,
            [this] { esegui(m_comandi.apriFinestra, Finestre::settings); });
    testata->addWidget(impostazioni);
    v->addLayout(testata);

    // The column is one widget so that a single switch disables it whole;
    // the gear above stays usable.
    auto *azioni = new QWidget;
    azioni->setObjectName(QStringLiteral("azioniRapide"));
    QVBoxLayout *c = colonna(azioni, 6);
    const QString cartella = AppSettings::folderName(m_servizi.impostazioni->destinationPath());
    // With two sticks or more, the copies say which one they take (the one
    // inserted last), in their label and so in their accessible name.
    const QList<USBDrive> &inserite = m_monitor->drives();
    const QString da =
        inserite.size() >= 2 ? QStringLiteral(" da «%1»").arg(inserite.last().name) : QString();

    struct Semplice {
        const char *nome;
        QString titolo;
        const char *simbolo;
        QColor colore;
        std::function<void()> ComandiPannello::*comando;
    };
    const Semplice semplici[] = {
        {"apriUltimaUSB", testoPiattaforma(TestoPiattaforma::apriUltimaUSB), "folder.fill", Colori::blue(),
         &ComandiPannello::apriUltimaUSB},
        {"apriUltimaUSBConNota", QStringLiteral("Apri ultima USB + nota appunti"), "note.text.badge.plus",
         Colori::yellow(), &ComandiPannello::apriUltimaUSBConNota},
        {"salvaNotaTesto", QStringLiteral("Copia appunti ed espelli (.txt)"), "square.and.arrow.down",
         Colori::orange(), &ComandiPannello::salvaNotaTestoEdEspelli},
        {"salvaNotaFormattata", QStringLiteral("Copia appunti formattati ed espelli (.rtf)"), "textformat",
         Colori::purple(), &ComandiPannello::salvaNotaFormattataEdEspelli},
        {"copiaTutto", QStringLiteral("Copia tutto%1 in %2").arg(da, cartella), "doc.on.doc.fill",
         Colori::green(), &ComandiPannello::copiaTutto},
    };
    for (const Semplice &s : semplici) {
        VoceAzione *voce =
            nuovaVoce(QString::fromLatin1(s.nome), s.titolo, QString::fromLatin1(s.simbolo), s.colore);
        const auto comando = s.comando;
        connect(voce, &QAbstractButton::clicked, this, [this, comando] { esegui(m_comandi.*comando); });
        c->addWidget(voce);
    }

    VoceAzione *filtrato =
        nuovaVoce(QStringLiteral("copiaFiltrato"), QStringLiteral("Copia filtrato%1 in %2").arg(da, cartella),
                  QStringLiteral("line.3.horizontal.decrease.circle.fill"), Colori::mint());
    QMenu *menu = creaMenu(filtrato);
    const std::pair<CategoriaFile, const char *> categorie[] = {{CategoriaFile::video, "film"},
                                                                {CategoriaFile::documenti, "doc.text"},
                                                                {CategoriaFile::immagini, "photo"}};
    for (const auto &[categoria, simbolo] : categorie) {
        QAction *a = menu->addAction(Icone::icona(QString::fromLatin1(simbolo), Aspetto::testo()),
                                     etichetta(categoria));
        const CategoriaFile cat = categoria;
        connect(a, &QAction::triggered, this, [this, cat] { esegui(m_comandi.copiaFiltrato, cat); });
    }
    filtrato->setMenuVoci(menu);
    c->addWidget(filtrato);

    azioni->setEnabled(abilitata);
    v->addWidget(azioni);
    return sezione;
}

QWidget *MenuBarView::sezioneClona(bool abilitata)
{
    auto *sezione = new QWidget;
    sezione->setObjectName(QStringLiteral("clona"));
    QVBoxLayout *v = colonna(sezione, 6);
    v->addWidget(etichetta(QStringLiteral("Clona USB"), Aspetto::headline(), Aspetto::testo()));
    const QList<USBDrive> drives = m_monitor->drives();
    const QString simbolo = QStringLiteral("arrow.triangle.2.circlepath");
    if (drives.size() < 2) {
        QLabel *servono = etichetta(QStringLiteral("Servono 2 USB collegate per clonare"), Aspetto::caption(),
                                    Aspetto::secondario());
        servono->setObjectName(QStringLiteral("servonoDueUSB"));
        v->addWidget(servono);
    } else if (drives.size() == 2) {
        VoceAzione *voce =
            nuovaVoce(QStringLiteral("sincronizza"),
                      QStringLiteral("Sincronizza %1 ↔ %2").arg(drives[0].name, drives[1].name), simbolo,
                      Colori::indigo());
        const USBDrive a = drives[0], b = drives[1];
        connect(voce, &QAbstractButton::clicked, this, [this, a, b] { esegui(m_comandi.sincronizza, a, b); });
        v->addWidget(voce);
    } else {
        VoceAzione *voce =
            nuovaVoce(QStringLiteral("sceltaSincronizzazione"),
                      QStringLiteral("Scegli quali USB sincronizzare"), simbolo, Colori::indigo());
        QMenu *menu = creaMenu(voce);
        for (int i = 0; i < drives.size(); ++i) {
            for (int j = i + 1; j < drives.size(); ++j) {
                const USBDrive a = drives[i], b = drives[j];
                QAction *azione =
                    menu->addAction(QStringLiteral("%1 ↔ %2").arg(nomeInMenu(a.name), nomeInMenu(b.name)));
                connect(azione, &QAction::triggered, this,
                        [this, a, b] { esegui(m_comandi.sincronizza, a, b); });
            }
        }
        voce->setMenuVoci(menu);
        v->addWidget(voce);
    }
    sezione->setEnabled(abilitata);
    return sezione;
}

QWidget *MenuBarView::sezioneDisco(bool cancellazioneInCorso)
{
    auto *sezione = new QWidget;
    QVBoxLayout *v = colonna(sezione, 6);
    const QList<USBDrive> drives = m_monitor->drives();

    struct Comando {
        const char *nome;
        QString titolo;
        const char *simbolo;
        QColor colore;
        bool distruttivo;
        std::function<void(const USBDrive &)> ComandiPannello::*comando;
    };
    const Comando comandi[] = {
        {"formattaRapida", QStringLiteral("Prepara chiavetta (formatta rapida)…"), "sparkles",
         Colori::orange(), false, &ComandiPannello::formattaRapida},
        {"cancellaSicura", QStringLiteral("Cancella tutto e formatta (sicuro)…"), "trash.fill", Colori::red(),
         true, &ComandiPannello::cancellaSicura},
    };
    for (const Comando &c : comandi) {
        VoceAzione *voce =
            nuovaVoce(QString::fromLatin1(c.nome), c.titolo, QString::fromLatin1(c.simbolo), c.colore);
        voce->setDistruttiva(c.distruttivo);
        const auto comando = c.comando;
        if (drives.size() == 1) {
            const USBDrive d = drives.first();
            connect(voce, &QAbstractButton::clicked, this,
                    [this, comando, d] { esegui(m_comandi.*comando, d); });
        } else {
            // With none or several sticks the user picks the stick by name.
            QMenu *menu = creaMenu(voce);
            for (const USBDrive &d : drives) {
                QAction *a =
                    menu->addAction(Icone::icona(QStringLiteral("externaldrive.fill"),
                                                 c.distruttivo ? Colori::red() : Aspetto::secondario()),
                                    nomeInMenu(d.name));
                connect(a, &QAction::triggered, this, [this, comando, d] { esegui(m_comandi.*comando, d); });
            }
            voce->setMenuVoci(menu);
        }
        voce->setEnabled(!cancellazioneInCorso && !drives.isEmpty());
        v->addWidget(voce);
    }
    return sezione;
}

QWidget *MenuBarView::sezioneFinale()
{
    auto *sezione = new QWidget;
    QVBoxLayout *v = colonna(sezione, 6);
    v->addWidget(new Divisore);
    v->addSpacing(8);
    VoceAzione *aiuto = nuovaVoce(QStringLiteral("aiuto"), QStringLiteral("Aiuto"),
                                  QStringLiteral("questionmark.circle.fill"), Colori::coloreMarchio());
    QMenu *menu = creaMenu(aiuto);
    for (SezioneAiuto s : tutteLeSezioni()) {
        QAction *a = menu->addAction(etichetta(s));
        connect(a, &QAction::triggered, this, [this, s] { esegui(m_comandi.apriAiuto, s); });
    }
    aiuto->setMenuVoci(menu);
    v->addWidget(aiuto);

    const RegolaUscita regola = regolaUscita(m_servizi.cancellazione->fase());
    m_esci->setEnabled(regola.abilitata);
    auto *esci = nuovaVoce(QStringLiteral("esci"), QStringLiteral("Esci"), QString(), QColor());
    esci->setToolTip(regola.tooltip);
    esci->setTestoScorciatoia(m_esci->shortcut().toString(QKeySequence::NativeText));
    esci->setEnabled(regola.abilitata);
    connect(esci, &QAbstractButton::clicked, m_esci, &QAction::trigger);
    v->addWidget(esci);
    return sezione;
}
