// Fonts, icons, brushes and colours for the dialog.
#include "platform/dialog_internal.h"
#include "platform/icon_paint.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <map>
#include <span>

namespace dialog_internal {
namespace {

// Every object lives until the program ends (handles never dangle); a
// deque keeps their addresses fixed.
std::deque<Font>& fonts() {
    static std::deque<Font> all;
    return all;
}
std::deque<Brush>& brushes() {
    static std::deque<Brush> all;
    return all;
}
struct IconArt {
    std::span<const ICONSHAPE> shapes;
    Icon icon; // drawn on first load
    bool drawn = false;
};
std::map<int, IconArt>& icons() {
    static std::map<int, IconArt> all;
    return all;
}

// Where the requested face is missing, the substitute is narrowed until
// its digits are no wider than those of the face the layouts were drawn
// for (Tahoma: a digit is about 0.45 of the cell height, 0.52 in bold), so
// a number that fits there fits here.
constexpr double DIGIT_PER_CELL_NORMAL = 0.45;
constexpr double DIGIT_PER_CELL_BOLD = 0.52;

void fitCellHeight(QFont& font, int cellHeight) {
    font.setPixelSize(cellHeight);
    const int height = QFontMetrics(font).height();
    int pixels = std::max(1, cellHeight * cellHeight / std::max(1, height));
    font.setPixelSize(pixels);
    while (QFontMetrics(font).height() < cellHeight) {
        font.setPixelSize(++pixels);
    }
    while (pixels > 1 && QFontMetrics(font).height() > cellHeight) {
        font.setPixelSize(--pixels);
    }
}

void narrowDigits(QFont& font, int cellHeight) {
    const double target = cellHeight * (font.weight() >= QFont::DemiBold ? DIGIT_PER_CELL_BOLD
                                                                         : DIGIT_PER_CELL_NORMAL);
    auto digit = [&font] { return QFontMetricsF(font).horizontalAdvance(QLatin1Char('0')); };
    const double advance = digit();
    if (advance <= target) {
        return;
    }
    // A condensed face or a synthetic stretch keeps the height.
    const int first = static_cast<int>(100.0 * target / advance);
    for (int stretch = first; stretch >= std::max(50, first - 10); --stretch) {
        font.setStretch(stretch);
        if (digit() <= target) {
            return;
        }
    }
    // Neither is to be had: smaller instead.
    font.setStretch(QFont::Unstretched);
    font.setPixelSize(std::max(1, static_cast<int>(font.pixelSize() * target / advance)));
}

QImage drawIcon(std::span<const ICONSHAPE> shapes) {
    QImage image(ICON_CANVAS, ICON_CANVAS, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    paintIconShapes(painter, shapes);
    return image;
}

QString fromUtf8(LPCSTR sz) {
    return sz ? QString::fromUtf8(sz) : QString();
}

} // namespace

const QFont* fontOf(HFONT hFont) {
    for (const Font& f : fonts()) {
        if (&f == hFont) {
            return &f.font;
        }
    }
    return nullptr;
}

const Icon* iconOf(HICON hIcon) {
    for (const auto& [id, art] : icons()) {
        if (&art.icon == hIcon) {
            return &art.icon;
        }
    }
    return nullptr;
}

const Brush* brushOf(LRESULT value) {
    for (const Brush& b : brushes()) {
        if (reinterpret_cast<LRESULT>(&b) == value) {
            return &b;
        }
    }
    return nullptr;
}

QColor toQColor(COLORREF c) {
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

COLORREF toColorRef(const QColor& c) {
    return RGB(c.red(), c.green(), c.blue());
}

} // namespace dialog_internal

using namespace dialog_internal;

int MulDiv(int nNumber, int nNumerator, int nDenominator) {
    if (nDenominator == 0) {
        return -1;
    }
    const long long product = static_cast<long long>(nNumber) * nNumerator;
    const long long half = std::llabs(static_cast<long long>(nDenominator)) / 2;
    const long long magnitude = (std::llabs(product) + half) / std::llabs(nDenominator);
    const bool negative = (product < 0) != (nDenominator < 0);
    const long long result = negative ? -magnitude : magnitude;
    if (result > INT32_MAX || result < INT32_MIN) {
        return -1;
    }
    return static_cast<int>(result);
}

HFONT CreateFontA(int cHeight, int, int, int, int cWeight, DWORD bItalic, DWORD bUnderline,
                  DWORD bStrikeOut, DWORD, DWORD, DWORD, DWORD, DWORD, LPCSTR szFaceName) {
    ensureApplication();
    const QString face = fromUtf8(szFaceName);
    QFont font;
    font.setFamilies({face, QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("Sans Serif")});
    font.setWeight(cWeight > 0 ? static_cast<QFont::Weight>(std::clamp(cWeight, 100, 900))
                               : QFont::Normal);
    font.setItalic(bItalic != 0);
    font.setUnderline(bUnderline != 0);
    font.setStrikeOut(bStrikeOut != 0);
    if (cHeight > 0) {
        fitCellHeight(font, cHeight); // a positive height is the whole cell
    } else if (cHeight < 0) {
        font.setPixelSize(-cHeight); // a negative one the character height
    }
    if (cHeight != 0 && !QFontDatabase::hasFamily(face)) {
        narrowDigits(font, std::abs(cHeight));
    }
    return &fonts().emplace_back(Font{font});
}

BOOL RegisterIcon(int id, const ICONSHAPE* pShapes, std::size_t cShapes) {
    if (!pShapes || cShapes == 0) {
        return FALSE;
    }
    IconArt& art = icons()[id];
    art.shapes = std::span<const ICONSHAPE>(pShapes, cShapes);
    art.icon.id = id;
    art.drawn = false;
    return TRUE;
}

HICON LoadIconA(HINSTANCE, LPCSTR szIconName) {
    const auto value = reinterpret_cast<std::uintptr_t>(szIconName);
    const auto found = value <= 0xFFFF ? icons().find(static_cast<int>(value)) : icons().end();
    if (found == icons().end()) {
        return nullptr;
    }
    IconArt& art = found->second;
    if (!art.drawn) {
        ensureApplication();
        art.icon.image = drawIcon(art.shapes);
        art.icon.icon = QIcon(QPixmap::fromImage(art.icon.image));
        art.drawn = true;
    }
    return &art.icon;
}

COLORREF SetTextColor(HDC hdc, COLORREF color) {
    if (!hdc) {
        return 0xFFFFFFFF;
    }
    const COLORREF previous = hdc->text;
    hdc->text = color;
    hdc->textSet = true;
    return previous;
}

COLORREF SetBkColor(HDC hdc, COLORREF color) {
    if (!hdc) {
        return 0xFFFFFFFF;
    }
    const COLORREF previous = hdc->background;
    hdc->background = color;
    hdc->backgroundSet = true;
    return previous;
}

HBRUSH CreateSolidBrush(COLORREF color) {
    return &brushes().emplace_back(Brush{color});
}
