#pragma once

#include "metadata/PhotoMetadata.h"
#include "pipeline/PicturePipeline.h"

#include <QString>
#include <QStringList>

// `lumora caption`: captions many photos with a caption set, without a
// window or a display.

struct CaptionOptions {
    enum class Action { Run, Help, UsageError };
    Action action = Action::Run;
    QString error; // what was wrong (UsageError)

    QString set;                                       // --set
    QString data;                                      // --data: a caption data table
    bool dataRequired = false;                         // --data-required
    QString outputFolder;                              // --out; empty: each photo's folder
    QString suffix = QStringLiteral("-captioned");     // --suffix
    MetadataChoice metadata = MetadataChoice::KeepAll; // --metadata
    PictureQuality quality;                            // --quality
    int jobs = 0;                                      // --jobs; 0: the number of cores
    bool overwrite = false;                            // --overwrite
    bool recursive = false;                            // --recursive
    QStringList inputs;                                // photos and folders
};

// Reads the arguments after "caption". Options take their value as the next
// argument or after "="; "--" ends the options.
CaptionOptions parseCaptionArguments(const QStringList& arguments);

// What `lumora caption --help` prints.
QString captionHelp();

// Runs the command for the program's arguments (argv[1] is "caption") and
// returns the exit status: 0 when every photo was captioned, 1 when some
// failed, 2 for bad usage or a set or table that cannot be read, 130 when Ctrl+C
// stopped it before every photo was started.
int runCaptionCommand(int argc, char** argv);
