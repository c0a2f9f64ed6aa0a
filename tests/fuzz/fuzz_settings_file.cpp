// The settings file as the program writes and reads it, past the 64 KiB read
// limit: whatever bytes setting.cfg holds, the writer stores them exactly and the
// window's reader (UiStrings::LoadSettings, through a file stream) finds what the
// plain model of the rule finds, or keeps the language it had; then saving a
// language over that file leaves exactly its one line, on every name of the file
// when another hard link names it, and reading gives that language back.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

#include "localization/settings_file.h"
#include "localization/ui_strings.h"
#include "tests/fuzz/settings_model.h"

namespace {

using orvandel::kMaxSettingsBytes;
using orvandel::LanguageId;

void Check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

// One folder for the whole run, removed at exit. On tmpfs where there is one: a
// disk file system flushes the data of a file renamed over another, which would
// make every run take milliseconds.
struct Folder {
    Folder() {
        const std::filesystem::path shm = "/dev/shm";
        std::error_code ec;
        const std::filesystem::path base =
            std::filesystem::is_directory(shm, ec) ? shm : std::filesystem::temp_directory_path();
        std::string name = (base / "orvandel-fuzz-XXXXXX").string();
        Check(::mkdtemp(name.data()) != nullptr);
        path = name;
        strings = std::make_unique<orvandel::UiStrings>(path / "setting.cfg");
    }
    ~Folder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::filesystem::path path;
    std::unique_ptr<orvandel::UiStrings> strings;
};

Folder& TheFolder() {
    static Folder folder;
    return folder;
}

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    Check(in.is_open());
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Byte 0: bit 0 pads the text up against the limit, bits 1-2 pick the padding,
    // bit 3 adds a second name for the file before the save. Byte 1 says how far
    // past the limit the text reaches; bytes 2-5 are the language saved after.
    if (size < 6) {
        return 0;
    }
    const std::uint8_t flags = data[0];
    std::int32_t saved_id = 0;
    std::memcpy(&saved_id, data + 2, sizeof saved_id);
    const std::string_view rest(reinterpret_cast<const char*>(data + 6), size - 6);
    std::string content(rest);
    if ((flags & 1) != 0) {
        const std::size_t past = data[1] % (rest.size() + 1);
        constexpr char kPadding[] = {' ', '\n', 'x', '7'};
        content = std::string(kMaxSettingsBytes + past - rest.size(), kPadding[(flags >> 1) & 3]) +
                  content;
    }

    Folder& folder = TheFolder();
    const std::filesystem::path file = folder.path / "setting.cfg";
    orvandel::UiStrings& strings = *folder.strings;

    Check(orvandel::ReplaceFileContents(file, content));
    Check(ReadAll(file) == content);
    const LanguageId before = strings.Language();
    strings.LoadSettings();
    Check(strings.Language() == orvandel::fuzz::Model(content).value_or(before));

    const std::filesystem::path other = folder.path / "other.cfg";
    const bool linked = (flags & 8) != 0;
    if (linked) {
        Check(::link(file.c_str(), other.c_str()) == 0);
    }
    strings.SaveLanguage(saved_id);
    const std::string line = orvandel::FormatLanguageLine(saved_id);
    Check(ReadAll(file) == line);
    if (linked) {
        Check(ReadAll(other) == line);
        Check(::unlink(other.c_str()) == 0);
    }
    strings.LoadSettings();
    Check(strings.Language() == saved_id);
    return 0;
}
