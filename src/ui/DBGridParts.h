// The pieces a data grid draws with: column titles carrying sort images,
// the row indicator column, and cells coloured by their column's sort.
#pragma once

#include <QAbstractButton>
#include <QHeaderView>
#include <QStyledItemDelegate>

class TReDBGrid;

// Titles: "SORT_UP" beside a descending column's title, "SORT_DOWN" beside
// an ascending one's.
class TReDBGridTitles : public QHeaderView {
    Q_OBJECT
public:
    explicit TReDBGridTitles(TReDBGrid* grid);

protected:
    void initStyleOptionForIndex(QStyleOptionHeader* option, int logicalIndex) const override;
    QSize sectionSizeFromContents(int logicalIndex) const override;

private:
    TReDBGrid* m_grid;
};

// The indicator column left of the rows: an arrow at the current row.
class TReDBGridIndicator : public QHeaderView {
    Q_OBJECT
public:
    static constexpr int Width = 12;

    explicit TReDBGridIndicator(TReDBGrid* grid);
    QSize sizeHint() const override;

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;

private:
    TReDBGrid* m_grid;
};

// The filter button in the grid's corner: a title-like face with the
// glyph at its true size.
class TReDBGridCornerButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit TReDBGridCornerButton(QWidget* parent);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// Cells of sorted columns blue on yellow; blob cells on a darker ground.
class TReDBGridDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit TReDBGridDelegate(TReDBGrid* grid);

    // Each of red, green and blue at five sixths.
    static QColor Darkened(const QColor& color);

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    TReDBGrid* m_grid;
};
