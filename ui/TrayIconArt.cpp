#include "TrayIconArt.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {
constexpr int canvas = 64;

void drawKey(QPainter &painter, const QColor &color)
{
    painter.setPen(QPen(color, 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QPointF(20, 22), 11, 11);
    painter.drawLine(QPointF(28, 30), QPointF(52, 54));
    painter.drawLine(QPointF(44, 46), QPointF(50, 40));
    painter.drawLine(QPointF(38, 40), QPointF(43, 35));
}

void drawSlash(QPainter &painter, const QColor &color)
{
    painter.setPen(QPen(color, 6, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(8, 8), QPointF(56, 56));
}

void drawPower(QPainter &painter, const QColor &color)
{
    painter.setPen(QPen(color, 6, Qt::SolidLine, Qt::RoundCap));
    painter.drawArc(QRectF(12, 14, 40, 40), 120 * 16, 300 * 16);
    painter.drawLine(QPointF(32, 8), QPointF(32, 32));
}

void drawOpenApp(QPainter &painter, const QColor &color)
{
    painter.setPen(QPen(color, 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawRoundedRect(QRectF(8, 14, 40, 40), 8, 8);
    painter.drawLine(QPointF(30, 32), QPointF(54, 8));
    painter.drawLine(QPointF(38, 8), QPointF(54, 8));
    painter.drawLine(QPointF(54, 8), QPointF(54, 24));
}

void drawShieldCheck(QPainter &painter, const QColor &color)
{
    QPainterPath shield;
    shield.moveTo(32, 6);
    shield.lineTo(54, 14);
    shield.cubicTo(54, 38, 44, 52, 32, 58);
    shield.cubicTo(20, 52, 10, 38, 10, 14);
    shield.closeSubpath();
    painter.setPen(QPen(color, 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(shield);
    painter.drawPolyline(QPolygonF({QPointF(22, 32), QPointF(30, 40), QPointF(43, 24)}));
}

QPixmap blankCanvas()
{
    QPixmap pixmap(canvas, canvas);
    pixmap.fill(Qt::transparent);
    return pixmap;
}
} // namespace

namespace TrayIconArt {

QIcon symbol(const QString &name, const QColor &color)
{
    QPixmap pixmap = blankCanvas();
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    if (name == QLatin1StringView("key.fill")) {
        drawKey(painter, color);
    } else if (name == QLatin1StringView("key.slash")) {
        drawKey(painter, color);
        drawSlash(painter, color);
    } else if (name == QLatin1StringView("power")) {
        drawPower(painter, color);
    } else if (name == QLatin1StringView("arrow.up.forward.app")) {
        drawOpenApp(painter, color);
    } else if (name == QLatin1StringView("checkmark.shield")) {
        drawShieldCheck(painter, color);
    }
    painter.end();
    return QIcon(pixmap);
}

QIcon trayIcon(bool killSwitchActive, const QString &badge)
{
    QPixmap pixmap = symbol(killSwitchActive ? QStringLiteral("key.slash") : QStringLiteral("key.fill"),
                            killSwitchActive ? QColor(0xf8, 0x51, 0x49) : QColor(0xe6, 0xed, 0xf3))
                         .pixmap(canvas, canvas);
    if (!badge.isEmpty()) {
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF circle(canvas - 34, 0, 34, 34);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0xda, 0x36, 0x33));
        painter.drawEllipse(circle);
        QFont font = painter.font();
        font.setBold(true);
        font.setPixelSize(badge.size() > 2 ? 13 : 20);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(circle, Qt::AlignCenter, badge);
    }
    return QIcon(pixmap);
}

} // namespace TrayIconArt
