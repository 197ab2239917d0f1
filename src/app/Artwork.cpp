#include "app/Artwork.h"

#include <QFont>
#include <QLinearGradient>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <cmath>

namespace mk::artwork {

namespace {

// A marionette's head on its strings: the mark on the icon, logo and splash.
void drawMark(QPainter& p, const QRectF& r)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const double w = r.width();
    const QPointF c = r.center();
    p.setPen(QPen(QColor(230, 190, 90), w * 0.03));
    p.drawLine(QPointF(r.left() + w * 0.15, r.top() + w * 0.08), QPointF(r.right() - w * 0.15, r.top() + w * 0.08));
    for (double fx : {0.3, 0.5, 0.7})
        p.drawLine(QPointF(r.left() + w * fx, r.top() + w * 0.08), QPointF(c.x() + (fx - 0.5) * w * 0.6, c.y()));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(200, 60, 50));
    p.drawEllipse(QPointF(c.x(), c.y() + w * 0.12), w * 0.28, w * 0.3);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(c.x() - w * 0.1, c.y() + w * 0.06), w * 0.07, w * 0.08);
    p.drawEllipse(QPointF(c.x() + w * 0.1, c.y() + w * 0.06), w * 0.07, w * 0.08);
    p.setBrush(Qt::black);
    p.drawEllipse(QPointF(c.x() - w * 0.1, c.y() + w * 0.07), w * 0.03, w * 0.04);
    p.drawEllipse(QPointF(c.x() + w * 0.1, c.y() + w * 0.07), w * 0.03, w * 0.04);
    p.drawRoundedRect(QRectF(c.x() - w * 0.12, c.y() + w * 0.24, w * 0.24, w * 0.06), w * 0.02, w * 0.02);
    p.restore();
}

QIcon symbol(void (*draw)(QPainter&, double))
{
    QPixmap pm(48, 48);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 40, 40));
    draw(p, 48);
    return QIcon(pm);
}

} // namespace

QIcon applicationIcon()
{
    QPixmap pm(64, 64);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    drawMark(p, QRectF(0, 0, 64, 64));
    return QIcon(pm);
}

QPixmap logo(int height)
{
    const QString name = QStringLiteral("MarionetteKit");
    QFont f;
    f.setPixelSize(height * 45 / 100);
    f.setBold(true);
    // Fonts differ from machine to machine: the picture is as wide as the
    // name needs, with a margin, rather than a width the name may not fit.
    const QRectF text(height * 1.1, 0, QFontMetricsF(f).boundingRect(name).width() + height * 0.1, height);
    QPixmap pm(int(std::ceil(text.right() + height * 0.1)), height);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    drawMark(p, QRectF(0, 0, height, height));
    p.setFont(f);
    p.setPen(QColor(60, 60, 60));
    p.drawText(text, Qt::AlignVCenter | Qt::AlignLeft, name);
    return pm;
}

QPixmap splashPicture()
{
    QPixmap pm(480, 300);
    QPainter p(&pm);
    QLinearGradient g(0, 0, 0, 300);
    g.setColorAt(0, QColor(30, 20, 50));
    g.setColorAt(1, QColor(90, 30, 40));
    p.fillRect(pm.rect(), g);
    drawMark(p, QRectF(30, 40, 170, 170));
    QFont f = p.font();
    f.setBold(true);
    // Fonts differ from machine to machine: the name is made to fit its room.
    const QString name = QStringLiteral("MarionetteKit");
    for (int px = 38; px > 12; --px) {
        f.setPixelSize(px);
        if (QFontMetrics(f).horizontalAdvance(name) <= 260)
            break;
    }
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRectF(200, 80, 270, 60), Qt::AlignLeft | Qt::AlignVCenter, name);
    f.setPixelSize(15);
    f.setBold(false);
    p.setFont(f);
    p.drawText(QRectF(202, 135, 270, 60), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
               QStringLiteral("Servo animation in step with sound"));
    p.drawText(QRectF(20, 260, 440, 30), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("Version " MK_VERSION));
    return pm;
}

QIcon playIcon()
{
    return symbol([](QPainter& p, double s) {
        p.drawPolygon(QPolygonF({QPointF(s * 0.3, s * 0.2), QPointF(s * 0.8, s * 0.5), QPointF(s * 0.3, s * 0.8)}));
    });
}

QIcon stopIcon()
{
    return symbol([](QPainter& p, double s) { p.drawRect(QRectF(s * 0.25, s * 0.25, s * 0.5, s * 0.5)); });
}

QIcon rewindIcon()
{
    return symbol([](QPainter& p, double s) {
        p.drawRect(QRectF(s * 0.18, s * 0.25, s * 0.08, s * 0.5));
        p.drawPolygon(QPolygonF({QPointF(s * 0.55, s * 0.25), QPointF(s * 0.27, s * 0.5), QPointF(s * 0.55, s * 0.75)}));
        p.drawPolygon(QPolygonF({QPointF(s * 0.83, s * 0.25), QPointF(s * 0.55, s * 0.5), QPointF(s * 0.83, s * 0.75)}));
    });
}

} // namespace mk::artwork
