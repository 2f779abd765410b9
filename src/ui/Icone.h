#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>
#include <QStringList>

class QPainter;
class QRectF;

// The program names every icon by a symbol name ("externaldrive.fill",
// "doc.on.doc.fill", ...). This maps each name to one SVG of the bundled
// icon set and draws it in one colour.
namespace Icone {
// The resource path of the symbol's SVG; empty when the symbol is unknown.
QString file(const QString &simbolo);

// The symbol drawn in `colore` into a square of `lato` logical pixels.
// An unknown symbol gives a transparent pixmap (and a warning), never a crash.
QPixmap pixmap(const QString &simbolo, const QColor &colore, int lato, qreal dpr = 1.0);
QIcon icona(const QString &simbolo, const QColor &colore);
void disegna(QPainter &p, const QString &simbolo, const QColor &colore, const QRectF &area);
// The round badge of the progress card and of the help's entries: the circle
// `cerchio` tinted with `colore` at 15 %, the symbol `latoSimbolo` wide at its centre.
void disegnaDistintivo(QPainter &p, const QRectF &cerchio, const QString &simbolo, const QColor &colore,
                       qreal latoSimbolo);

// Our logo, "LogoOrvala".
QString fileLogo();
QPixmap logo(int lato, qreal dpr = 1.0);
} // namespace Icone
