#include "settings/Interruttore.h"
#include "settings/SettingsView.h"
#include "support/ServerHttpProva.h"
#include "support/TestEnv.h"
#include "update/ControlloAggiornamenti.h"

#include <functional>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

class TestSettingsView : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnv> m_env;
    std::unique_ptr<SettingsView> m_view;

    QString testoPercorso() const { return m_view->findChild<QTextEdit *>("percorso")->toPlainText(); }
    QString spiegazione() const { return m_view->findChild<QLabel *>("spiegazioneImport")->text(); }
    void premi(const char *nome)
    {
        QTest::mouseClick(m_view->findChild<QAbstractButton *>(nome), Qt::LeftButton);
    }
    QVariant salvato(const QString &chiave) const
    {
        return QSettings(m_env->settingsFile(), QSettings::IniFormat).value(chiave);
    }
    void fotografa(const QString &nome)
    {
        QVERIFY(m_view->grab().save(QDir(TestSupport::artifactsDir()).filePath(nome)));
    }

    // Runs `azione` on the folder chooser once it is open (it is modal, so
    // the click that opens it returns only after `azione` closed it).
    void conLaScelta(std::function<void(QFileDialog *)> azione, bool *eseguita)
    {
        auto *attesa = new QTimer(this);
        connect(attesa, &QTimer::timeout, this, [attesa, azione, eseguita] {
            QFileDialog *dialogo = nullptr;
            for (QWidget *w : QApplication::topLevelWidgets()) {
                if (auto *d = qobject_cast<QFileDialog *>(w); d && d->isVisible())
                    dialogo = d;
            }
            if (!dialogo)
                return;
            attesa->deleteLater();
            attesa->stop();
            *eseguita = true;
            azione(dialogo);
            // A failed check inside `azione` returns early: never leave the
            // modal chooser open behind it.
            if (dialogo->isVisible())
                dialogo->reject();
        });
        attesa->start(20);
    }

private Q_SLOTS:
    void init()
    {
        m_env = std::make_unique<TestEnv>();
        m_view = std::make_unique<SettingsView>(m_env->servizi, nullptr);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    }
    void cleanup()
    {
        m_view.reset();
        m_env.reset();
    }

    void resetShowsTheDefaultFolder()
    {
        QCOMPARE(spiegazione(), SettingsView::spiegazioneImport(m_env->path("Archivio")));
        premi("reset");
        const QString predefinita =
            QDir::homePath() + "/Library/Mobile Documents/com~apple~CloudDocs/Ecografie";
        QCOMPARE(testoPercorso(), predefinita);
        QCOMPARE(salvato(AppSettings::key).toString(), predefinita);
        QCOMPARE(spiegazione(),
                 QString("Appena inserisci una chiavetta, le immagini non ancora presenti in Ecografie "
                         "vengono copiate e verificate (hash SHA-256). Riceverai una notifica con il "
                         "risultato."));
        QCOMPARE(m_view->width(), 400);
        fotografa("settings-default.png");
    }

    void chooserSetsTheFolderAndTheTextFollows()
    {
        const QString altra = m_env->path("Referti 2024");
        const QString archivio = m_env->path("Archivio");
        m_env->settings->setDestinationPath(altra);
        QVERIFY(spiegazione().contains(" in Referti 2024 vengono"));

        bool aperta = false;
        conLaScelta(
            [&](QFileDialog *d) {
                QCOMPARE(d->windowTitle(), QString("Scegli cartella di destinazione"));
                auto *messaggio = d->findChild<QLabel *>("messaggioScelta");
                QVERIFY(messaggio && messaggio->isVisible());
                QCOMPARE(messaggio->text(), QString("Seleziona la cartella dove copiare i file dalle USB"));
                QCOMPARE(d->fileMode(), QFileDialog::Directory);
                QVERIFY(d->testOption(QFileDialog::ShowDirsOnly));
                QVERIFY(!d->testOption(QFileDialog::ReadOnly)); // new folders may be made
                QCOMPARE(QDir(d->directory()).absolutePath(), altra);
                d->grab().save(QDir(TestSupport::artifactsDir()).filePath("settings-chooser.png"));
                d->setDirectory(archivio);           // opened, then "Choose"
                static_cast<QDialog *>(d)->accept(); // QFileDialog::accept, which checks the choice
            },
            &aperta);
        premi("scegliCartella");
        QVERIFY(aperta);
        QCOMPARE(m_env->settings->destinationPath(), archivio);
        QCOMPARE(testoPercorso(), archivio);
        QCOMPARE(salvato(AppSettings::key).toString(), archivio);
        QVERIFY(spiegazione().contains(" in Archivio vengono"));

        // Cancelling changes nothing.
        aperta = false;
        conLaScelta([](QFileDialog *d) { d->reject(); }, &aperta);
        premi("scegliCartella");
        QVERIFY(aperta);
        QCOMPARE(testoPercorso(), archivio);
        QCOMPARE(salvato(AppSettings::key).toString(), archivio);
    }

    void switchWritesThePreferenceAndFollowsIt()
    {
        auto *interruttore = m_view->findChild<Interruttore *>("importaAutomatico");
        QVERIFY(!interruttore->isChecked());
        QCOMPARE(interruttore->text(), QString("Importa automaticamente le immagini all'inserimento"));
        premi("importaAutomatico");
        QVERIFY(m_env->settings->autoImport());
        QCOMPARE(salvato(AppSettings::keyAutoImport).toBool(), true);
        premi("importaAutomatico");
        QVERIFY(!m_env->settings->autoImport());
        QCOMPARE(salvato(AppSettings::keyAutoImport).toBool(), false);

        // A change made elsewhere (the panel shares the same settings) shows here.
        m_env->settings->setAutoImport(true);
        QVERIFY(interruttore->isChecked());
        fotografa("settings-import-on.png");
    }

    void longPathWrapsAndCopiesWhole()
    {
        const int altezzaBreve = m_view->height();
        // Words, then one name longer than the box, which has to break anywhere.
        const QString lungo =
            m_env->path("Studio Medico Associato/Ecografie ambulatoriali/Archivio digitale/"
                        "pazienti_esterni_convenzionati_primo_trimestre_duemilaventiquattro");
        m_env->settings->setDestinationPath(lungo);
        QCOMPARE(testoPercorso(), lungo);
        QVERIFY(spiegazione().contains(
            " in pazienti_esterni_convenzionati_primo_trimestre_duemilaventiquattro vengono"));
        auto *casella = m_view->findChild<QTextEdit *>("percorso");
        QVERIFY2(m_view->height() > altezzaBreve, "the window grows with the wrapped path");
        QCOMPARE(m_view->width(), 400);
        QVERIFY(casella->geometry().right() < m_view->width() - 19);
        QVERIFY2(casella->document()->size().height() <= casella->viewport()->height(), "no line is cut off");
        fotografa("settings-long-path.png");

        QApplication::clipboard()->clear();
        QTest::mouseClick(casella->viewport(), Qt::LeftButton);
        casella->selectAll();
        QTest::keyClick(casella, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), lungo);
    }

    void buttonsReachTheLogAndTheUpdateCheck()
    {
        premi("apriRegistro");
        QCOMPARE(m_env->apritore.aperti.size(), 1);
        QCOMPARE(m_env->apritore.aperti[0].toLocalFile(), m_env->logFile());

        ServerHttpProva server;
        QVERIFY(server.avvia());
        server.imposta({200, "application/json", "{\"versione\": \"0.9\"}", {}, false});
        ControlloAggiornamenti::Configurazione config;
        config.documento = server.url();
        config.versioneInstallata = "1.0";
        ControlloAggiornamenti controllo(
            m_env->servizi, std::make_unique<QSettings>(m_env->settingsFile(), QSettings::IniFormat), config);
        SettingsView vista(m_env->servizi, &controllo);
        QSignalSpy concluso(&controllo, &ControlloAggiornamenti::controlloConcluso);
        vista.findChild<QPushButton *>("verificaAggiornamenti")->click();
        QVERIFY(concluso.wait(10000));
        QCOMPARE(m_env->avvisi.mostrati.size(), 1);
        QCOMPARE(m_env->avvisi.mostrati[0].titolo, QString("Sei aggiornato"));
    }
};

QTEST_MAIN(TestSettingsView)
#include "TestSettingsView.moc"
