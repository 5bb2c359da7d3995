#include "resources/StringTable.h"

#include <array>
#include <utility>

namespace {

constexpr std::array<std::pair<int, const char16_t*>, 32> kStrings{{
    {StringId::AddCaption, u"Add Caption"},
    {StringId::EditCaption, u"Edit Caption"},
    {StringId::RemoveCaption, u"Remove Caption"},
    {StringId::DefaultExtension, u"jpg"},
    {StringId::FileFilter, u"JPEG Images (*.jpg;*.jpeg)|*.jpg;*.jpeg|All files (*.*)|*.*||"},
    {StringId::Regular, u"Regular"},
    {StringId::Bold, u"Bold"},
    {StringId::Underline, u"Underline"},
    {StringId::Strikeout, u"Strikeout"},
    {StringId::Italic, u"Italic"},
    {StringId::SelectCaptionToEdit, u"Select caption to edit"},
    {StringId::VersionFormat, u"Version: %s"},
    {StringId::SelectCaptionToRemove, u"Select caption to remove"},
    {StringId::Remove, u"Remove"},
    {StringId::Close, u"Close"},
    {StringId::UndoStep, u"&Undo %1"},
    {StringId::RedoStep, u"&Redo %1"},
    {StringId::TitleWithFile, u"%1[*] \u2013 %2"},
    {StringId::SaveBeforeClosing, u"Save the captioned picture of \"%1\" before closing?"},
    {StringId::SaveBeforeClosingDetail,
     u"The captions have changed since the photo was opened or last saved. If you "
     u"do not save, the changes are lost."},
    {StringId::CaptionedNameSuffix, u"-captioned"},
    {StringId::RecentEntry, u"&%1 %2"},
    {StringId::RecentFileMissing,
     u"\"%1\" is no longer there, so it has been taken off the list of recent photos."},
    {StringId::CommandLineHelp,
     u"Usage: lumora [OPTION]... [FILE]\n"
     u"Lay text captions over a photograph or into bands above and below it,\n"
     u"and save the result as a new JPEG.\n"
     u"\n"
     u"  FILE           the photograph to open at start (JPEG, HEIC, HEIF, AVIF,\n"
     u"                 PNG, TIFF or WebP)\n"
     u"  -h, --help     show this help and exit\n"
     u"  -v, --version  show the version and exit\n"
     u"\n"
     u"lumora caption --set SET.json PHOTO|FOLDER... captions many photos without\n"
     u"a window; 'lumora caption --help' tells more.\n"},
    {StringId::CommandLineVersion, u"%1 %2\n"},
    {StringId::CommandLineUsageError, u"lumora: %1\nTry 'lumora --help' for more information.\n"},
    {StringId::LoadCaptionSet, u"Load Caption Set"},
    {StringId::CaptionSetFilter,
     u"Caption Sets (*.lumora-captions.json)|*.lumora-captions.json|All files (*.*)|*.*||"},
    {StringId::ReplaceCaptionSet, u"\"%1\" already exists. Do you want to replace it?"},
    {StringId::CaptionDataFilter,
     u"Caption Data (*.csv;*.tsv)|*.csv;*.tsv;*.txt|All files (*.*)|*.*||"},
    {StringId::CaptionDataNoRow,
     u"\"%1\" has no row in \"%2\"; its columns are empty in the captions."},
    {StringId::ProgramTitle, u"Lumora"},
}};

} // namespace

QString loadString(int id) {
    for (const auto& [key, text] : kStrings) {
        if (key == id)
            return QString::fromUtf16(text);
    }
    return {};
}
