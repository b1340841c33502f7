// The dispatch of orvq-cli to its subcommands.
#include "CliSupport.h"

#include "base/vlxTextUtils.h"

#define ORVQ_CLI_COMMAND(name, function, summary)                                                  \
    int function(TCliEnvironment& env, const QStringList& args);
#include "CliCommandList.h"
#undef ORVQ_CLI_COMMAND

namespace {

struct TCliCommand {
    const char* Name;
    int (*Run)(TCliEnvironment&, const QStringList&);
    const char* Summary;
};

const TCliCommand Commands[] = {
#define ORVQ_CLI_COMMAND(name, function, summary) {name, function, summary},
#include "CliCommandList.h"
#undef ORVQ_CLI_COMMAND
};

void PrintUsage(QTextStream& s) {
    s << "usage: orvq-cli COMMAND [options]\n"
         "\n"
         "Runs the exports of Orvane QB Export without its window, with the options saved by\n"
         "the program unless flags override them. Exit code 0: done; 1: the run failed or\n"
         "some records failed; 2: wrong usage; 3 (gl): the journal entry was created but\n"
         "could not be marked cleared, or whether it was created is unknown.\n"
         "\n"
         "Commands:\n";
    for (const TCliCommand& c : Commands)
        s << "  " << QString::fromLatin1(c.Name).leftJustified(12) << c.Summary << '\n';
    s << "\norvq-cli COMMAND --help explains a command.\n";
}

} // namespace

int RunOrvqCli(const QStringList& args, TCliEnvironment& env) {
    if (args.isEmpty()) {
        PrintUsage(env.Err);
        return cecUsage;
    }
    if (args[0] == u"--help" || args[0] == u"-h" || args[0] == u"help") {
        PrintUsage(env.Out);
        return cecSuccess;
    }
    for (const TCliCommand& c : Commands)
        if (args[0] == QLatin1String(c.Name))
            return c.Run(env, args.mid(1));
    env.Err << "orvq-cli: unknown command \"" << EscapeControlCharsInLine(args[0]) << "\"\n\n";
    PrintUsage(env.Err);
    return cecUsage;
}
