#include "platform/soundfont_search.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>

namespace platform {

namespace fs = std::filesystem;

namespace {

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

bool SoundFontName(const std::string& name) {
    const std::string lower = Lower(name);
    const auto endsWith = [&](const char* ext) {
        return lower.size() > 4 && lower.compare(lower.size() - 4, 4, ext) == 0;
    };
    return name[0] != '.' && (endsWith(".sf2") || endsWith(".sf3"));
}

// Every SoundFont directly in the folder, by name as a person reads a list (case aside).
std::vector<std::string> FolderSoundFonts(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (SoundFontName(name)) names.push_back(name);
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const std::string la = Lower(a), lb = Lower(b);
        return la != lb ? la < lb : a < b;
    });
    return names;
}

}  // namespace

SoundFontSearch SoundFontSearch::OnThisMachine() {
    const char* home = std::getenv("HOME");
    const char* data = std::getenv("XDG_DATA_HOME");
    std::vector<std::string> folders = {"/usr/share/sounds/sf2", "/usr/share/soundfonts"};
    if (data && *data) folders.push_back(std::string(data) + "/soundfonts");
    if (home && *home) folders.push_back(std::string(home) + "/.local/share/soundfonts");
    return SoundFontSearch("/usr/share/sounds/sf2/default-GM.sf2", std::move(folders));
}

std::optional<SoundFontFile> SoundFontSearch::Describe(const std::string& path) {
    std::error_code ec;
    const fs::path real = fs::canonical(path, ec);
    if (ec || !fs::is_regular_file(real, ec) || ::access(real.c_str(), R_OK) != 0)
        return std::nullopt;
    const auto bytes = fs::file_size(real, ec);
    if (ec) return std::nullopt;
    return SoundFontFile{path, real.filename().string(), uint64_t(bytes)};
}

bool SoundFontSearch::SameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    return fs::equivalent(a, b, ec);
}

std::vector<SoundFontFile> SoundFontSearch::Find() const {
    std::vector<SoundFontFile> found;
    std::vector<std::string> seen;  // the files themselves, after every link
    const auto take = [&](const std::string& path) {
        const auto file = Describe(path);
        if (!file) return;
        std::error_code ec;
        const std::string real = fs::canonical(path, ec).string();
        if (std::find(seen.begin(), seen.end(), real) != seen.end()) return;
        seen.push_back(real);
        found.push_back(*file);
    };
    if (!systemDefault_.empty()) take(systemDefault_);
    for (const std::string& folder : folders_)
        for (const std::string& name : FolderSoundFonts(folder)) take(folder + "/" + name);
    return found;
}

}  // namespace platform
