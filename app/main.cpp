#include "app/CommandLine.h"
#include "app/MainFrame.h"
#include "cli/CaptionCommand.h"
#include "resources/StringTable.h"
#include "resources/VersionBlock.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

// Qt ends the process with a long diagnostic when it finds no display; say
// it in one line instead. A platform chosen explicitly (offscreen, vnc...)
// needs no display.
bool displayAvailable() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0')
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    // `lumora caption ...` works without a window; nothing of the window's
    // code runs for it.
    if (argc > 1 && std::strcmp(argv[1], "caption") == 0)
        return runCaptionCommand(argc, argv);

    // The arguments are read before Qt starts, so --help and --version need
    // no display. They are bytes in the locale's encoding, as file names are.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine commandLine = parseCommandLine(arguments);
    if (commandLine.action != CommandLine::Action::Run)
        return reportCommandLine(commandLine);

    if (!displayAvailable()) {
        std::fputs("lumora: no display to open the window on (DISPLAY and WAYLAND_DISPLAY are "
                   "unset); start it from a desktop session or under xvfb-run\n",
                   stderr);
        return 1;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(loadString(StringId::ProgramTitle));
    // Settings (recent photos, the last folder) live in ~/.config/Lumora.
    QApplication::setOrganizationName(loadString(StringId::ProgramTitle));
    QApplication::setApplicationVersion(
        VersionBlock::stringValue(u"ProductVersion").value_or(QString()));
    // Matches the installed desktop entry, so desktops show its icon and name.
    QApplication::setDesktopFileName(QStringLiteral("lumora"));
    {
        CMainFrame frame(static_cast<std::int64_t>(std::time(nullptr)));
        frame.showAtStartingPlace();
        if (!commandLine.file.isEmpty())
            frame.openAtStart(commandLine.file);
        QApplication::exec();
    }
    return 0;
}
