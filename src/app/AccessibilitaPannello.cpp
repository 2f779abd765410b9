#include "app/AccessibilitaPannello.h"

#include "app/ColoredActionLabel.h"
#include "app/USBRow.h"

#include <QAccessibleWidget>
#include <QMenu>

namespace {
const QString azioneApri = QStringLiteral("apri");

class AccessibileVoce : public QAccessibleWidget {
public:
    explicit AccessibileVoce(VoceAzione *voce) : QAccessibleWidget(voce, QAccessible::Button) {}

    QAccessible::Role role() const override { return menu() ? QAccessible::ButtonMenu : QAccessible::Button; }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.hasPopup = menu() != nullptr;
        return s;
    }
    QString text(QAccessible::Text t) const override
    {
        // The whole title, also when the panel shows it shortened.
        if (t == QAccessible::Name)
            return voce()->titolo();
        return QAccessibleWidget::text(t);
    }
    int childCount() const override { return menu() ? 1 : 0; }
    QAccessibleInterface *child(int indice) const override
    {
        return indice == 0 && menu() ? QAccessible::queryAccessibleInterface(menu()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface *figlio) const override
    {
        return figlio && menu() && figlio->object() == menu() ? 0 : -1;
    }
    QStringList actionNames() const override { return {menu() ? showMenuAction() : pressAction()}; }
    void doAction(const QString &azione) override
    {
        if (azione == pressAction() || azione == showMenuAction())
            voce()->click();
    }

private:
    VoceAzione *voce() const { return static_cast<VoceAzione *>(widget()); }
    QMenu *menu() const { return voce()->menuVoci(); }
};

class AccessibileRiga : public QAccessibleWidget {
public:
    explicit AccessibileRiga(USBRow *riga) : QAccessibleWidget(riga, QAccessible::ListItem) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name)
            return riga()->descrizione();
        return QAccessibleWidget::text(t);
    }
    QStringList actionNames() const override { return {azioneApri}; }
    QString localizedActionDescription(const QString &azione) const override
    {
        return azione == azioneApri ? QStringLiteral("Apre la chiavetta nel gestore dei file") : QString();
    }
    void doAction(const QString &azione) override
    {
        if (azione == azioneApri)
            riga()->apri();
    }

private:
    USBRow *riga() const { return static_cast<USBRow *>(widget()); }
};

QAccessibleInterface *fabbrica(const QString &classe, QObject *oggetto)
{
    if (classe == QLatin1String("VoceAzione"))
        return new AccessibileVoce(static_cast<VoceAzione *>(oggetto));
    if (classe == QLatin1String("USBRow"))
        return new AccessibileRiga(static_cast<USBRow *>(oggetto));
    if (classe == QLatin1String("MenuBarView")) // a window of its own, also as a drop-down
        return new QAccessibleWidget(static_cast<QWidget *>(oggetto), QAccessible::Window);
    if (classe == QLatin1String("ElencoRighe"))
        return new QAccessibleWidget(static_cast<QWidget *>(oggetto), QAccessible::List,
                                     QStringLiteral("USB inserite"));
    // Qt's own interface for a scroll area counts only the scroll bars shown,
    // and gives child(i) without checking i: a reader that counted just
    // before a bar went away (the panel has room again when a card goes)
    // asks for one past the end, and the program reads beyond the list and
    // crashes. The area's child widgets, hidden bars included, do not change
    // with the room, and an index out of range gives no child.
    if (classe == QLatin1String("QScrollArea"))
        return new QAccessibleWidget(static_cast<QWidget *>(oggetto), QAccessible::Client);
    return nullptr;
}
} // namespace

void installaAccessibilitaPannello()
{
    static const bool installata = [] {
        QAccessible::installFactory(fabbrica);
        return true;
    }();
    Q_UNUSED(installata);
}
