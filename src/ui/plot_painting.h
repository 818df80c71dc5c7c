// Painting the small graphs share (focus and guiding): the plot's frame and its value grid.
#pragma once

#include <QColor>
#include <QPainter>
#include <QRect>
#include <QString>

namespace corvex::ui {

// Fills `area` white, draws the border of the plot inside the given margins (six pixels on
// the right) and makes the painter's font smaller for the labels. Returns the plot's rectangle.
QRect BeginPlot(QPainter& painter, QRect area, int leftMargin, int topMargin, int bottomMargin);

// A horizontal grid line across `plot` at height y in `colour`, and its label in black,
// right-aligned in the left margin of `area`.
void ValueLine(QPainter& painter, QRect area, QRect plot, int leftMargin, double y,
               const QColor& colour, const QString& label);

}  // namespace corvex::ui
