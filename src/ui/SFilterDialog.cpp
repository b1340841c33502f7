#include "ui/SFilterDialog.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

const QString AnyMatchPrefix = QStringLiteral("0=0 AND ");
const QString ExactMatchPrefix = QStringLiteral("1=1 AND ");
const QString Conjunction = QStringLiteral(" AND ");
constexpr int ColumnWidth = 200;
constexpr int RowHeight = 24;
constexpr int MostRowsShown = 12;

QString Quoted(const QString& value) {
    return QString(value).replace(u'\'', QStringLiteral("''"));
}

// Takes the value that follows "=" or "like" off the front of text, with
// the " AND " after it. A quoted value runs to its closing quote (doubled
// quotes inside are one quote), so a name like O'NEIL or a value holding
// " AND " comes back whole. One leading and one trailing "%" are wildcards
// the dialog adds; they are dropped.
QString TakeValue(QString& text) {
    qsizetype i = 0;
    while (i < text.size() && text.at(i).isSpace())
        ++i;
    QString value;
    qsizetype rest = 0;
    if (i < text.size() && text.at(i) == u'\'') {
        for (++i; i < text.size(); ++i) {
            if (text.at(i) == u'\'') {
                if (i + 1 < text.size() && text.at(i + 1) == u'\'') {
                    value += u'\'';
                    ++i;
                    continue;
                }
                ++i;
                break;
            }
            value += text.at(i);
        }
        rest = i;
    } else {
        const qsizetype end = text.indexOf(Conjunction);
        value = (end < 0 ? text : text.left(end)).trimmed();
        if (value.endsWith(u'\''))
            value.chop(1);
    }
    const qsizetype next = text.indexOf(Conjunction, rest);
    text = next < 0 ? QString() : text.mid(next + Conjunction.size());
    if (value.startsWith(u'%'))
        value.remove(0, 1);
    if (value.endsWith(u'%'))
        value.chop(1);
    return value;
}

QLineEdit* NewValueEditor(QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setFrame(false);
    // What the user types goes in upper case; values read from the filter
    // stay as they were written.
    QObject::connect(edit, &QLineEdit::textEdited, edit, [edit](const QString& text) {
        const QString upper = text.toUpper();
        if (upper == text)
            return;
        const int cursor = edit->cursorPosition();
        edit->setText(upper);
        edit->setCursorPosition(cursor);
    });
    return edit;
}

} // namespace

TFilterDialog::TFilterDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Filter records to view"));

    auto* prompt = new QLabel(QStringLiteral("Enter text to use to filter records."), this);
    QFont bold = prompt->font();
    bold.setBold(true);
    prompt->setFont(bold);

    m_grid = new QTableWidget(0, 2, this);
    m_grid->setHorizontalHeaderLabels({QStringLiteral("Field names"), QStringLiteral("Filter")});
    QFont headerFont = bold;
    headerFont.setPointSizeF(bold.pointSizeF() * 1.2);
    m_grid->horizontalHeader()->setFont(headerFont);
    m_grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_grid->horizontalHeader()->setHighlightSections(false);
    m_grid->horizontalHeader()->setDefaultSectionSize(ColumnWidth);
    m_grid->verticalHeader()->hide();
    m_grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_grid->verticalHeader()->setDefaultSectionSize(RowHeight);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setSelectionMode(QAbstractItemView::NoSelection);
    m_grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    m_not = new QCheckBox(QStringLiteral("Not"), this);
    m_exactMatch = new QCheckBox(QStringLiteral("Exact Match"), this);
    m_clearAll = new QPushButton(QStringLiteral("Clear all"), this);
    m_ok = new QPushButton(QStringLiteral("Ok"), this);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_clearAll->setAutoDefault(false);
    m_cancel->setAutoDefault(false);
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_clearAll, &QPushButton::clicked, this, [this] {
        for (int row = 0; row < RowCount(); ++row)
            ValueEditor(row)->clear();
    });

    auto* checks = new QHBoxLayout;
    checks->addWidget(m_not);
    checks->addWidget(m_exactMatch);
    checks->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_clearAll);
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(prompt);
    layout->addWidget(m_grid);
    layout->addLayout(checks);
    layout->addLayout(buttons);
}

QString TFilterDialog::Title(int row) const {
    return m_grid->item(row, 0)->text();
}

QLineEdit* TFilterDialog::ValueEditor(int row) const {
    return static_cast<QLineEdit*>(m_grid->cellWidget(row, 1));
}

void TFilterDialog::Setup(const QString& filterText, const QStringList& offeredFields,
                          const TMemTable& table) {
    m_rows.clear();
    m_grid->setRowCount(0);
    for (const QString& line : offeredFields) {
        const QStringList parts = line.split(u'\t');
        TRow row;
        row.Field = parts.at(0);
        const int field = table.FindField(row.Field);
        row.Kind = field >= 0 ? table.Field(field).Kind : fkUnknown;
        const int r = RowCount();
        m_rows.push_back(row);
        m_grid->insertRow(r);
        auto* title = new QTableWidgetItem(parts.value(2));
        title->setFlags(Qt::ItemIsEnabled);
        m_grid->setItem(r, 0, title);
        m_grid->setCellWidget(r, 1, NewValueEditor(m_grid));
    }
    const int shown = std::min(RowCount(), MostRowsShown);
    m_grid->setFixedSize(2 * ColumnWidth + 2 * m_grid->frameWidth() +
                             (RowCount() > MostRowsShown ? 18 : 0),
                         m_grid->horizontalHeader()->sizeHint().height() + shown * RowHeight +
                             2 * m_grid->frameWidth());
    m_not->setChecked(false);
    m_exactMatch->setChecked(false);
    ParseFilter(filterText);
    if (RowCount() > 0)
        ValueEditor(0)->setFocus();
}

void TFilterDialog::ParseFilter(QString text) {
    if (text.startsWith(ExactMatchPrefix)) {
        text.remove(0, ExactMatchPrefix.size());
        m_exactMatch->setChecked(true);
    }
    if (text.startsWith(AnyMatchPrefix))
        text.remove(0, AnyMatchPrefix.size());
    while (!text.trimmed().isEmpty()) {
        if (text.startsWith(QLatin1String("not "), Qt::CaseInsensitive)) {
            m_not->setChecked(true);
            text.remove(0, 4);
        }
        const qsizetype equals = text.indexOf(u'=');
        const qsizetype like = text.indexOf(QLatin1String("like"));
        if (equals < 0 && like < 0)
            break;
        const bool isLike = like >= 0 && (equals < 0 || like < equals);
        const qsizetype at = isLike ? like : equals;
        QString field = text.left(at).trimmed();
        if (field.startsWith(QLatin1String("Upper("), Qt::CaseInsensitive) && field.endsWith(u')'))
            field = field.mid(6, field.size() - 7).trimmed();
        text.remove(0, at + (isLike ? 4 : 1));
        SetFieldValue(field, TakeValue(text));
    }
}

void TFilterDialog::SetFieldValue(const QString& field, const QString& value) {
    for (int row = 0; row < RowCount(); ++row) {
        if (m_rows[size_t(row)].Field.compare(field, Qt::CaseInsensitive) == 0)
            ValueEditor(row)->setText(value);
    }
}

QString TFilterDialog::BuildFilter() const {
    const bool exact = m_exactMatch->isChecked();
    QStringList conditions;
    for (int row = 0; row < RowCount(); ++row) {
        const QString value = ValueEditor(row)->text();
        if (value.isEmpty())
            continue;
        QString condition = m_not->isChecked() ? QStringLiteral("not ") : QString();
        condition += m_rows[size_t(row)].Field;
        // A quote in a value is doubled: the value stays one value.
        if (m_rows[size_t(row)].Kind != fkString)
            condition += QStringLiteral(" = '") + Quoted(value) + u'\'';
        else if (exact)
            condition += QStringLiteral(" like '") + Quoted(value) + u'\'';
        else
            condition += QStringLiteral(" like '%") + Quoted(value) + QStringLiteral("%'");
        conditions << condition;
    }
    if (conditions.isEmpty())
        return QString();
    return (exact ? ExactMatchPrefix : AnyMatchPrefix) + conditions.join(Conjunction);
}
