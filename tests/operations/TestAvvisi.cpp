#include "ui/AvvisiInFinestra.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {
// Finds the open alert from inside its modal loop and runs `azione` on it once;
// one still open after that is closed, so a broken alert fails the test
// instead of hanging it.
struct Sorvegliante {
    explicit Sorvegliante(std::function<void(QMessageBox *)> azione)
    {
        QObject::connect(&timer, &QTimer::timeout, &timer, [this, azione] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || occupato)
                return;
            if (trovato)
                return void(box->close());
            trovato = occupato = true;
            azione(box);
            occupato = false;
        });
        timer.start(10);
    }
    QTimer timer;
    bool trovato = false, occupato = false;
};

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
    void alertShowsPlainTextsAndAnswersThePressedButton_data()
    {
        QTest::addColumn<QStringList>("pulsanti");
        QTest::addColumn<QString>("prefill"); // null = no field
        QTest::addColumn<QString>("segnaposto");
        QTest::addColumn<QString>("azione"); // "enter", "escape", "click N", "type TEXT" (then Return)
        QTest::addColumn<int>("atteso");
        QTest::addColumn<QString>("testoCampo");
        const QStringList tre{"Sincronizza", "Solo da A a B", "Annulla"}, formatta{"Formatta", "Annulla"};
        const auto riga = [](const char *nome, const QStringList &pulsanti, const QString &prefill,
                             const char *segnaposto, const char *azione, int atteso, const char *campo = "") {
            QTest::newRow(nome) << pulsanti << prefill << segnaposto << azione << atteso << campo;
        };
        riga("one OK", {}, {}, "", "enter", 0);
        riga("escape = last", formatta, {}, "", "escape", 1);
        riga("click middle", tre, {}, "", "click 1", 1);
        riga("prefilled, typing replaces", formatta, "USB_VECCHIA", "", "type ECO_2025", 0, "ECO_2025");
        riga("placeholder, left empty", formatta, "", "NUOVO NOME", "type ", 0);
    }
    void alertShowsPlainTextsAndAnswersThePressedButton()
    {
        QFETCH(QStringList, pulsanti);
        QFETCH(QString, prefill);
        QFETCH(QString, segnaposto);
        QFETCH(QString, azione);
        QFETCH(int, atteso);
        QFETCH(QString, testoCampo);
        // Names of files and sticks reach these texts; they must not become markup.
        const QString titolo = "<b>Copia</b> completata", testo = "File <i>a&b</i>.jpg non verificato";
        Sorvegliante s([&](QMessageBox *box) {
            QCOMPARE(box->text(), titolo);
            QCOMPARE(box->informativeText(), testo);
            auto *etichetta = box->findChild<QLabel *>("qt_msgbox_informativelabel");
            QCOMPARE(box->findChild<QLabel *>("qt_msgbox_label")->textFormat(), Qt::PlainText);
            QCOMPARE(etichetta->textFormat(), Qt::PlainText);
            QVERIFY(box->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
            QTRY_COMPARE(QApplication::activeWindow(), box);
            const auto visti = pulsantiDa(box);
            QStringList etichette;
            for (QPushButton *b : visti)
                etichette << b->text();
            QCOMPARE(etichette, pulsanti.isEmpty() ? QStringList{"OK"} : pulsanti);
            QVERIFY(visti.first()->isDefault());
            auto *campo = box->findChild<QLineEdit *>("campoAvviso");
            QCOMPARE(campo != nullptr, !prefill.isNull());
            if (campo) {
                QTRY_VERIFY(campo->hasFocus());
                QCOMPARE(campo->text(), prefill);
                QCOMPARE(campo->placeholderText(), segnaposto);
                const QRect r(campo->mapTo(box, QPoint()), campo->size());
                QVERIFY(r.top() >= etichetta->geometry().bottom());
                QVERIFY(r.bottom() <= box->findChild<QDialogButtonBox *>()->geometry().top());
                QTest::keyClicks(campo, azione.mid(5)); // the pre-filled text is selected
                QTest::keyClick(campo, Qt::Key_Return);
            } else if (azione.startsWith("click")) {
                QTest::mouseClick(visti.at(azione.section(' ', 1).toInt()), Qt::LeftButton);
            } else {
                QTest::keyClick(box, azione == "enter" ? Qt::Key_Return : Qt::Key_Escape);
            }
        });
        const std::optional<CampoTesto> campo =
            prefill.isNull() ? std::nullopt : std::optional(CampoTesto{prefill, segnaposto});
        const RispostaAvviso r =
            AvvisiInFinestra().presenta({titolo, testo, StileAvviso::critico, pulsanti, campo});
        QVERIFY(s.trovato);
        QCOMPARE(r.pulsante, atteso);
        QCOMPARE(r.testoCampo, testoCampo);
    }
};

QTEST_MAIN(TestAvvisi)
#include "TestAvvisi.moc"
