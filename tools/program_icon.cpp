// velkor-icon: the program's icon (icon 200, as the dialog draws it from
// its shape list) for the desktop: PNG files of the given sizes and an SVG.
//
// Usage: velkor-icon OUT_DIR SIZE...
//   writes OUT_DIR/velkor-SIZE.png for each size and OUT_DIR/velkor.svg.
#include "app/dialogtemplate.h"

#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QString>
#include <QSvgGenerator>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

QColor colourOf(COLORREF c) {
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

void strokeArc(QPainter& painter, const QColor& colour, float cx, float cy, float r, float pen,
               float start, float span) {
    painter.setPen(QPen(colour, pen, Qt::SolidLine, Qt::RoundCap));
    painter.setBrush(Qt::NoBrush);
    painter.drawArc(QRectF(cx - r, cy - r, 2 * r, 2 * r), static_cast<int>(std::lround(start * 16)),
                    static_cast<int>(std::lround(span * 16)));
}

// The shapes in the canvas's own units (ICON_CANVAS square); the caller
// scales the painter to the output's size. Same meaning of every field as
// on the dialog.
void paintIcon(QPainter& painter) {
    painter.setRenderHint(QPainter::Antialiasing);
    for (const ICONSHAPE& s : VelkorIconShapes()) {
        const QColor colour = colourOf(s.colour);
        const auto& v = s.v;
        switch (s.kind) {
        case IconShapeKind::RoundedSquare: {
            QLinearGradient fill(v[0], v[1], v[0], v[1] + v[2]);
            fill.setColorAt(0, colour);
            fill.setColorAt(1, colourOf(s.colour2));
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

bool writePng(const std::string& szPath, int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.scale(static_cast<double>(size) / ICON_CANVAS,
                      static_cast<double>(size) / ICON_CANVAS);
        paintIcon(painter);
    }
    return image.save(QString::fromStdString(szPath), "PNG");
}

bool writeSvg(const std::string& szPath) {
    QSvgGenerator svg;
    svg.setFileName(QString::fromStdString(szPath));
    svg.setSize(QSize(ICON_CANVAS, ICON_CANVAS));
    svg.setViewBox(QRect(0, 0, ICON_CANVAS, ICON_CANVAS));
    svg.setTitle(QStringLiteral("Velkor QX-4470 Control Program"));
    QPainter painter;
    if (!painter.begin(&svg)) {
        return false;
    }
    paintIcon(painter);
    return painter.end();
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: velkor-icon OUT_DIR SIZE...\n", stderr);
        return 2;
    }
    const std::string szDir = argv[1];
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        const std::string szPath = szDir + "/velkor-" + argv[i] + ".png";
        if (size <= 0 || !writePng(szPath, size)) {
            std::fprintf(stderr, "velkor-icon: cannot write %s\n", szPath.c_str());
            return 1;
        }
    }
    if (!writeSvg(szDir + "/velkor.svg")) {
        std::fprintf(stderr, "velkor-icon: cannot write %s/velkor.svg\n", szDir.c_str());
        return 1;
    }
    return 0;
}
