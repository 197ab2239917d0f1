#pragma once
// The command line's export-cd and verify-cd (the CD playback export and its
// check) and jaw, without a window (no display needed).
#include <QStringList>

namespace mk {

/// True when `arguments` (argv[0] first) start with one of the subcommands.
bool isCdCommand(const QStringList& arguments);

/// Runs the subcommand; messages and progress go to standard error. Returns
/// the exit status: 0 only on success, 1 when the export or check failed,
/// 2 for a wrong command line. Needs a QCoreApplication.
int runCdCommand(const QStringList& arguments);

/// The lines --help shows for the subcommands.
QString cdCommandsHelp();

/// marionettekit jaw (see jawCommandHelp); exit statuses as above.
int runJawCommand(const QStringList& arguments);
QString jawCommandHelp();

} // namespace mk
