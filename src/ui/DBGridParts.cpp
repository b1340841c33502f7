#include "ui/DBGridParts.h"

#include "ui/DBGridGlyphs.h"
#include "ui/dbcomp.h"

#include <QPainter>

TReDBGridTitles::TReDBGridTitles(TReDBGrid* grid)
    : QHeaderView(Qt::Horizontal, grid), m_grid(grid) {}

void TReDBGridTitles::initStyleOptionForIndex(QStyleOptionHeader* option, int logicalIndex) const {
    QHeaderView::initStyleOptionForIndex(option, logicalIndex);
    if (!m_grid->SortShown())
        return;
    switch (m_grid->ColumnSortState(logicalIndex)) {
    case fssDescending:
        option->icon = QIcon(GridGlyph(ggSortUp));
        break;
    case fssAscending:
        option->icon = QIcon(GridGlyph(ggSortDown));
        break;
    case fssNone:
        break;
    }
}

QSize TReDBGridTitles::sectionSizeFromContents(int logicalIndex) const {
    QSize size = QHeaderView::sectionSizeFromContents(logicalIndex);
    // Room for a sort image, so sorting never cuts a title short.
    if (m_grid->SortShown())
        size.rwidth() += 8 + style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, this);
    return size;
}

TReDBGridIndicator::TReDBGridIndicator(TReDBGrid* grid)
    : QHeaderView(Qt::Vertical, grid), m_grid(grid) {
    setHighlightSections(false);
}

QSize TReDBGridIndicator::sizeHint() const {
    return QSize(Width, defaultSectionSize());
}

void TReDBGridIndicator::paintSection(QPainter* painter, const QRect& rect,
                                      int logicalIndex) const {
    QStyleOptionHeader option;
    initStyleOptionForIndex(&option, logicalIndex);
    option.rect = rect;
    option.text.clear();
    style()->drawControl(QStyle::CE_HeaderSection, &option, painter, this);
    if (logicalIndex != m_grid->currentIndex().row())
        return;
    // A small arrow pointing at the current row.
    const QPoint centre = rect.center();
    const QPoint arrow[] = {QPoint(centre.x() - 2, centre.y() - 4),
                            QPoint(centre.x() - 2, centre.y() + 4),
                            QPoint(centre.x() + 2, centre.y())};
    painter->save();
    painter->setPen(Qt::NoPen);
    painter->setBrush(palette().color(QPalette::WindowText));
    painter->drawPolygon(arrow, 3);
    painter->restore();
}

TReDBGridCornerButton::TReDBGridCornerButton(QWidget* parent) : QAbstractButton(parent) {
    setFocusPolicy(Qt::NoFocus);
}

QSize TReDBGridCornerButton::sizeHint() const {
    return QSize(TReDBGridIndicator::Width, 20);
}

void TReDBGridCornerButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QStyleOptionHeader option;
    option.initFrom(this);
    option.rect = rect();
    option.position = QStyleOptionHeader::Beginning;
    option.state |= isDown() ? QStyle::State_Sunken : QStyle::State_Raised;
    style()->drawControl(QStyle::CE_HeaderSection, &option, &painter, this);
    const QPixmap glyph = icon().pixmap(iconSize());
    const QPoint offset = isDown() ? QPoint(1, 1) : QPoint();
    painter.drawPixmap(QRect(QPoint(), glyph.size())
                           .translated(rect().center() -
                                       QPoint(glyph.width() / 2 - 1, glyph.height() / 2 - 1) +
                                       offset),
                       glyph);
}

TReDBGridDelegate::TReDBGridDelegate(TReDBGrid* grid) : QStyledItemDelegate(grid), m_grid(grid) {}

QColor TReDBGridDelegate::Darkened(const QColor& color) {
    return QColor(color.red() * 5 / 6, color.green() * 5 / 6, color.blue() * 5 / 6);
}

void TReDBGridDelegate::initStyleOption(QStyleOptionViewItem* option,
                                        const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    if (!m_grid->SortShown())
        return;
    if (m_grid->ColumnIsBlob(index.column())) {
        const bool alternate = option->features & QStyleOptionViewItem::Alternate;
        option->backgroundBrush =
            Darkened(option->palette.color(alternate ? QPalette::AlternateBase : QPalette::Base));
    } else if (m_grid->ColumnSortState(index.column()) != fssNone) {
        option->backgroundBrush = QColor(Qt::yellow);
        option->palette.setColor(QPalette::Text, QColor(Qt::blue));
    }
}
