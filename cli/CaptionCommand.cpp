#include "cli/CaptionCommand.h"

#include "captions/CaptionData.h"
#include "captions/CaptionSetFile.h"
#include "cli/BatchRun.h"
#include "pipeline/CaptionJob.h"

#include <QGuiApplication>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <thread>

namespace {

// More threads than this would only hold more pictures in memory.
constexpr int kMaxJobs = 256;

enum class Option {
    Set,
    Data,
    DataRequired,
    Out,
    Suffix,
    Metadata,
    Quality,
    Jobs,
    Overwrite,
    Recursive,
    Help
};
struct OptionName {
    const char* name;
    Option option;
    bool takesValue;
};
constexpr std::array<OptionName, 12> kOptions{{
    {"--set", Option::Set, true},
    {"--data", Option::Data, true},
    {"--data-required", Option::DataRequired, false},
    {"--out", Option::Out, true},
    {"--suffix", Option::Suffix, true},
    {"--metadata", Option::Metadata, true},
    {"--quality", Option::Quality, true},
    {"--jobs", Option::Jobs, true},
    {"--overwrite", Option::Overwrite, false},
    {"--recursive", Option::Recursive, false},
    {"--help", Option::Help, false},
    {"-h", Option::Help, false},
}};

constexpr char kHelp[] =
    "Usage: lumora caption --set SET.json [OPTION]... PHOTO|FOLDER...\n"
    "Draw the captions of a caption set into JPEG copies of photos, as the window's\n"
    "File, Save does, without a window or a display.\n"
    "\n"
    "  --set SET.json   the caption set (File, Save Caption Set... in the window)\n"
    "  --data TABLE     a CSV or TSV table: its first column names photos, its other\n"
    "                   columns fill the placeholders named by their headers\n"
    "  --data-required  a photo without a row, or a row naming no photo given, is a\n"
    "                   failure (default: a warning); nothing is written then\n"
    "  --out DIR        where the copies go (default: each photo's own folder)\n"
    "  --suffix TEXT    added to each photo's name (default: -captioned)\n"
    "  --metadata keep|no-location|description-only\n"
    "                   what the copies carry of the photos' metadata (default: keep)\n"
    "  --quality keep|N keep each photo's own compressed blocks, so that only the\n"
    "                   captions are new (default), or encode the whole picture\n"
    "                   again at quality N, 1 to 100\n"
    "  --jobs N         photos worked on at a time (default: the number of cores)\n"
    "  --overwrite      replace copies that exist already\n"
    "  --recursive      also take the photos in the folders' subfolders\n"
    "  -h, --help       show this help and exit\n"
    "\n"
    "A FOLDER means every photo in it (.jpg, .jpeg, .heic, .heif, .hif, .avif,\n"
    ".png, .tif, .tiff and .webp, in any letter case), except the copies this\n"
    "command made of its photos (<name><suffix>.jpg beside <name>.<ext>). Each\n"
    "copy is written as DIR/<name><suffix>.jpg; a photo is never written over,\n"
    "and an existing copy only with --overwrite. The paths of the copies are\n"
    "printed on standard output, progress and failures on standard error.\n"
    "\n"
    "Exit status: 0 when every photo was captioned, 1 when some failed, 2 for a\n"
    "wrong command line or a caption set or table that cannot be read, 130 when\n"
    "stopped by Ctrl+C (copies already written stay, no partial file is left).\n"
    "\n"
    "Example:\n"
    "  lumora caption --set festival.lumora-captions.json --out captioned/ photos/\n"
    "  lumora caption --set prices.lumora-captions.json --data prices.csv photos/\n";

CaptionOptions usageError(const QString& error) {
    CaptionOptions options;
    options.action = CaptionOptions::Action::UsageError;
    options.error = error;
    return options;
}

void quietQt(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "lumora caption: %s\n", message.toLocal8Bit().constData());
}

} // namespace

QString captionHelp() {
    return QString::fromUtf8(kHelp);
}

CaptionOptions parseCaptionArguments(const QStringList& arguments) {
    CaptionOptions options;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (optionsEnded || !argument.startsWith(QLatin1Char('-')) || argument.size() == 1) {
            options.inputs << argument;
            continue;
        }
        if (argument == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        const qsizetype equals = argument.indexOf(QLatin1Char('='));
        const QString name = equals < 0 ? argument : argument.left(equals);
        const OptionName* found = nullptr;
        for (const OptionName& option : kOptions) {
            if (name == QLatin1String(option.name))
                found = &option;
        }
        if (found == nullptr)
            return usageError(QStringLiteral("unknown option '%1'").arg(name));
        QString value;
        if (found->takesValue) {
            if (equals >= 0) {
                value = argument.mid(equals + 1);
            } else if (i + 1 < arguments.size()) {
                value = arguments[++i];
            } else {
                return usageError(QStringLiteral("option '%1' needs a value").arg(name));
            }
        } else if (equals >= 0) {
            return usageError(QStringLiteral("option '%1' takes no value").arg(name));
        }
        switch (found->option) {
        case Option::Help:
            options.action = CaptionOptions::Action::Help;
            return options;
        case Option::Set:
            options.set = value;
            break;
        case Option::Data:
            options.data = value;
            break;
        case Option::DataRequired:
            options.dataRequired = true;
            break;
        case Option::Out:
            options.outputFolder = value;
            break;
        case Option::Suffix:
            options.suffix = value;
            break;
        case Option::Metadata: {
            const std::optional<MetadataChoice> choice = metadataChoiceFromWord(value);
            if (!choice) {
                return usageError(QStringLiteral("--metadata is keep, no-location or "
                                                 "description-only, not '%1'")
                                      .arg(value));
            }
            options.metadata = *choice;
            break;
        }
        case Option::Quality: {
            const std::optional<PictureQuality> quality = qualityChoiceFromWord(value);
            if (!quality) {
                return usageError(
                    QStringLiteral("--quality is keep or a whole number from 1 to 100, not '%1'")
                        .arg(value));
            }
            options.quality = *quality;
            break;
        }
        case Option::Jobs: {
            bool ok = false;
            const int jobs = value.toInt(&ok);
            if (!ok || jobs < 1 || jobs > kMaxJobs) {
                return usageError(QStringLiteral("--jobs is a whole number from 1 to %1, not '%2'")
                                      .arg(kMaxJobs)
                                      .arg(value));
            }
            options.jobs = jobs;
            break;
        }
        case Option::Overwrite:
            options.overwrite = true;
            break;
        case Option::Recursive:
            options.recursive = true;
            break;
        }
    }
    if (options.set.isEmpty())
        return usageError(QStringLiteral("--set SET.json is required"));
    if (options.inputs.isEmpty())
        return usageError(QStringLiteral("no photo or folder given"));
    if (options.dataRequired && options.data.isEmpty())
        return usageError(QStringLiteral("--data-required needs --data TABLE"));
    if (options.suffix.contains(QLatin1Char('/')))
        return usageError(QStringLiteral("--suffix cannot contain '/'"));
    return options;
}

int runCaptionCommand(int argc, char** argv) {
    QStringList arguments;
    for (int i = 2; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    CaptionOptions options = parseCaptionArguments(arguments);
    if (options.action == CaptionOptions::Action::Help) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (options.action == CaptionOptions::Action::UsageError) {
        std::fprintf(stderr,
                     "lumora caption: %s\nTry 'lumora caption --help' for more information.\n",
                     options.error.toLocal8Bit().constData());
        return 2;
    }
    if (options.jobs == 0)
        options.jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));

    // Text needs fonts, and fonts need a Gui application; the offscreen
    // platform gives one without a display, with the same fonts as the window.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Qt's own notes (a missing runtime folder, font fallbacks) are no part
    // of the command's output; its errors still are.
    qInstallMessageHandler(quietQt);
    QGuiApplication application(argc, argv);

    const CaptionSetRead set = readCaptionSet(options.set);
    if (!set.ok) {
        std::fprintf(stderr, "lumora caption: %s\n", set.message.toLocal8Bit().constData());
        return 2;
    }
    CaptionDataRead data;
    if (!options.data.isEmpty()) {
        data = readCaptionData(options.data);
        if (!data.ok) {
            std::fprintf(stderr, "lumora caption: %s\n", data.message.toLocal8Bit().constData());
            return 2;
        }
        for (const QString& warning : data.warnings)
            std::fprintf(stderr, "lumora caption: warning: %s\n",
                         warning.toLocal8Bit().constData());
    }
    return runBatch(options, set.captions, options.data.isEmpty() ? nullptr : &data.table);
}
