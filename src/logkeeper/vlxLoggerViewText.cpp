#include "logkeeper/vlxLoggerViewText.h"

#include "base/vlxTextUtils.h"
#include "logging/vlxLogger.h"

#include <QStringList>

namespace {

const QString CrLf = QStringLiteral("\r\n");
const QString ComponentTag = QStringLiteral("Component");

} // namespace

int LogMessageIconIndex(TLogMessageKind kind) {
    switch (kind) {
    case lmException:
    case lmError:
        return 0;
    case lmWarning:
        return 1;
    case lmEvent:
        return 2;
    default:
        return -1;
    }
}

QString ComponentItemCaption(const TLogState& state) {
    const TLogMessage& message = state.Innermost().Messages.back();
    QString value;
    bool found = false;
    // Innermost outwards, last item first; the same value further out is
    // accepted, a different one ends the search.
    for (auto block = state.Blocks.rbegin(); block != state.Blocks.rend(); ++block) {
        bool stop = false;
        for (auto item = block->Context.rbegin(); item != block->Context.rend(); ++item) {
            if (item->Tag != ComponentTag)
                continue;
            if (!found) {
                value = item->Value;
                found = true;
            } else if (item->Value.trimmed() != value.trimmed()) {
                stop = true;
                break;
            }
        }
        if (stop)
            break;
    }
    if (value.trimmed().isEmpty())
        return message.Message;
    return value + QStringLiteral(": ") + message.Message;
}

QString LogMessageDetailsText(const TLogState& state) {
    const TLogMessage& message = state.Innermost().Messages.back();
    return message.Message + CrLf + CrLf + message.Details;
}

QString LogContextText(const TLogState& state) {
    QStringList lines;
    bool anyItem = false;
    for (const TLogBlock& block : state.Blocks) {
        if (anyItem)
            lines << QString();
        lines << block.Caption + u':';
        for (const TLogBlockContextItem& item : block.Context) {
            lines << QStringLiteral("  ") + item.Tag + QStringLiteral(": ") +
                         FormatContextValue(item.Value);
            anyItem = true;
        }
    }
    return lines.join(CrLf);
}

TLogMessageList::TLogMessageList(TItemCaption itemCaption, std::function<void()> changed)
    : m_itemCaption(std::move(itemCaption)), m_changed(std::move(changed)) {}

void TLogMessageList::OnMessage(const TLogState& state) {
    const TLogMessage& message = state.Innermost().Messages.back();
    if (message.Kind == lmDebug)
        return;
    struct TRepaint {
        const std::function<void()>& Changed;
        ~TRepaint() {
            // Shown at once, also when building the item failed.
            try {
                if (Changed)
                    Changed();
            } catch (...) {
            }
        }
    } repaint{m_changed};
    TLogViewItem item;
    item.State = state;
    item.Icon = LogMessageIconIndex(message.Kind);
    item.Caption = m_itemCaption ? m_itemCaption(state) : message.Message;
    m_items.push_back(std::move(item));
}
