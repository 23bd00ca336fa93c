// The icon artwork painted with Qt: one painter for the dialog's icons and
// for the desktop's icon files, so both come from the same shape lists.
#include "platform/icon_paint.h"

#include "platform/dialog_internal.h"

#include <QLinearGradient>
#include <QPen>

#include <algorithm>
#include <cmath>

namespace {

void strokeArc(QPainter& painter, const QColor& colour, float cx, float cy, float r, float pen,
               float start, float span) {
    painter.setPen(QPen(colour, pen, Qt::SolidLine, Qt::RoundCap));
    painter.setBrush(Qt::NoBrush);
    const QRectF box(cx - r, cy - r, 2 * r, 2 * r);
    painter.drawArc(box, static_cast<int>(std::lround(start * 16)),
                    static_cast<int>(std::lround(span * 16)));
}

} // namespace

void paintIconShapes(QPainter& painter, std::span<const ICONSHAPE> shapes) {
    painter.setRenderHint(QPainter::Antialiasing);
    for (const ICONSHAPE& s : shapes) {
        const QColor colour = dialog_internal::toQColor(s.colour);
        const auto& v = s.v;
        switch (s.kind) {
        case IconShapeKind::RoundedSquare: {
            QLinearGradient fill(v[0], v[1], v[0], v[1] + v[2]);
            fill.setColorAt(0, colour);
            fill.setColorAt(1, dialog_internal::toQColor(s.colour2));
            painter.setPen(Qt::NoPen);
            painter.setBrush(fill);
            painter.drawRoundedRect(QRectF(v[0], v[1], v[2], v[2]), v[3], v[3]);
            break;
        }
        case IconShapeKind::Disc:
            painter.setPen(Qt::NoPen);
            painter.setBrush(colour);
            painter.drawEllipse(QPointF(v[0], v[1]), v[2], v[2]);
            break;
        case IconShapeKind::Arc:
            strokeArc(painter, colour, v[0], v[1], v[2], v[3], v[4], v[5]);
            break;
        case IconShapeKind::Line:
            painter.setPen(QPen(colour, v[4], Qt::SolidLine, Qt::RoundCap));
            painter.drawLine(QPointF(v[0], v[1]), QPointF(v[2], v[3]));
            break;
        case IconShapeKind::DashRing: {
            const int count = std::max(1, static_cast<int>(v[4]));
            for (int i = 0; i < count; ++i) {
                const float centre = 90.0f - 360.0f * static_cast<float>(i) / count;
                strokeArc(painter, colour, v[0], v[1], v[2], v[3], centre - v[5] / 2, v[5]);
            }
            break;
        }
        }
    }
}
