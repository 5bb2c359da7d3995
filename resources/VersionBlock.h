#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

// The version block the program carries: one string table, keyed by language
// and code page ("000904B0": language 0x0009, code page 1200), holding
// ProductName, ProductVersion and LegalCopyright, and a translation entry
// naming that key. Values are looked up by path, as
// "\StringFileInfo\000904B0\ProductName".
namespace VersionBlock {

constexpr std::uint16_t kLanguage = 0x0009;
constexpr std::uint16_t kCodePage = 1200;
// Language in the high word, code page in the low word: 0x000904B0.
constexpr std::uint32_t kTranslation = (std::uint32_t{kLanguage} << 16) | kCodePage;

// "\StringFileInfo\<translation as 8 upper-case hex digits>\<name>".
QString stringFileInfoPath(std::uint32_t translation, QStringView name);

// The value at a path of the block; nothing when the block has no such value.
// "\VarFileInfo\Translation" gives the translation as 8 hex digits.
std::optional<QString> queryValue(QStringView path);

// A value of the program's own string table (ProductName, ProductVersion,
// LegalCopyright), looked up under its translation.
std::optional<QString> stringValue(QStringView name);

} // namespace VersionBlock

// The maker's web address: the About box shows and opens it, and so does the
// link under the picture.
QString makerWebAddress();
