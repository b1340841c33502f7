#include "ui/RunPreviewDialog.h"

#include "runs/CompanyGuard.h"
#include "ui/PlainTextLabel.h"
#include "ui/dbcomp.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// A record of a preview, shown with the run it belongs to.
struct TPreviewRow {
    const TRunPreview* Preview;
    const TExportNote* Item;
};

// The preview's own columns behind the run's name; "Problem" (hidden) holds
// what "Problems only" shows.
const TTableColumns<TPreviewRow>& RecordColumns() {
    static const TTableColumns<TPreviewRow> columns = [] {
        TTableColumns<TPreviewRow> all{
            {"Run", fkString, [](const TPreviewRow& r) { return r.Preview->RunName; }}};
        AppendPartColumns(all, PreviewColumns(),
                          [](const TPreviewRow& r) -> const TExportNote& { return *r.Item; });
        all.push_back({QString(), fkInteger,
                       [](const TPreviewRow& r) { return IsPreviewProblem(*r.Item) ? 1 : 0; },
                       "Problem"});
        return all;
    }();
    return columns;
}

} // namespace

TRunPreviewDlg::TRunPreviewDlg(const QList<TRunPreview>& previews, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Preview"));
    setWindowModality(Qt::WindowModal);
    QStringList companies;
    QStringList totals;
    for (const TRunPreview& p : previews) {
        const QString company = OpenCompanyText(p.Target);
        if (!companies.contains(company))
            companies << company;
        if (!p.CompanyQuestion.isEmpty())
            companies << QStringLiteral("Posting will ask: ") + p.CompanyQuestion;
        totals << p.RunName + QStringLiteral(": ") + p.Summary();
        if (!p.JournalLines.isEmpty())
            totals << QStringLiteral("Journal entry: ") + p.JournalTotals();
    }
    lblCompany = new QLabel;
    SetPlainText(*lblCompany, companies.join(u'\n'));
    lblCompany->setWordWrap(true);
    lblCompany->setTextInteractionFlags(Qt::TextSelectableByMouse);

    std::vector<TPreviewRow> rows;
    for (const TRunPreview& p : previews)
        for (const TExportNote& item : p.Items)
            rows.push_back({&p, &item});
    m_table = NewMemTable(this, RecordColumns());
    AppendRows(*m_table, RecordColumns(), rows);
    m_table->SetFilter(QStringLiteral("Problem = 1"));
    m_table->First();
    Grid = new TReDBGrid;
    Grid->SetTable(m_table);
    Grid->resizeColumnsToContents();

    m_lines = NewMemTable(this, JournalLineColumns());
    for (const TRunPreview& p : previews)
        AppendRows(*m_lines, JournalLineColumns(), p.JournalLines);
    m_lines->First();
    LinesGrid = new TReDBGrid;
    LinesGrid->SetTable(m_lines);
    LinesGrid->resizeColumnsToContents();
    LinesGrid->setVisible(!m_lines->IsEmpty());

    // In the grid's place when "Problems only" leaves no row.
    lblNoProblems = new QLabel(QStringLiteral("No record has a problem."));
    lblNoProblems->setAlignment(Qt::AlignCenter);
    lblNoProblems->hide();
    cbProblemsOnly = new QCheckBox(QStringLiteral("Problems only"));
    connect(cbProblemsOnly, &QCheckBox::toggled, this, &TRunPreviewDlg::SetProblemsOnly);
    lblTotals = new QLabel;
    SetPlainText(*lblTotals, totals.join(u'\n'));
    lblTotals->setWordWrap(true);

    auto* buttons = new QDialogButtonBox;
    btnPost = buttons->addButton(QStringLiteral("Post"), QDialogButtonBox::AcceptRole);
    btnClose = buttons->addButton(QStringLiteral("Close"), QDialogButtonBox::RejectRole);
    btnClose->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblCompany);
    layout->addWidget(Grid, 1);
    layout->addWidget(lblNoProblems, 1);
    layout->addWidget(LinesGrid, 1);
    layout->addWidget(cbProblemsOnly);
    layout->addWidget(lblTotals);
    layout->addWidget(buttons);
    resize(760, 420);
}

void TRunPreviewDlg::SetProblemsOnly(bool on) {
    if (cbProblemsOnly->isChecked() != on)
        cbProblemsOnly->setChecked(on);
    m_table->SetFiltered(on);
    const bool none = on && m_table->IsEmpty();
    Grid->setHidden(none);
    lblNoProblems->setVisible(none);
}
