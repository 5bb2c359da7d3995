#include "resources/StringTable.h"

#include <array>
#include <utility>

namespace {

constexpr std::array<std::pair<int, const char16_t*>, 16> kStrings{{
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
