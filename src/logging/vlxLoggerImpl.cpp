#include "logging/vlxLoggerImpl.h"

#include "base/vlxCancelToken.h"
#include "base/vlxTextUtils.h"
#include "base/ztExceptions.h"

#include <QtGlobal>
#include <algorithm>

QString TLogBlockContextItem::Text() const {
    return Tag + QStringLiteral(" = ") + Value;
}

QString TLogMessage::Text() const {
    return LogMessageKindName(Kind) + QStringLiteral(": ") + Message + QStringLiteral("\r\n") +
           Details;
}

// ---- TStatefulLogger -------------------------------------------------------

TStatefulLogger::TStatefulLogger(const QString& applicationTitle) {
    m_state.Blocks.push_back(TLogBlock{applicationTitle + QStringLiteral(" application"), {}, {}});
}

TStatefulLogger::~TStatefulLogger() {
    try {
        if (m_state.Depth() > 0)
            LogExit();
    } catch (...) {
        // A sink cannot make us fail here; LogExit guards the notification.
    }
    if (!m_sinks.empty())
        qCritical("Logger destroyed with %d event sink(s) still attached",
                  static_cast<int>(m_sinks.size()));
}

void TStatefulLogger::CheckUsable() const {
    // A sink that logs would change the state it is reading and could recurse
    // without end.
    OrvAssert(!m_notifying);
    OrvAssert(m_state.Depth() > 0);
}

const QString& TStatefulLogger::Escaped(TEscaped& last, const QString& text) {
    // Comparing costs less than scanning for control characters.
    if (text != last.Text) {
        last.Text = text;
        last.Escaped = EscapeControlChars(text);
    }
    return last.Escaped;
}

// Every text enters the state here, so no writer or view ever sees a raw
// control character of the input (a NUL in a memo, say).
void TStatefulLogger::LogEntry(const QString& blockName) {
    CheckUsable();
    TLogBlockContex context;
    if (!m_spareContexts.empty()) {
        context = std::move(m_spareContexts.back());
        m_spareContexts.pop_back();
    }
    m_state.Blocks.push_back(TLogBlock{Escaped(m_lastCaption, blockName), std::move(context), {}});
    Notify(&ILoggerEventSink::OnEntry);
}

void TStatefulLogger::LogExit() {
    CheckUsable();
    Notify(&ILoggerEventSink::OnExit);
    TLogBlockContex& context = m_state.Innermost().Context;
    if (m_spareContexts.size() < 16 && context.capacity() <= 64) {
        context.clear(); // keeps the capacity
        m_spareContexts.push_back(std::move(context));
    }
    m_state.Blocks.pop_back();
}

void TStatefulLogger::LogContextItem(const QString& tag, const QString& value) {
    CheckUsable();
    m_state.Innermost().Context.push_back(
        TLogBlockContextItem{Escaped(m_lastTag, tag), EscapeControlChars(value)});
    Notify(&ILoggerEventSink::OnContextItem);
}

void TStatefulLogger::LogMessage(TLogMessageKind kind, const QString& message,
                                 const QString& details) {
    CheckUsable();
    m_state.Innermost().Messages.push_back(
        TLogMessage{kind, EscapeControlChars(message), EscapeControlChars(details)});
    Notify(&ILoggerEventSink::OnMessage);
}

bool TStatefulLogger::WantsMessage(TLogMessageKind kind) const {
    return std::any_of(m_sinks.begin(), m_sinks.end(), [kind](const ILoggerEventSinkPtr& sink) {
        return sink->WantsMessage(kind);
    });
}

void TStatefulLogger::AddSink(const ILoggerEventSinkPtr& sink) {
    if (!sink || std::find(m_sinks.begin(), m_sinks.end(), sink) != m_sinks.end())
        return;
    m_sinks.push_back(sink);
}

void TStatefulLogger::RemoveSink(const ILoggerEventSinkPtr& sink) {
    if (!sink)
        return;
    const auto it = std::find(m_sinks.begin(), m_sinks.end(), sink);
    if (it != m_sinks.end())
        m_sinks.erase(it);
}

void TStatefulLogger::Notify(TSinkEvent event) {
    // One guard for the whole pass: a failing sink ends this event's pass,
    // never the caller's logging call.
    m_notifying = true;
    try {
        // By index and with a held reference: a sink that detaches itself or
        // another sink must not invalidate the pass.
        for (std::size_t i = 0; i < m_sinks.size(); ++i) {
            const ILoggerEventSinkPtr sink = m_sinks[i];
            ((*sink).*event)(m_state);
        }
    } catch (...) {
    }
    m_notifying = false;
}

IStatefulLoggerPtr CreateStatefulLogger(const QString& applicationTitle) {
    return std::make_shared<TStatefulLogger>(applicationTitle);
}

// ---- Exception logger ------------------------------------------------------

TExceptionText SplitExceptionMessage(const QString& text) {
    const QString normalised = NormaliseLineBreaks(text);
    TExceptionText result;
    const qsizetype split = normalised.indexOf(QStringLiteral("\r\n\r\n"));
    if (split < 0) {
        result.Message = normalised;
    } else {
        result.Message = normalised.left(split);
        result.Details = normalised.mid(split + 4);
        if (result.Details.size() > MaxExceptionDetails) {
            qsizetype cut = MaxExceptionDetails;
            // Never leave half a surrogate pair behind.
            if (result.Details.at(cut - 1).isHighSurrogate())
                --cut;
            result.Details.truncate(cut);
        }
    }
    result.Message.replace(u'\r', u' ');
    result.Message.replace(u'\n', u' ');
    return result;
}

TExceptionLoggerImpl::TExceptionLoggerImpl(ILoggerPtr inner) : m_inner(std::move(inner)) {
    OrvAssert(m_inner != nullptr);
    m_inner->LogMessage(lmDebug, QStringLiteral("Exception logger created"), QString());
}

TExceptionLoggerImpl::~TExceptionLoggerImpl() {
    try {
        m_inner->LogMessage(lmDebug, QStringLiteral("Destroying exception logger"), QString());
    } catch (...) {
        // Only an already closed root block asserts; nothing to report to.
    }
}

void TExceptionLoggerImpl::ForgetLastLogged() {
    m_lastLogged = nullptr;
    m_lastLoggedObject = nullptr;
}

void TExceptionLoggerImpl::LogEntry(const QString& blockName) {
    ForgetLastLogged();
    m_inner->LogEntry(blockName);
}

void TExceptionLoggerImpl::LogExit() {
    m_inner->LogExit();
}

void TExceptionLoggerImpl::LogContextItem(const QString& tag, const QString& value) {
    ForgetLastLogged();
    m_inner->LogContextItem(tag, value);
}

void TExceptionLoggerImpl::LogMessage(TLogMessageKind kind, const QString& message,
                                      const QString& details) {
    m_inner->LogMessage(kind, message, details);
}

void TExceptionLoggerImpl::LogCurrentExceptionIfNew() {
    std::exception_ptr current = std::current_exception();
    // Outside a handler a rethrow would terminate the program.
    OrvAssert(current != nullptr);
    // The thrown object is the identity; a thrown value of no exception
    // class has only its exception_ptr to tell it by.
    const void* object = nullptr;
    TExceptionText text;
    try {
        throw;
    } catch (const EOperationCancelled&) {
        // A cancel is no failure: the run that stops says so once.
        return;
    } catch (const EztException& e) {
        object = &e;
        text = SplitExceptionMessage(e.Message());
    } catch (const std::exception& e) {
        // A library's or the standard library's: its own text, and its type
        // for whoever has to find where it came from.
        object = &e;
        const QString type = ExceptionTypeName(e);
        text = SplitExceptionMessage(QString::fromUtf8(e.what()));
        if (text.Message.trimmed().isEmpty())
            text.Message = type;
        text.Details = QStringLiteral("Type: ") + type +
                       (text.Details.isEmpty() ? QString() : QStringLiteral("\r\n") + text.Details);
    } catch (...) {
        text.Message = QStringLiteral("Unknown exception");
    }
    if (object ? object == m_lastLoggedObject : current == m_lastLogged)
        return;
    m_inner->LogMessage(lmException, text.Message, text.Details);
    m_lastLogged = std::move(current);
    m_lastLoggedObject = object;
}

void TExceptionLoggerImpl::PassthroughException() {
    LogCurrentExceptionIfNew();
    // A bare rethrow keeps the object, so outer handlers see it as logged.
    throw;
}

void TExceptionLoggerImpl::StopException() {
    LogCurrentExceptionIfNew();
    ForgetLastLogged();
}

void TExceptionLoggerImpl::PassthroughExceptionWithMessage(TLogMessageKind kind,
                                                           const QString& message,
                                                           const QString& details) {
    LogCurrentExceptionIfNew();
    m_inner->LogMessage(kind, message, details);
    throw;
}

void TExceptionLoggerImpl::StopExceptionWithMessage(TLogMessageKind kind, const QString& message,
                                                    const QString& details) {
    StopException();
    m_inner->LogMessage(kind, message, details);
}

IExceptionLoggerPtr CreateExceptionLogger(ILoggerPtr inner) {
    return std::make_shared<TExceptionLoggerImpl>(std::move(inner));
}
