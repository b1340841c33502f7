// The block-structured logger: its state, the stateful logger that keeps the
// block stack and tells the sinks, and the exception logger on top of it.
#pragma once

#include "logging/vlxLogger.h"

#include <QDateTime>
#include <QString>
#include <exception>
#include <memory>
#include <vector>

// One tag/value pair of a block's context (a file name, a company number).
struct TLogBlockContextItem {
    QString Tag;
    QString Value;

    // Tag " = " Value.
    QString Text() const;
};
using TLogBlockContex = std::vector<TLogBlockContextItem>;

struct TLogMessage {
    TLogMessageKind Kind = lmEvent;
    QString Message;
    QString Details;

    // Kind name ": " Message CR LF Details (the CR LF also when Details is empty).
    QString Text() const;
};
using TLogMessages = std::vector<TLogMessage>;

struct TLogBlock {
    QString Caption;
    TLogBlockContex Context;
    TLogMessages Messages;
};
// Index 0 is the root block, the last element the innermost block.
using TLogBlocks = std::vector<TLogBlock>;

// The whole logger state. Plain values: copying one is a deep copy, which is
// what a sink that keeps the state beyond a notification takes.
struct TLogState {
    TLogBlocks Blocks;

    int Depth() const { return static_cast<int>(Blocks.size()); }
    // Only while at least one block is open.
    const TLogBlock& Innermost() const { return Blocks.back(); }
    TLogBlock& Innermost() { return Blocks.back(); }
};

// Told about every change of the logger state. The state is live: read it
// only during the call and never change it or call the logger from here.
class ILoggerEventSink {
public:
    virtual ~ILoggerEventSink() = default;
    // A block was opened; it is the innermost block.
    virtual void OnEntry(const TLogState& state) = 0;
    // The innermost block is about to be closed; it is still present.
    virtual void OnExit(const TLogState& state) = 0;
    // The last context item of the innermost block was just added.
    virtual void OnContextItem(const TLogState& state) = 0;
    // The last message of the innermost block was just added.
    virtual void OnMessage(const TLogState& state) = 0;
    // Whether the sink writes messages of this kind.
    virtual bool WantsMessage(TLogMessageKind) const { return true; }
};
using ILoggerEventSinkPtr = std::shared_ptr<ILoggerEventSink>;

// Base of the writers: ignores every event it does not override.
class TLoggerEventSink : public ILoggerEventSink {
public:
    void OnEntry(const TLogState&) override {}
    void OnExit(const TLogState&) override {}
    void OnContextItem(const TLogState&) override {}
    void OnMessage(const TLogState&) override {}
};

// The logger that owns the state; sinks are attached and detached here.
class IStatefulLogger : public ILogger {
public:
    // Ignored when the sink is null or attached already.
    virtual void AddSink(const ILoggerEventSinkPtr& sink) = 0;
    // Ignored when the sink is null or not attached.
    virtual void RemoveSink(const ILoggerEventSinkPtr& sink) = 0;
    // The live state, for inspection between logging calls.
    virtual const TLogState& State() const = 0;
};
using IStatefulLoggerPtr = std::shared_ptr<IStatefulLogger>;

class TStatefulLogger : public IStatefulLogger {
public:
    // Opens the root block, caption applicationTitle + " application".
    explicit TStatefulLogger(const QString& applicationTitle);
    // Closes the innermost block; every sink must have been removed before.
    ~TStatefulLogger() override;
    TStatefulLogger(const TStatefulLogger&) = delete;
    TStatefulLogger& operator=(const TStatefulLogger&) = delete;

    void LogEntry(const QString& blockName) override;
    void LogExit() override;
    void LogContextItem(const QString& tag, const QString& value) override;
    void LogMessage(TLogMessageKind kind, const QString& message, const QString& details) override;
    // True when any sink wants it.
    bool WantsMessage(TLogMessageKind kind) const override;

    void AddSink(const ILoggerEventSinkPtr& sink) override;
    void RemoveSink(const ILoggerEventSinkPtr& sink) override;
    const TLogState& State() const override { return m_state; }

private:
    using TSinkEvent = void (ILoggerEventSink::*)(const TLogState&);
    void CheckUsable() const;
    void Notify(TSinkEvent event);

    TLogState m_state;
    std::vector<ILoggerEventSinkPtr> m_sinks;
    bool m_notifying = false;
    // Emptied context lists of closed blocks, whose storage the next blocks
    // take: a parse opens a block with a context item for every line.
    std::vector<TLogBlockContex> m_spareContexts;
    // The last block caption and context tag with their escaped forms: a
    // parse logs the same ones for every line.
    struct TEscaped {
        QString Text;
        QString Escaped;
    };
    const QString& Escaped(TEscaped& last, const QString& text);
    TEscaped m_lastCaption;
    TEscaped m_lastTag;
};

IStatefulLoggerPtr
CreateStatefulLogger(const QString& applicationTitle = QStringLiteral("Orvane QB Export"));

// Logs the exception being handled once, however many handlers it passes:
// an exception is the thrown object, and re-raising keeps it.
class TExceptionLoggerImpl : public IExceptionLogger {
public:
    explicit TExceptionLoggerImpl(ILoggerPtr inner);
    ~TExceptionLoggerImpl() override;
    TExceptionLoggerImpl(const TExceptionLoggerImpl&) = delete;
    TExceptionLoggerImpl& operator=(const TExceptionLoggerImpl&) = delete;

    void LogEntry(const QString& blockName) override;
    void LogExit() override;
    void LogContextItem(const QString& tag, const QString& value) override;
    void LogMessage(TLogMessageKind kind, const QString& message, const QString& details) override;
    bool WantsMessage(TLogMessageKind kind) const override { return m_inner->WantsMessage(kind); }

    [[noreturn]] void PassthroughException() override;
    void StopException() override;
    [[noreturn]] void PassthroughExceptionWithMessage(TLogMessageKind kind, const QString& message,
                                                      const QString& details) override;
    void StopExceptionWithMessage(TLogMessageKind kind, const QString& message,
                                  const QString& details) override;

private:
    void LogCurrentExceptionIfNew();
    void ForgetLastLogged();

    ILoggerPtr m_inner;
    // The last logged exception is held alive so that its address can never
    // be taken by a later exception and mistaken for it.
    std::exception_ptr m_lastLogged;
    const void* m_lastLoggedObject = nullptr;
};

IExceptionLoggerPtr CreateExceptionLogger(ILoggerPtr inner);

// An exception's message split at its first empty line. Line breaks become
// CR LF; the message keeps one line (each CR and LF a blank); the details are
// cut to MaxExceptionDetails characters.
struct TExceptionText {
    QString Message;
    QString Details;
};
constexpr int MaxExceptionDetails = 99999;
TExceptionText SplitExceptionMessage(const QString& text);
