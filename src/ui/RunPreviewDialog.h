// What a previewed export would do, shown before anything is posted: the
// QuickBooks company, the question posting would ask about it, each record
// in a grid (with a "Problems only" filter), a journal entry's lines and the
// totals. "Post" posts
// what was previewed (the real run, whose duplicate rules catch whatever
// changed in QuickBooks since); "Close" posts nothing. Opened window-modal
// without a nested event loop: the page hears Post through accepted().
#pragma once

#include "runs/RunPreview.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;
class TMemTable;
class TReDBGrid;

class TRunPreviewDlg : public QDialog {
    Q_OBJECT
public:
    TRunPreviewDlg(const QList<TRunPreview>& previews, QWidget* parent = nullptr);

    // Shows only the records that ask for a look; with none, says so in
    // the grid's place.
    void SetProblemsOnly(bool on);

    QLabel* lblCompany;
    TReDBGrid* Grid;
    QLabel* lblNoProblems;
    // A journal's entry, line by line; hidden when no preview has lines.
    TReDBGrid* LinesGrid;
    QCheckBox* cbProblemsOnly;
    QLabel* lblTotals;
    QPushButton* btnPost;
    QPushButton* btnClose;

private:
    TMemTable* m_table;
    TMemTable* m_lines;
};
