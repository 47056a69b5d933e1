#include "ui/icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace tolvane {
namespace {

void DrawCross(QPainter& p, const QColor& colour, qreal width) {
  p.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
  p.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
}

void DrawSign(QPainter& p, const QColor& colour, const QString& letter) {
  p.setPen(colour.darker(140));
  p.setBrush(colour);
  p.drawEllipse(QRectF(1, 1, 14, 14));
  QFont font = p.font();
  font.setBold(true);
  font.setPixelSize(11);
  p.setFont(font);
  p.setPen(Qt::white);
  p.drawText(QRectF(1, 1, 14, 14), Qt::AlignCenter, letter);
}

void DrawPicture(QPainter& p, const QRectF& frame) {
  p.setPen(QColor(40, 40, 40));
  p.setBrush(QColor(120, 180, 240));
  p.drawRect(frame);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(60, 150, 60));
  QPolygonF hill;
  hill << frame.bottomLeft() << QPointF(frame.center().x(), frame.center().y())
       << frame.bottomRight();
  p.drawPolygon(hill);
}

void Paint(QPainter& p, IconKind kind) {
  switch (kind) {
    case IconKind::kOpenFolder: {
      p.setPen(QColor(150, 110, 20));
      p.setBrush(QColor(240, 200, 80));
      p.drawRect(QRectF(1.5, 4.5, 12, 9));
      QPolygonF lid;
      lid << QPointF(3.5, 7.5) << QPointF(15.5, 7.5) << QPointF(13.5, 13.5) << QPointF(1.5, 13.5);
      p.setBrush(QColor(255, 225, 120));
      p.drawPolygon(lid);
      break;
    }
    case IconKind::kRedCross:
      DrawCross(p, QColor(210, 20, 20), 3);
      break;
    case IconKind::kThinRedCross:
      DrawCross(p, QColor(210, 20, 20), 1.2);
      break;
    case IconKind::kRedMinus:
      p.fillRect(QRectF(2, 6.5, 12, 3), QColor(210, 20, 20));
      break;
    case IconKind::kDoor:
      p.setPen(QColor(90, 50, 10));
      p.setBrush(QColor(160, 100, 40));
      p.drawRect(QRectF(3.5, 1.5, 9, 13));
      p.setBrush(QColor(240, 210, 60));
      p.drawEllipse(QRectF(9.5, 7.5, 2, 2));
      break;
    case IconKind::kReturnArrow: {
      p.setPen(QPen(QColor(20, 150, 40), 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      QPainterPath path(QPointF(13, 3));
      path.lineTo(13, 10);
      path.lineTo(4, 10);
      p.drawPath(path);
      p.drawLine(QPointF(4, 10), QPointF(7, 7));
      p.drawLine(QPointF(4, 10), QPointF(7, 13));
      break;
    }
    case IconKind::kRun: {
      QPolygonF play;
      play << QPointF(4, 2) << QPointF(14, 8) << QPointF(4, 14);
      p.setPen(QColor(10, 100, 20));
      p.setBrush(QColor(40, 180, 60));
      p.drawPolygon(play);
      break;
    }
    case IconKind::kStop:
      p.setPen(QColor(10, 40, 120));
      p.setBrush(QColor(40, 90, 210));
      p.drawRoundedRect(QRectF(2.5, 2.5, 11, 11), 2, 2);
      break;
    case IconKind::kQuestion:
      DrawSign(p, QColor(40, 90, 210), QStringLiteral("?"));
      break;
    case IconKind::kInformation:
      DrawSign(p, QColor(30, 130, 200), QStringLiteral("i"));
      break;
    case IconKind::kTwoPictures:
      DrawPicture(p, QRectF(0.5, 4.5, 7, 7));
      DrawPicture(p, QRectF(8.5, 4.5, 7, 7));
      break;
    case IconKind::kCheckMark: {
      p.setPen(QPen(QColor(20, 160, 40), 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      QPolygonF tick;
      tick << QPointF(3, 8) << QPointF(6.5, 12) << QPointF(13, 4);
      p.drawPolyline(tick);
      break;
    }
  }
}

}  // namespace

QPixmap DrawnPicture(IconKind kind, int side) {
  QPixmap pixmap(side, side);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(side / 16.0, side / 16.0);
  Paint(painter, kind);
  painter.end();
  return pixmap;
}

QIcon DrawnIcon(IconKind kind) { return QIcon(DrawnPicture(kind, 16)); }

}  // namespace tolvane
