#pragma once

// The one table from the design's symbol names ("lock.fill", "touchid", ...) to freedesktop icon
// names, drawn from the icon theme (Adwaita as the fallback) and tinted; a few glyphs are painted.

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QRectF>

#include <string>
#include <string_view>
#include <vector>

class QPainter;

namespace vael::SymbolCatalog {

// Every symbol name the catalogue knows.
const std::vector<std::string>& names();
bool knows(std::string_view symbol);
// The freedesktop icon name, or empty for a glyph we paint ourselves (and for unknown names).
QString iconName(std::string_view symbol);
bool isPainted(std::string_view symbol);

// The symbol in one colour, `size` pixels square (device-pixel ratio `dpr`). An unknown name gives
// the theme's missing-image icon.
QPixmap pixmap(std::string_view symbol, const QColor& tint, int size, qreal dpr = 1.0);
// The same as an icon for buttons and labels.
QIcon icon(std::string_view symbol, const QColor& tint, int size = 16);
// Paints the symbol into `rect`.
void paint(QPainter& painter, const QRectF& rect, std::string_view symbol, const QColor& tint);

}  // namespace vael::SymbolCatalog
