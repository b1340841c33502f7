#include "ui/FileOpenFrame.h"

#include "ui/OrvqApplication.h"
#include "ui/UserDialogBoxes.h"

#include <QAction>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>

QString QtFileFilter(const QString& filter) {
    const QStringList parts = filter.split(u'|');
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i];
        description.remove(QRegularExpression(QStringLiteral("\\s*\\([^()]*\\)\\s*$")));
        const QStringList patterns = parts[i + 1].split(u';', Qt::SkipEmptyParts);
        filters << description + QStringLiteral(" (") + patterns.join(u' ') + u')';
    }
    return filters.join(QStringLiteral(";;"));
}

TFileOpenFrm::TFileOpenFrm(QWidget* parent) : QWidget(parent) {
    Label1 = new QLabel(QStringLiteral("File"));
    Edit1 = new QLineEdit;
    Edit1->setReadOnly(true);
    // Read-only: it takes its parent's colour, as a label would.
    Edit1->setBackgroundRole(QPalette::Window);
    Edit1->setAutoFillBackground(false);
    FileOpen1 = new QAction(QStringLiteral("&Open..."), this);
    FileOpen1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    FileOpen1->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(FileOpen1);
    Button1 = new QPushButton(FileOpen1->text());
    connect(FileOpen1, &QAction::triggered, this, UserAction([this] { OpenFile(); }));
    connect(Button1, &QPushButton::clicked, FileOpen1, &QAction::trigger);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(Edit1, 1);
    layout->addWidget(Button1);
}

QString TFileOpenFrm::FileName() const {
    return Edit1->text().trimmed();
}

void TFileOpenFrm::SetFileName(const QString& path) {
    Edit1->setText(path);
}

void TFileOpenFrm::SetHint(const QString& hint) {
    const int bar = hint.indexOf(u'|');
    const QString shortHint = bar < 0 ? hint : hint.left(bar);
    const QString longHint = bar < 0 ? hint : hint.mid(bar + 1);
    FileOpen1->setToolTip(shortHint);
    FileOpen1->setStatusTip(longHint);
    Button1->setToolTip(shortHint);
    Button1->setStatusTip(longHint);
}

void TFileOpenFrm::OpenFile() {
    const QString chosen = GetOpenFileName(
        this, QStringLiteral("Open"), QFileInfo(FileName()).absolutePath(), QtFileFilter(m_filter));
    if (!chosen.isEmpty())
        SetFileName(QFileInfo(chosen).absoluteFilePath());
}
