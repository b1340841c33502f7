// How a run opens QuickBooks. The runs create one connection per run and free
// it at the end; the factory decides which company it reaches, so tests and
// the command line can name a company file of their own.
#pragma once

#include "quickbooks/QBConnection.h"
#include "settings/vlxRedir.h"

#include <functional>
#include <memory>

using TQBConnectionFactory =
    std::function<std::unique_ptr<TQBConnection>(const ICommonLoggerPtr& logger)>;

// Where the SDK installer can be downloaded; ends the "Cannot access
// QuickBooks" message.
extern const QString QBSdkDownloadAddress;

// The connection settings of this workstation: the processor of the program
// and the company file of the redirection alias "QBCompanyFile" (used where
// the sandbox company stands in for QuickBooks). Throws ERedirectionError
// when the alias is missing.
TQBConnectionConfig QBConnectionConfig(const IRedirection& redirection,
                                       TQBRequestProcessorFactory processor);

// A factory over fixed settings.
TQBConnectionFactory QBConnectionFactory(TQBConnectionConfig config);
// A factory that asks redirection() for the company file at each
// connection, so a changed redirection file takes effect with the next run.
TQBConnectionFactory RedirectedQBConnectionFactory(std::function<IRedirectionPtr()> redirection,
                                                   TQBRequestProcessorFactory processor);
