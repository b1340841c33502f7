// The subcommands of orvq-cli, one line each: name, function, summary.
// A command is a new file in this folder defining
//     int Function(TCliEnvironment& env, const QStringList& args);
// and one line here.
ORVQ_CLI_COMMAND("checks", RunChecksCommand,
                 "export the checks of an S1910 or S1911 report (file or service) into QuickBooks")
ORVQ_CLI_COMMAND("gl", RunGLCommand,
                 "export an S348 journal (file or service) into QuickBooks as one journal entry")
ORVQ_CLI_COMMAND("runs", RunRunsCommand,
                 "list the runs of the run ledger, or show one run with its records")
ORVQ_CLI_COMMAND("undo", RunUndoCommand,
                 "take back what a run added to QuickBooks, or --preview what that would do")
ORVQ_CLI_COMMAND("payrolls", RunPayrollsCommand,
                 "list the clients, companies and payrolls of the Orvane service")
ORVQ_CLI_COMMAND("connection", RunConnectionCommand,
                 "show or change the saved connection settings of the Orvane service")
ORVQ_CLI_COMMAND("demo", RunDemoCommand,
                 "export the bundled sample checks report into the demo company")
ORVQ_CLI_COMMAND("bureau", RunBureauCommand,
                 "export every mapped company's new payrolls into its own company file")
ORVQ_CLI_COMMAND("map", RunMapCommand,
                 "list, add or remove the companies of the bureau's company map")
ORVQ_CLI_COMMAND("ledger", RunLedgerCommand,
                 "show where the run ledger is, or save its PostgreSQL password protected")
