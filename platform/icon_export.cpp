// Icon artwork to PNG and SVG files, through the dialog's own painter.
#include "platform/icon_export.h"

#include "platform/icon_paint.h"

#include <QImage>
#include <QString>
#include <QSvgGenerator>

BOOL WriteIconPngA(LPCSTR szPath, std::span<const ICONSHAPE> shapes, int nSize) {
    if (szPath == nullptr || nSize <= 0)
        return FALSE;
    QImage image(nSize, nSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        const double scale = static_cast<double>(nSize) / ICON_CANVAS;
        painter.scale(scale, scale);
        paintIconShapes(painter, shapes);
    }
    return image.save(QString::fromUtf8(szPath), "PNG") ? TRUE : FALSE;
}

BOOL WriteIconSvgA(LPCSTR szPath, std::span<const ICONSHAPE> shapes, LPCSTR szTitle) {
    if (szPath == nullptr)
        return FALSE;
    QSvgGenerator svg;
    svg.setFileName(QString::fromUtf8(szPath));
    svg.setSize(QSize(ICON_CANVAS, ICON_CANVAS));
    svg.setViewBox(QRect(0, 0, ICON_CANVAS, ICON_CANVAS));
    if (szTitle != nullptr)
        svg.setTitle(QString::fromUtf8(szTitle));
    QPainter painter;
    if (!painter.begin(&svg))
        return FALSE;
    paintIconShapes(painter, shapes);
    return painter.end() ? TRUE : FALSE;
}
