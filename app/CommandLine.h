#pragma once

#include <QString>
#include <QStringList>

// What the command line asks for. Read before Qt looks for a display, so
// --help and --version work anywhere.
struct CommandLine {
    enum class Action { Run, Help, Version, UsageError };
    Action action = Action::Run;
    // The photo to open at start (Run); empty for none.
    QString file;
    // What was wrong (UsageError).
    QString error;
};

// Reads the arguments after the program's name: -h/--help, -v/--version,
// at most one FILE, and "--" before a FILE that starts with "-".
CommandLine parseCommandLine(const QStringList& arguments);

// Prints what the command line asked for and returns the exit status:
// help and version on standard output with 0, a usage error on standard
// error with 2. Nothing for Run.
int reportCommandLine(const CommandLine& commandLine);
