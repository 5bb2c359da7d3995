#pragma once

#include <QString>

// Every word the user sees outside the dialog templates, by identifier.
namespace StringId {
constexpr int AddCaption = 1;
constexpr int EditCaption = 2;
constexpr int RemoveCaption = 3;
constexpr int DefaultExtension = 4;
constexpr int FileFilter = 5;
constexpr int Regular = 6;
constexpr int Bold = 7;
constexpr int Underline = 8;
constexpr int Strikeout = 9;
constexpr int Italic = 10;
constexpr int SelectCaptionToEdit = 11;
constexpr int VersionFormat = 12;
constexpr int SelectCaptionToRemove = 13;
constexpr int Remove = 14;
constexpr int Close = 15;
constexpr int ProgramTitle = 109;
} // namespace StringId

// The string with that identifier; an empty string for an unknown one.
QString loadString(int id);
