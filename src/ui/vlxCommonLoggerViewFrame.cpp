#include "ui/vlxCommonLoggerViewFrame.h"

#include "ui/vlxLoggerRichViewFrame.h"

#include <QVBoxLayout>

TCommonLoggerViewFrame::TCommonLoggerViewFrame(QWidget* parent)
    : QWidget(parent), LoggerRichView(new TLoggerRichViewFrame) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(LoggerRichView);
}

ILoggerEventSinkPtr TCommonLoggerViewFrame::FirstSink() const {
    return LoggerRichView->Sink();
}
