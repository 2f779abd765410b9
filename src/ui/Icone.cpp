#include "ui/Icone.h"

#include <cmath>
#include <QFile>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QPixmapCache>
#include <QSvgRenderer>
#include <QtGlobal>

// The resources live in the static GUI library: reference them once so the
// linker keeps them.
static void inizializzaRisorse()
{
    static const bool fatto = [] {
        Q_INIT_RESOURCE(tessera);
        return true;
    }();
    Q_UNUSED(fatto);
}

namespace {
// Symbol name -> file in resources/icons (Tabler Icons). One line per name
// the program uses; test_icons checks that none is missing.
const QHash<QString, QString> &tabella()
{
    static const QHash<QString, QString> t = {
        {"externaldrive.fill", "device-usb-filled"},
        {"externaldrive.badge.questionmark", "device-unknown"},
        {"doc.on.doc.fill", "copy-filled"},
        {"doc.text", "file-text"},
        {"arrow.triangle.2.circlepath", "refresh"},
        {"tray.and.arrow.down.fill", "download-filled"},
        {"square.and.arrow.down", "file-download"},
        {"trash.fill", "trash-filled"},
        {"note.text.badge.plus", "file-plus"},
        {"list.bullet.rectangle", "list-details"},
        {"line.3.horizontal.decrease.circle.fill", "filter-filled"},
        {"info.circle.fill", "info-circle-filled"},
        {"folder.fill", "folder-filled"},
        {"folder.badge.gearshape", "folder-cog"},
        {"exclamationmark.triangle.fill", "alert-triangle-filled"},
        {"eject.fill", "player-eject-filled"},
        {"xmark.circle.fill", "circle-x-filled"},
        {"checkmark.circle.fill", "circle-check-filled"},
        {"questionmark.circle.fill", "help-circle-filled"},
        {"wrench.and.screwdriver.fill", "tools"},
        {"tortoise.fill", "snail"},
        {"lock.shield", "shield-lock"},
        {"gearshape.fill", "settings-filled"},
        {"gearshape", "settings"},
        {"bell.badge", "bell-ringing"},
        {"arrow.down.circle", "circle-arrow-down"},
        {"arrow.counterclockwise", "rotate"},
        {"film", "movie"},
        {"photo", "photo"},
        {"globe", "world"},
        {"sparkles", "sparkles-filled"},
        {"stethoscope", "stethoscope"},
        {"power", "power"},
        {"magnifyingglass", "search"},
        {"speedometer", "gauge"},
        {"percent", "percentage"},
        {"textformat", "letter-case"},
    };
    return t;
}

QSvgRenderer *renderer(const QString &percorso)
{
    // One parsed SVG per file for the life of the program: icons are redrawn
    // on every panel change.
    static QHash<QString, QSvgRenderer *> cache;
    auto it = cache.find(percorso);
    if (it == cache.end())
        it = cache.insert(percorso, new QSvgRenderer(percorso));
    return *it;
}

QImage tinta(QSvgRenderer *r, const QColor &colore, const QSize &dim)
{
    QImage img(dim, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    if (!r->isValid())
        return img;
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    r->render(&p, QRectF(QPointF(0, 0), dim));
    // Keep the icon's shape and coverage, replace its colour.
    p.setCompositionMode(QPainter::CompositionMode_SourceIn);
    p.fillRect(img.rect(), colore);
    return img;
}
} // namespace

namespace Icone {

QString file(const QString &simbolo)
{
    inizializzaRisorse();
    const auto it = tabella().constFind(simbolo);
    if (it == tabella().constEnd())
        return QString();
    return QStringLiteral(":/icone/%1.svg").arg(*it);
}

QPixmap pixmap(const QString &simbolo, const QColor &colore, int lato, qreal dpr)
{
    const QString chiave =
        QStringLiteral("icona/%1/%2/%3/%4").arg(simbolo, colore.name(QColor::HexArgb)).arg(lato).arg(dpr);
    QPixmap pm;
    if (QPixmapCache::find(chiave, &pm))
        return pm;
    const int px = qMax(1, int(std::lround(lato * dpr)));
    const QString percorso = file(simbolo);
    if (percorso.isEmpty()) {
        qWarning("Icone: nessuna icona per il simbolo \"%s\"", qPrintable(simbolo));
        pm = QPixmap(px, px);
        pm.fill(Qt::transparent);
    } else {
        pm = QPixmap::fromImage(tinta(renderer(percorso), colore, QSize(px, px)));
    }
    pm.setDevicePixelRatio(dpr);
    QPixmapCache::insert(chiave, pm);
    return pm;
}

QIcon icona(const QString &simbolo, const QColor &colore)
{
    QIcon ic;
    for (int lato : {16, 20, 24, 32})
        ic.addPixmap(pixmap(simbolo, colore, lato));
    QColor spento = colore;
    spento.setAlphaF(colore.alphaF() * 0.35);
    for (int lato : {16, 20, 24, 32})
        ic.addPixmap(pixmap(simbolo, spento, lato), QIcon::Disabled);
    return ic;
}

void disegna(QPainter &p, const QString &simbolo, const QColor &colore, const QRectF &area)
{
    const qreal dpr = p.device() ? p.device()->devicePixelRatioF() : 1.0;
    const int lato = int(std::ceil(qMin(area.width(), area.height())));
    const QPixmap pm = pixmap(simbolo, colore, lato, dpr);
    const QRectF dest(area.center().x() - lato / 2.0, area.center().y() - lato / 2.0, lato, lato);
    p.drawPixmap(dest, pm, QRectF(QPointF(0, 0), pm.size()));
}

void disegnaDistintivo(QPainter &p, const QRectF &cerchio, const QString &simbolo, const QColor &colore,
                       qreal latoSimbolo)
{
    QColor tinta = colore;
    tinta.setAlphaF(0.15f);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(tinta);
    p.drawEllipse(cerchio);
    p.restore();
    const qreal m = latoSimbolo / 2.0;
    disegna(p, simbolo, colore, QRectF(cerchio.center() - QPointF(m, m), QSizeF(latoSimbolo, latoSimbolo)));
}

QString fileLogo()
{
    inizializzaRisorse();
    return QStringLiteral(":/LogoOrvala.svg");
}

QPixmap logo(int lato, qreal dpr)
{
    const int px = qMax(1, int(std::lround(lato * dpr)));
    QImage img(px, px, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QSvgRenderer r(fileLogo());
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    r.render(&p, QRectF(0, 0, px, px));
    p.end();
    QPixmap pm = QPixmap::fromImage(img);
    pm.setDevicePixelRatio(dpr);
    return pm;
}

} // namespace Icone
