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
// "&Undo %1" and "&Redo %1": the Edit menu's items naming the step.
constexpr int UndoStep = 16;
constexpr int RedoStep = 17;
// The window's title with a photo: file name, modified mark, program name.
constexpr int TitleWithFile = 18;
constexpr int SaveBeforeClosing = 19;
constexpr int SaveBeforeClosingDetail = 20;
// What Save proposes: the photo's name with this before the extension.
constexpr int CaptionedNameSuffix = 21;
constexpr int RecentEntry = 22;
constexpr int RecentFileMissing = 23;
constexpr int CommandLineHelp = 24;
constexpr int CommandLineVersion = 25;
constexpr int CommandLineUsageError = 26;
// The undo step of File, Load Caption Set, and the caption set dialogs' filter.
constexpr int LoadCaptionSet = 27;
constexpr int CaptionSetFilter = 28;
// Asked when the name typed for a caption set, with its suffix added, is taken.
constexpr int ReplaceCaptionSet = 29;
// File, Caption Data: the dialog's filter, and the note on a photo without a row.
constexpr int CaptionDataFilter = 30;
constexpr int CaptionDataNoRow = 31;
constexpr int ProgramTitle = 109;
} // namespace StringId

// The string with that identifier; an empty string for an unknown one.
QString loadString(int id);
