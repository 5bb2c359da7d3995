#include "metadata/MetadataLibrary.h"

#include <mutex>

namespace {
std::mutex xmpToolkitLock;
// Errors the library reported on this thread since the count was reset.
thread_local int reportedErrors = 0;

void lockXmpToolkit(void*, bool lock) {
    if (lock)
        xmpToolkitLock.lock();
    else
        xmpToolkitLock.unlock();
}

void countError(int level, const char*) {
    if (level >= Exiv2::LogMsg::error)
        ++reportedErrors;
}

void setUpLibrary() {
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::XmpParser::initialize(lockXmpToolkit, nullptr);
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::error);
        Exiv2::LogMsg::setHandler(countError);
    });
}
} // namespace

MetadataRead readWithLibrary(const std::vector<std::uint8_t>& jpeg) {
    return readFileWithLibrary(jpeg.data(), jpeg.size());
}

MetadataRead readFileWithLibrary(const std::uint8_t* data, std::size_t size) {
    setUpLibrary();
    MetadataRead read;
    reportedErrors = 0;
    try {
        read.image.reset(Exiv2::ImageFactory::open(data, static_cast<long>(size)).release());
        read.image->readMetadata();
    } catch (const std::exception& e) {
        read.image.reset();
        read.problem = std::string("its metadata is damaged (") + e.what() + ")";
        return read;
    }
    if (reportedErrors > 0)
        read.problem = "its metadata is damaged";
    return read;
}

std::unique_ptr<Exiv2::Image> emptyJpegForWriting() {
    setUpLibrary();
    static constexpr Exiv2::byte kEmptyJpeg[] = {0xFF, 0xD8, 0xFF, 0xD9};
    return std::unique_ptr<Exiv2::Image>(
        Exiv2::ImageFactory::open(kEmptyJpeg, sizeof kEmptyJpeg).release());
}

// The text of a language alternative in the default language, or the first.
std::string defaultLanguageText(const Exiv2::Value& value) {
    const auto* alternatives = dynamic_cast<const Exiv2::LangAltValue*>(&value);
    if (alternatives == nullptr)
        return value.count() > 0 ? value.toString() : std::string();
    const auto found = alternatives->value_.find("x-default");
    if (found != alternatives->value_.end())
        return found->second;
    return alternatives->value_.empty() ? std::string() : alternatives->value_.begin()->second;
}
