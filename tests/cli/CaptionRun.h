#pragma once
// Running `lumora caption` as the real program in a folder of its own.
#include "captions/CaptionSetFile.h"
#include "document/DocumentModel.h"
#include "tests/support/QtPaths.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace caption_run {

namespace fs = std::filesystem;
using testing_support::CorpusDir;
using testing_support::Q;
using testing_support::Quote;
using testing_support::ReadBytes;
using testing_support::Run;
using testing_support::TempDir;

inline constexpr char kSet[] = R"({ "format": "lumora-captions", "version": 1,
  "captions": [
    { "text": "Harbour festival {date}", "disposition": "top-band",
      "horizontalAlignment": "center",
      "font": { "family": "DejaVu Sans", "size": 6, "sizeUnit": "percent", "bold": true },
      "textColor": "#FFFFFF", "backgroundColor": "#203040" },
    { "text": "On the quay", "verticalAlignment": "bottom",
      "box": { "enabled": true, "color": "#000000", "opacity": 50, "padding": 6 } },
    { "text": "Harbour festival, first day", "useTextAsDescription": true } ] })";

struct Ran {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string Q8(const fs::path& path) {
    return Quote(path.string());
}

inline bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

inline bool Decodes(const fs::path& file) {
    return Run("djpeg -pnm " + Q8(file) + " >/dev/null").exitCode == 0;
}

// A folder the tests put photos and sets in, open to every user, so that
// the program can also run as an ordinary user where the tests are root.
class Workspace {
public:
    Workspace() {
        fs::permissions(dir_.path(), fs::perms::all);
        fs::create_directory(in());
        fs::create_directory(out());
        std::ofstream(set()) << kSet;
    }
    fs::path dir() const { return dir_.path(); }
    fs::path in() const { return dir_.file("in"); }
    fs::path out() const { return dir_.file("out"); }
    fs::path set() const { return dir_.file("festival.lumora-captions.json"); }
    fs::path file(const std::string& name) const { return dir_.file(name); }

    // Every file but the set and the program's copy ("in/a.jpg").
    std::set<std::string> Tree() const {
        std::set<std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(dir_.path())) {
            const std::string path = fs::relative(entry.path(), dir_.path()).string();
            if (entry.is_regular_file() && path != set().filename() && path.rfind("bin/", 0) != 0)
                files.insert(path);
        }
        return files;
    }

    // Why nobody cannot run the program here ("" when it can, or not root);
    // nobody runs a copy in this open folder, as the build tree may be closed.
    std::string UserRunUnavailable() {
        if (::geteuid() != 0)
            return {};
        const fs::perms open = fs::perms::owner_all | fs::perms::group_read |
                               fs::perms::group_exec | fs::perms::others_read |
                               fs::perms::others_exec;
        const fs::path copy = dir_.file("bin") / "lumora";
        std::error_code error;
        fs::create_directory(copy.parent_path(), error);
        fs::copy_file(LUMORA_PROGRAM, copy, fs::copy_options::overwrite_existing, error);
        if (error)
            return "the program could not be copied where nobody may run it: " + error.message();
        fs::permissions(copy.parent_path(), open);
        fs::permissions(copy, open);
        userProgram_ = copy.string();
        if (Run(kAsNobody + std::string("test -x ") + Quote(userProgram_)).exitCode != 0)
            return "nobody cannot reach the temporary folder " + dir_.path().string() +
                   ", so permissions cannot be tried as root";
        return {};
    }

    // `lumora caption ARGUMENTS` with no display, after shell commands `before`;
    // `asUser`: as nobody when root, after UserRunUnavailable().
    Ran Caption(const std::string& arguments, const std::string& before = "",
                bool asUser = false) const {
        const bool nobody = asUser && ::geteuid() == 0;
        const std::string program =
            nobody && !userProgram_.empty() ? userProgram_ : std::string(LUMORA_PROGRAM);
        const fs::path err = dir_.file("stderr.txt");
        const auto result =
            Run("{ " + before + (nobody ? kAsNobody : "") +
                "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + Quote(program) +
                " caption " + arguments + " 2>" + Quote(err.string()) + "; }");
        const std::vector<std::uint8_t> said = ReadBytes(err);
        fs::remove(err);
        return {result.exitCode, result.output, std::string(said.begin(), said.end())};
    }

private:
    static constexpr char kAsNobody[] =
        "setpriv --reuid=65534 --regid=65534 --clear-groups env HOME=/tmp ";
    TempDir dir_;
    std::string userProgram_;
};

// What the window writes for the photo with the set (Open, Load Caption Set, Save).
inline std::vector<std::uint8_t> WindowSave(const fs::path& photo, const fs::path& set,
                                            const fs::path& to, const SaveChoices& choices = {}) {
    DocumentModel model;
    EXPECT_TRUE(model.open(Q(photo)).ok) << photo;
    const CaptionSetRead read = readCaptionSet(Q(set));
    EXPECT_TRUE(read.ok);
    model.replaceCaptions(read.captions);
    EXPECT_TRUE(model.save(Q(to), choices).ok) << to;
    return ReadBytes(to);
}

} // namespace caption_run
