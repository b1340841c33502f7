#include "ui/RunPreviewDialog.h"

#include "base/RegionalSettings.h"
#include "runs/CompanyGuard.h"
#include "ui/MemTableColumns.h"
#include "ui/PlainTextLabel.h"
#include "ui/dbcomp.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

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

    m_table = NewMemTable(this, {{"Run", fkString, "Run"},
                                 {"Action", fkString, "Action"},
                                 {"Number", fkString, "Number"},
                                 {"Date", fkDate, "Date"},
                                 {"Payee", fkString, "Payee"},
                                 {"Amount", fkCurrency, "Amount"},
                                 {"Detail", fkString, "Detail"},
                                 {"Problem", fkInteger, ""}});
    for (const TRunPreview& p : previews) {
        for (const TExportNote& item : p.Items) {
            m_table->Append();
            PutString(*m_table, "Run", p.RunName);
            PutString(*m_table, "Action", PreviewActionText(item));
            PutString(*m_table, "Number", item.Number);
            if (item.Date.isValid())
                m_table->SetDateTime(m_table->FieldByName(QStringLiteral("Date")),
                                     QDateTime(item.Date, QTime()));
            PutString(*m_table, "Payee", item.Payee);
            m_table->SetCurrency(m_table->FieldByName(QStringLiteral("Amount")), item.Amount);
            PutString(*m_table, "Detail", item.Message);
            m_table->SetInteger(m_table->FieldByName(QStringLiteral("Problem")),
                                IsPreviewProblem(item) ? 1 : 0);
            m_table->Post();
        }
    }
    m_table->SetFilter(QStringLiteral("Problem = 1"));
    m_table->First();
    Grid = new TReDBGrid;
    Grid->SetTable(m_table);
    Grid->resizeColumnsToContents();

    m_lines = NewMemTable(this, {{"Account", fkString, "Account"},
                                 {"ClassOrName", fkString, "Class or customer"},
                                 {"Debit", fkCurrency, "Debit"},
                                 {"Credit", fkCurrency, "Credit"}});
    for (const TRunPreview& p : previews) {
        for (const TPreviewJournalLine& line : p.JournalLines) {
            m_lines->Append();
            PutString(*m_lines, "Account", line.Account);
            PutString(*m_lines, "ClassOrName", line.ClassOrName);
            if (!line.Debit.IsZero())
                m_lines->SetCurrency(m_lines->FieldByName(QStringLiteral("Debit")), line.Debit);
            if (!line.Credit.IsZero())
                m_lines->SetCurrency(m_lines->FieldByName(QStringLiteral("Credit")), line.Credit);
            m_lines->Post();
        }
    }
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
