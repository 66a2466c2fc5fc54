#pragma once

#include <QStringList>
#include <QTextStream>

// Exit status of the command line.
enum class ExitCode { Ok = 0, Failed = 1, Usage = 2 };

// Runs the command given by the arguments (program name excluded):
// convert, --help or --version. Messages go to err, help and version to out.
ExitCode runCommandLine(const QStringList& args, QTextStream& out, QTextStream& err);
