#include "operations/MessageBoxPresenter.h"

#include <QApplication>
#include <QGridLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

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
} // namespace

RispostaAvviso MessageBoxPresenter::presenta(const RichiestaAvviso &richiesta)
{
    QMessageBox box;
    box.setIcon(icona(richiesta.stile));
    box.setWindowTitle(QStringLiteral("Tessera"));
    box.setText(richiesta.titolo);
    box.setInformativeText(richiesta.testo);
    box.setTextFormat(Qt::PlainText);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);

    QList<QAbstractButton *> pulsanti;
    if (richiesta.pulsanti.isEmpty()) {
        pulsanti << box.addButton(QMessageBox::Ok);
    } else {
        for (int i = 0; i < richiesta.pulsanti.size(); ++i) {
            // The last of several buttons is the way out (Escape), the first the default.
            const auto ruolo = (i > 0 && i == richiesta.pulsanti.size() - 1) ? QMessageBox::RejectRole
                                                                             : QMessageBox::AcceptRole;
            pulsanti << box.addButton(richiesta.pulsanti.at(i), ruolo);
        }
    }
    box.setDefaultButton(qobject_cast<QPushButton *>(pulsanti.first()));

    QLineEdit *campo = nullptr;
    if (richiesta.campo) {
        campo = new QLineEdit(&box);
        campo->setObjectName(QStringLiteral("campoAvviso"));
        campo->setFixedSize(260, 24);
        campo->setText(richiesta.campo->testo);
        campo->setPlaceholderText(richiesta.campo->segnaposto);
        if (auto *grid = qobject_cast<QGridLayout *>(box.layout())) {
            // Under the informative text, in the text column.
            grid->addWidget(campo, grid->rowCount(), 1, 1, 1, Qt::AlignLeft);
        }
        QTimer::singleShot(0, campo, [campo] {
            campo->setFocus(Qt::OtherFocusReason);
            campo->selectAll();
        });
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
