#include "operations/MessageBoxPresenter.h"
#include "platform/linux/FreedesktopNotifier.h"
#include "support/DBusMockFixture.h"
#include "support/TestEnv.h"

#include <QApplication>
#include <QCoro/QCoroTask>
#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {
// Opens the alert for real and runs `mentreAperto` on the open box from
// inside its modal loop. A watchdog closes whatever is left open so a broken
// alert fails the test instead of hanging it.
template <typename F>
RispostaAvviso apriAvviso(const RichiestaAvviso &richiesta, F mentreAperto, bool *trovato)
{
    *trovato = false;
    QTimer::singleShot(0, qApp, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        *trovato = true;
        mentreAperto(box);
    });
    QTimer guardia;
    guardia.setSingleShot(true);
    QObject::connect(&guardia, &QTimer::timeout, [] {
        if (QWidget *w = QApplication::activeModalWidget())
            w->close();
    });
    guardia.start(10000);
    MessageBoxPresenter presenter;
    return presenter.presenta(richiesta);
}

QList<QPushButton *> pulsantiDa(QMessageBox *box)
{
    QList<QPushButton *> out;
    for (QAbstractButton *b : box->buttons())
        out << qobject_cast<QPushButton *>(b);
    std::sort(out.begin(), out.end(), [](QPushButton *a, QPushButton *b) { return a->x() < b->x(); });
    return out;
}
} // namespace

class TestAvvisi : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void plainAlertShowsStyleTextsAndOneOk_data()
    {
        QTest::addColumn<StileAvviso>("stile");
        QTest::addColumn<QMessageBox::Icon>("icona");
        QTest::addColumn<QString>("titolo");
        QTest::addColumn<QString>("testo");
        QTest::newRow("avvertenza") << StileAvviso::avvertenza << QMessageBox::Warning << "Accesso negato"
                                    << "Impossibile leggere la cartella.";
        QTest::newRow("informativo") << StileAvviso::informativo << QMessageBox::Information
                                     << "Operazione in corso"
                                     << "C'è già una copia o sincronizzazione in corso. Attendi che finisca.";
        QTest::newRow("critico") << StileAvviso::critico << QMessageBox::Critical << "Disco non sicuro"
                                 << "Questo disco non è esterno e rimovibile.";
        // Names of files and sticks reach these texts; they must not become markup.
        QTest::newRow("markup stays text")
            << StileAvviso::informativo << QMessageBox::Information << "<b>Copia</b> completata"
            << "File <i>a&b</i>.jpg non verificato";
    }
    void plainAlertShowsStyleTextsAndOneOk()
    {
        QFETCH(StileAvviso, stile);
        QFETCH(QMessageBox::Icon, icona);
        QFETCH(QString, titolo);
        QFETCH(QString, testo);

        struct {
            QMessageBox::Icon icona{};
            QString titoloFinestra, titolo, testo;
            QStringList pulsanti;
            Qt::TextFormat formatoTitolo{}, formatoTesto{};
            bool inPrimoPiano = false, attivo = false;
        } visto;
        bool trovato = false;
        const RispostaAvviso risposta = apriAvviso(
            RichiestaAvviso{titolo, testo, stile, {}, std::nullopt},
            [&](QMessageBox *box) {
                visto.icona = box->icon();
                visto.titoloFinestra = box->windowTitle();
                visto.titolo = box->text();
                visto.testo = box->informativeText();
                for (QPushButton *b : pulsantiDa(box))
                    visto.pulsanti << b->text();
                visto.formatoTitolo = box->findChild<QLabel *>("qt_msgbox_label")->textFormat();
                visto.formatoTesto = box->findChild<QLabel *>("qt_msgbox_informativelabel")->textFormat();
                visto.inPrimoPiano = box->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
                visto.attivo = QTest::qWaitFor([box] { return QApplication::activeWindow() == box; });
                QTest::keyClick(box, Qt::Key_Return);
            },
            &trovato);

        QVERIFY(trovato);
        QCOMPARE(visto.icona, icona);
        QCOMPARE(visto.titoloFinestra, QString("Tessera"));
        QCOMPARE(visto.titolo, titolo);
        QCOMPARE(visto.testo, testo);
        QCOMPARE(visto.pulsanti, QStringList{"OK"});
        QCOMPARE(visto.formatoTitolo, Qt::PlainText);
        QCOMPARE(visto.formatoTesto, Qt::PlainText);
        QVERIFY(visto.inPrimoPiano);
        QVERIFY(visto.attivo);
        QCOMPARE(risposta.pulsante, 0);
    }

    // How the user answers a question with several buttons, and which index comes back.
    void buttonsKeepOrderAndAnswerWhichWasPressed_data()
    {
        QTest::addColumn<QStringList>("etichette");
        QTest::addColumn<QString>("azione"); // "click N", "enter", "escape"
        QTest::addColumn<int>("atteso");
        const QStringList due{"Cancella", "Annulla"};
        const QStringList tre{"Sincronizza", "Solo da A a B", "Annulla"};
        QTest::newRow("click first") << due << "click 0" << 0;
        QTest::newRow("click second") << due << "click 1" << 1;
        QTest::newRow("enter = first") << due << "enter" << 0;
        QTest::newRow("escape = last") << due << "escape" << 1;
        QTest::newRow("three, click middle") << tre << "click 1" << 1;
        QTest::newRow("three, enter") << tre << "enter" << 0;
        QTest::newRow("three, escape") << tre << "escape" << 2;
    }
    void buttonsKeepOrderAndAnswerWhichWasPressed()
    {
        QFETCH(QStringList, etichette);
        QFETCH(QString, azione);
        QFETCH(int, atteso);

        QStringList inOrdine;
        QString predefinito;
        bool trovato = false;
        const RispostaAvviso risposta = apriAvviso(
            RichiestaAvviso{"Cancellare la chiavetta?", "Tutti i dati andranno persi.", StileAvviso::critico,
                            etichette, std::nullopt},
            [&](QMessageBox *box) {
                const auto pulsanti = pulsantiDa(box);
                for (QPushButton *b : pulsanti) {
                    inOrdine << b->text();
                    if (b->isDefault())
                        predefinito = b->text();
                }
                if (azione == "enter")
                    QTest::keyClick(box, Qt::Key_Return);
                else if (azione == "escape")
                    QTest::keyClick(box, Qt::Key_Escape);
                else
                    QTest::mouseClick(pulsanti.at(azione.section(' ', 1).toInt()), Qt::LeftButton);
            },
            &trovato);

        QVERIFY(trovato);
        QCOMPARE(inOrdine, etichette);
        QCOMPARE(predefinito, etichette.first());
        QCOMPARE(risposta.pulsante, atteso);
    }

    void fieldIsPrefilledOrShowsPlaceholderAndTakesTheFocus_data()
    {
        QTest::addColumn<QString>("prefill");
        QTest::addColumn<QString>("segnaposto");
        QTest::addColumn<QString>("digitato");
        QTest::addColumn<QString>("restituito");
        QTest::addColumn<QString>("screenshot");
        QTest::newRow("prefilled, typing replaces") << "USB_VECCHIA"
                                                    << ""
                                                    << "ECO_2025"
                                                    << "ECO_2025"
                                                    << "avviso-campo-precompilato.png";
        QTest::newRow("placeholder, left empty") << ""
                                                 << "NUOVO NOME"
                                                 << ""
                                                 << ""
                                                 << "avviso-campo-segnaposto.png";
        QTest::newRow("prefilled, kept") << "ECOGRAFIE"
                                         << "NOME"
                                         << ""
                                         << "ECOGRAFIE"
                                         << "";
    }
    void fieldIsPrefilledOrShowsPlaceholderAndTakesTheFocus()
    {
        QFETCH(QString, prefill);
        QFETCH(QString, segnaposto);
        QFETCH(QString, digitato);
        QFETCH(QString, restituito);
        QFETCH(QString, screenshot);

        struct {
            bool haFuoco = false;
            QSize dimensione;
            QString testo, segnaposto;
            bool sottoIlTesto = false, sopraIPulsanti = false;
        } visto;
        bool trovato = false;
        const RispostaAvviso risposta = apriAvviso(
            RichiestaAvviso{"Formatta la chiavetta", "Scegli il nome della chiavetta (massimo 11 caratteri).",
                            StileAvviso::avvertenza, QStringList{"Formatta", "Annulla"},
                            CampoTesto{prefill, segnaposto}},
            [&](QMessageBox *box) {
                auto *campo = box->findChild<QLineEdit *>("campoAvviso");
                if (!campo)
                    return box->reject();
                visto.haFuoco = QTest::qWaitFor([campo] { return campo->hasFocus(); });
                visto.dimensione = campo->size();
                visto.testo = campo->text();
                visto.segnaposto = campo->placeholderText();
                const QRect rCampo(campo->mapTo(box, QPoint()), campo->size());
                auto *testo = box->findChild<QLabel *>("qt_msgbox_informativelabel");
                auto *pulsanti = box->findChild<QDialogButtonBox *>();
                visto.sottoIlTesto = rCampo.top() >= testo->geometry().bottom();
                visto.sopraIPulsanti = rCampo.bottom() <= pulsanti->geometry().top();
                if (!screenshot.isEmpty())
                    box->grab().save(QDir(TestSupport::artifactsDir()).filePath(screenshot));
                if (!digitato.isEmpty())
                    QTest::keyClicks(campo, digitato); // the pre-filled text is selected
                QTest::keyClick(campo, Qt::Key_Return);
            },
            &trovato);

        QVERIFY(trovato);
        QVERIFY(visto.haFuoco);
        QCOMPARE(visto.dimensione, QSize(260, 24));
        QCOMPARE(visto.testo, prefill);
        QCOMPARE(visto.segnaposto, segnaposto);
        QVERIFY(visto.sottoIlTesto);
        QVERIFY(visto.sopraIPulsanti);
        QCOMPARE(risposta.pulsante, 0);
        QCOMPARE(risposta.testoCampo, restituito);
    }

    // The notification fallback opens from inside a D-Bus reply handler; it
    // must be a real, answerable alert there too.
    void notificationWithoutServerBecomesAModalAlert()
    {
        DBusMockFixture bus;
        QVERIFY2(bus.start(), qPrintable(bus.error()));
        MessageBoxPresenter presenter;
        FreedesktopNotifier notifier(bus.connection(), presenter);

        struct {
            QMessageBox::Icon icona{};
            QString titolo, testo;
            int pulsanti = 0;
        } visto;
        bool trovato = false, finita = false;
        // A timer, because it also fires inside the alert's own modal loop.
        QTimer cerca;
        connect(&cerca, &QTimer::timeout, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            if (trovato) // Return did not close it: close it anyway and let the checks fail
                return void(box->close());
            trovato = true;
            visto = {box->icon(), box->text(), box->informativeText(), int(box->buttons().size())};
            QTest::keyClick(box, Qt::Key_Return);
        });
        cerca.start(10);
        QCoro::connect(notifier.notifica("Chiavetta pronta", "La chiavetta ECO è pronta."), this,
                       [&] { finita = true; });
        QVERIFY(QTest::qWaitFor([&] { return finita; }, 10000));

        QVERIFY(trovato);
        QCOMPARE(visto.icona, QMessageBox::Information);
        QCOMPARE(visto.titolo, QString("Chiavetta pronta"));
        QCOMPARE(visto.testo, QString("La chiavetta ECO è pronta."));
        QCOMPARE(visto.pulsanti, 1);
    }
};

QTEST_MAIN(TestAvvisi)
#include "TestAvvisi.moc"
