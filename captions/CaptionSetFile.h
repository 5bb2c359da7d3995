#pragma once

#include "captions/CaptionList.h"

#include <QByteArray>
#include <QString>

// Caption sets as files (*.lumora-captions.json): the caption list as JSON,
// written by the window and read by the window and the command line. The
// format is described for people in docs/caption-sets.md.

// The format's name and the newest version this program reads and writes.
inline constexpr char kCaptionSetFormat[] = "lumora-captions";
constexpr int kCaptionSetVersion = 1;
// The extension the window proposes and filters for.
inline constexpr char kCaptionSetSuffix[] = ".lumora-captions.json";

// What reading a set gave: the captions, or a message naming the file and
// the reason (the captions are then empty).
struct CaptionSetRead {
    bool ok = false;
    QString message;
    CaptionList captions;
};

// The set as indented UTF-8 JSON. Every field is written, so a file also
// shows what can be changed.
QByteArray captionSetToJson(const CaptionList& captions);

// Reads a set from JSON bytes. `name` is what messages call the file. A
// missing member takes the default caption's value and an unknown member
// is ignored; numbers out of range are brought into it. Another format, a
// later version, bytes that are not JSON and members of the wrong kind or
// with an unknown word are refused with the reason.
CaptionSetRead parseCaptionSet(const QByteArray& json, const QString& name);

// The same from a file, with the system's reason when it cannot be read.
CaptionSetRead readCaptionSet(const QString& path);

// Writes the set through a temporary file renamed over `path`, so a failed
// write leaves the old file. Empty on success, else the message.
QString writeCaptionSet(const CaptionList& captions, const QString& path);
