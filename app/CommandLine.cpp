#include "app/CommandLine.h"

#include "resources/StringTable.h"
#include "resources/VersionBlock.h"

#include <array>
#include <cstdio>

namespace {

struct Option {
    const char* shortName;
    const char* longName;
    CommandLine::Action action;
};

constexpr std::array<Option, 2> kOptions{{
    {"-h", "--help", CommandLine::Action::Help},
    {"-v", "--version", CommandLine::Action::Version},
}};

CommandLine usageError(const QString& error) {
    CommandLine line;
    line.action = CommandLine::Action::UsageError;
    line.error = error;
    return line;
}

} // namespace

CommandLine parseCommandLine(const QStringList& arguments) {
    CommandLine line;
    bool optionsEnded = false;
    for (const QString& argument : arguments) {
        if (!optionsEnded && argument == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && argument.startsWith(QLatin1Char('-')) && argument.size() > 1) {
            const Option* found = nullptr;
            for (const Option& option : kOptions) {
                if (argument == QLatin1String(option.shortName) ||
                    argument == QLatin1String(option.longName))
                    found = &option;
            }
            if (found == nullptr)
                return usageError(QStringLiteral("unknown option '%1'").arg(argument));
            // The first of --help and --version wins, as in most tools.
            if (line.action == CommandLine::Action::Run)
                line.action = found->action;
            continue;
        }
        if (!line.file.isEmpty())
            return usageError(QStringLiteral("only one photo can be opened at a time"));
        line.file = argument;
    }
    return line;
}

int reportCommandLine(const CommandLine& commandLine) {
    switch (commandLine.action) {
    case CommandLine::Action::Help:
        std::fputs(loadString(StringId::CommandLineHelp).toLocal8Bit().constData(), stdout);
        return 0;
    case CommandLine::Action::Version: {
        const QString version =
            loadString(StringId::CommandLineVersion)
                .arg(loadString(StringId::ProgramTitle),
                     VersionBlock::stringValue(u"ProductVersion").value_or(QString()));
        std::fputs(version.toLocal8Bit().constData(), stdout);
        return 0;
    }
    case CommandLine::Action::UsageError:
        std::fputs(loadString(StringId::CommandLineUsageError)
                       .arg(commandLine.error)
                       .toLocal8Bit()
                       .constData(),
                   stderr);
        return 2;
    case CommandLine::Action::Run:
        break;
    }
    return 0;
}
