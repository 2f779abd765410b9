#pragma once

#include "ui/Aspetto.h"

#include <QFontMetrics>
#include <QString>
#include <QVBoxLayout>
#include <QWidget>
#include <utility>

// Small pieces the panel's view and its sections share.

inline QVBoxLayout *colonna(QWidget *w, int spazio)
{
    auto *v = new QVBoxLayout(w);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(spazio);
    return v;
}

// A stick's name in a menu: a very long one loses its middle rather than
// stretching the menu off the screen.
inline QString nomeInMenu(const QString &nome)
{
    return QFontMetrics(Aspetto::corpo()).elidedText(nome, Qt::ElideMiddle, 240);
}

// Calls a command that the application may not have wired (yet).
template <typename F, typename... A> void esegui(const F &f, A &&...argomenti)
{
    if (f)
        f(std::forward<A>(argomenti)...);
}
