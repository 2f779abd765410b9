#include "ui/AvvisiInFinestra.h"

#include "comune/Marchio.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace {
QMessageBox::Icon icona(StileAvviso stile)
{
    switch (stile) {
    case StileAvviso::avvertenza:
        return QMessageBox::Warning;
    case StileAvviso::informativo:
        return QMessageBox::Information;
    case StileAvviso::critico:
        return QMessageBox::Critical;
    }
    return QMessageBox::Information;
}

// QMessageBox has no slot for an accessory widget: the field goes in the text
// column right under the informative text, and the buttons move one row down.
void inserisciSottoIlTesto(QMessageBox &box, QWidget *campo)
{
    auto *grid = qobject_cast<QGridLayout *>(box.layout());
    auto *pulsanti = box.findChild<QDialogButtonBox *>();
    auto *testo = box.findChild<QLabel *>(QStringLiteral("qt_msgbox_informativelabel"));
    const int iPulsanti = grid && pulsanti ? grid->indexOf(pulsanti) : -1;
    const int iTesto = grid && testo ? grid->indexOf(testo) : -1;
    if (iPulsanti < 0 || iTesto < 0) {
        // A layout we do not know: still show the field rather than lose it.
        if (grid)
            grid->addWidget(campo, grid->rowCount(), 0, 1, grid->columnCount(), Qt::AlignLeft);
        return;
    }
    int rigaP, colP, righeP, colonneP, rigaT, colT, righeT, colonneT;
    grid->getItemPosition(iPulsanti, &rigaP, &colP, &righeP, &colonneP);
    grid->getItemPosition(iTesto, &rigaT, &colT, &righeT, &colonneT);
    grid->removeWidget(pulsanti);
    grid->addWidget(campo, rigaP, colT, 1, colonneT, Qt::AlignLeft);
    grid->addWidget(pulsanti, rigaP + 1, colP, righeP, colonneP);
}
} // namespace

RispostaAvviso AvvisiInFinestra::presenta(const RichiestaAvviso &richiesta)
{
    QMessageBox box;
    box.setIcon(icona(richiesta.stile));
    box.setWindowTitle(Marchio::nomeProdotto);
    // File and stick names end up in these texts; a name like "<b>.jpg" must
    // not turn into markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(richiesta.titolo);
    box.setInformativeText(richiesta.testo);
    if (auto *informativo = box.findChild<QLabel *>(QStringLiteral("qt_msgbox_informativelabel")))
        informativo->setTextFormat(Qt::PlainText);
    // Tessera lives in the tray: without this the alert can open behind the
    // window the user is working in and the operation seems to hang.
    box.setWindowFlag(Qt::WindowStaysOnTopHint);

    QList<QAbstractButton *> pulsanti;
    if (richiesta.pulsanti.isEmpty()) {
        pulsanti << box.addButton(QMessageBox::Ok);
    } else {
        // One role for all keeps the buttons in the caller's order whatever
        // the desktop's button layout would do with accept/reject roles.
        for (const QString &etichetta : richiesta.pulsanti)
            pulsanti << box.addButton(etichetta, QMessageBox::ActionRole);
        const qsizetype esc = richiesta.pulsanteEsc.value_or(-1);
        box.setEscapeButton(esc >= 0 && esc < pulsanti.size() ? pulsanti.at(esc) : pulsanti.last());
    }
    box.setDefaultButton(qobject_cast<QPushButton *>(pulsanti.first()));

    QLineEdit *campo = nullptr;
    if (richiesta.campo) {
        campo = new QLineEdit(&box);
        campo->setObjectName(QStringLiteral("campoAvviso"));
        campo->setFixedSize(260, 24);
        campo->setText(richiesta.campo->testo);
        campo->setPlaceholderText(richiesta.campo->segnaposto);
        campo->selectAll();
        inserisciSottoIlTesto(box, campo);
        // After setDefaultButton, which takes the focus for the button.
        campo->setFocus(Qt::OtherFocusReason);
    }

    box.show();
    box.raise();
    box.activateWindow();
    box.exec();

    RispostaAvviso risposta;
    risposta.pulsante = int(pulsanti.indexOf(box.clickedButton()));
    if (campo)
        risposta.testoCampo = campo->text();
    return risposta;
}
