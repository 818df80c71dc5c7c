#include "ui/plot_painting.h"

#include <QFont>
#include <QPointF>
#include <QRectF>
#include <algorithm>

namespace corvex::ui {

QRect BeginPlot(QPainter& painter, QRect area, int leftMargin, int topMargin, int bottomMargin) {
  painter.fillRect(area, Qt::white);
  const QRect plot = area.adjusted(leftMargin, topMargin, -6, -bottomMargin);
  painter.setPen(QColor(170, 170, 170));
  painter.drawRect(plot);
  QFont small = painter.font();
  small.setPointSizeF(std::max(small.pointSizeF() * 0.85, 6.0));
  painter.setFont(small);
  return plot;
}

void ValueLine(QPainter& painter, QRect area, QRect plot, int leftMargin, double y,
               const QColor& colour, const QString& label) {
  painter.setPen(colour);
  painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
  painter.setPen(Qt::black);
  painter.drawText(QRectF(area.left(), y - 8, leftMargin - 4, 16),
                   Qt::AlignRight | Qt::AlignVCenter, label);
}

}  // namespace corvex::ui
