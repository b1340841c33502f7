// The data grid's glyphs, drawn once and shared by every grid: the corner
// button's "FILTER" and "FILTERED" (8 x 19) and the title images "SORT_UP"
// and "SORT_DOWN" (8 x 8).
#pragma once

#include <QPixmap>

enum TGridGlyph { ggFilter, ggFiltered, ggSortUp, ggSortDown };

QPixmap GridGlyph(TGridGlyph glyph);
