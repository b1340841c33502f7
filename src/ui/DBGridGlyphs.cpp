#include "ui/DBGridGlyphs.h"

#include <QImage>
#include <array>

namespace {

// One text row per pixel row: '#' outline, 'o' fill, '.' transparent.
const char* const FilterRows[] = {
    "........", "........", "........", "........", "........", "########", "#......#",
    ".#....#.", "..#..#..", "...##...", "...##...", "...##...", "...##...", "...##...",
    "........", "........", "........", "........", "........",
};
const char* const FilteredRows[] = {
    "........", "........", "........", "........", "........", "########", "#oooooo#",
    ".#oooo#.", "..#oo#..", "...##...", "...##...", "...##...", "...##...", "...##...",
    "........", ".#.#.#..", "........", "........", "........",
};
const char* const SortUpRows[] = {
    "........", "........", "...##...", "..####..", ".######.", "########", "........", "........",
};
const char* const SortDownRows[] = {
    "........", "........", "########", ".######.", "..####..", "...##...", "........", "........",
};

template <size_t N> QImage Draw(const char* const (&rows)[N], QRgb fill) {
    QImage image(8, int(N), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    for (int y = 0; y < int(N); ++y) {
        for (int x = 0; x < 8; ++x) {
            const char c = rows[y][x];
            if (c == '#')
                image.setPixel(x, y, qRgb(0x20, 0x20, 0x20));
            else if (c == 'o')
                image.setPixel(x, y, fill);
        }
    }
    return image;
}

} // namespace

QPixmap GridGlyph(TGridGlyph glyph) {
    // Images need no display; pixmaps are made from them where painted.
    static const std::array<QImage, 4> images = {
        Draw(FilterRows, 0),
        Draw(FilteredRows, qRgb(0x10, 0x60, 0xe0)),
        Draw(SortUpRows, 0),
        Draw(SortDownRows, 0),
    };
    return QPixmap::fromImage(images.at(size_t(glyph)));
}
