#include "ui/vlxLoggerRichViewFrame.h"

#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScrollBar>
#include <QSplitter>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

QPlainTextEdit* NewMemo(QPlainTextEdit::LineWrapMode wrap) {
    auto* memo = new QPlainTextEdit;
    memo->setReadOnly(true);
    memo->setLineWrapMode(wrap);
    return memo;
}

QWidget* Labelled(const QString& caption, QWidget* memo) {
    auto* pane = new QWidget;
    auto* layout = new QVBoxLayout(pane);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    auto* label = new QLabel(caption);
    label->setBuddy(memo);
    layout->addWidget(label);
    layout->addWidget(memo);
    return pane;
}

void ShowText(QPlainTextEdit* memo, QString text) {
    memo->setPlainText(text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    memo->moveCursor(QTextCursor::Start);
}

constexpr int StateRole = Qt::UserRole;

} // namespace

TLoggerRichViewFrame::TLoggerRichViewFrame(QWidget* parent)
    : QWidget(parent), lvMessages(new QTreeWidget), mmDetails(NewMemo(QPlainTextEdit::WidgetWidth)),
      mmContext(NewMemo(QPlainTextEdit::NoWrap)), m_messages(std::make_shared<TLogMessageList>()) {
    lvMessages->setHeaderLabels({QStringLiteral("Brief")});
    lvMessages->setRootIsDecorated(false);
    lvMessages->setUniformRowHeights(true);
    lvMessages->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvMessages->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvMessages->header()->setStretchLastSection(false);
    lvMessages->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);

    auto* panes = new QSplitter(Qt::Horizontal);
    panes->addWidget(Labelled(QStringLiteral("Details"), mmDetails));
    panes->addWidget(Labelled(QStringLiteral("Context"), mmContext));
    auto* split = new QSplitter(Qt::Vertical);
    split->addWidget(lvMessages);
    split->addWidget(panes);
    split->setSizes({233, 532 - 233});
    split->setChildrenCollapsible(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(split);

    connect(lvMessages, &QTreeWidget::itemSelectionChanged, this,
            &TLoggerRichViewFrame::lvMessagesChange);
    // The list follows the newest line while it is scrolled to the end; a
    // user who scrolled up to read stays where he is.
    QScrollBar* scroll = lvMessages->verticalScrollBar();
    connect(scroll, &QScrollBar::valueChanged, this,
            [this, scroll](int value) { m_followNewest = value == scroll->maximum(); });
    connect(scroll, &QScrollBar::rangeChanged, this, [this, scroll](int, int maximum) {
        if (m_followNewest)
            scroll->setValue(maximum);
    });
    // The sink may outlive the frame by a moment (the keeper detaches it
    // later); it then tells no one.
    m_messages->SetChanged([self = QPointer<TLoggerRichViewFrame>(this)] {
        if (self)
            self->AddNewItems();
    });
}

TLoggerRichViewFrame::~TLoggerRichViewFrame() {
    m_messages->SetChanged(nullptr);
}

void TLoggerRichViewFrame::SetOnItemCaption(TLogMessageList::TItemCaption itemCaption) {
    m_messages->SetItemCaption(std::move(itemCaption));
}

void TLoggerRichViewFrame::AddNewItems() {
    static const QStyle::StandardPixmap Icons[] = {QStyle::SP_MessageBoxCritical,
                                                   QStyle::SP_MessageBoxWarning,
                                                   QStyle::SP_MessageBoxInformation};
    const std::vector<TLogViewItem>& items = m_messages->Items();
    for (; m_shown < int(items.size()); ++m_shown) {
        const TLogViewItem& source = items[size_t(m_shown)];
        auto* item = new QTreeWidgetItem(QStringList{source.Caption});
        if (source.Icon >= 0 && source.Icon < 3)
            item->setIcon(0, style()->standardIcon(Icons[source.Icon]));
        item->setData(0, StateRole, m_shown);
        lvMessages->addTopLevelItem(item);
        // The column fits its widest caption without measuring every row
        // again.
        const int iconWidth = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
        m_captionWidth =
            qMax(m_captionWidth,
                 lvMessages->fontMetrics().horizontalAdvance(source.Caption) + iconWidth + 16);
    }
    if (lvMessages->columnWidth(0) < m_captionWidth)
        lvMessages->setColumnWidth(0, m_captionWidth);
    // Drawn now: the message loop may not run before a long step ends. A
    // page not on the screen is laid out when it is shown.
    if (isVisible()) {
        lvMessages->doItemsLayout();
        repaint();
    }
}

void TLoggerRichViewFrame::lvMessagesChange() {
    mmDetails->clear();
    mmContext->clear();
    const QList<QTreeWidgetItem*> selected = lvMessages->selectedItems();
    if (selected.isEmpty())
        return;
    bool ok = false;
    const int index = selected.first()->data(0, StateRole).toInt(&ok);
    const std::vector<TLogViewItem>& items = m_messages->Items();
    if (!ok || index < 0 || index >= int(items.size()))
        return;
    const TLogState& state = items[size_t(index)].State;
    ShowText(mmDetails, LogMessageDetailsText(state));
    ShowText(mmContext, LogContextText(state));
}
