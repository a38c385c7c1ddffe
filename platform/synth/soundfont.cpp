#include "platform/synth/soundfont.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

namespace platform::synth {

namespace {

bool ReadableFile(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec) && access(path.c_str(), R_OK) == 0;
}

}  // namespace

std::string FindSoundFont(std::string* lookedFor) {
    std::vector<std::string> candidates;
    if (const char* chosen = std::getenv("TONVERA_SOUNDFONT"))
        candidates.push_back(chosen);
    else
        candidates = {"/usr/share/sounds/sf2/default-GM.sf2", "/usr/share/sounds/sf2/TimGM6mb.sf2"};
    std::string tried;
    std::string found;
    for (const auto& path : candidates) {
        tried += (tried.empty() ? "" : ", ") + path;
        if (ReadableFile(path)) {
            found = path;
            break;
        }
    }
    if (lookedFor) *lookedFor = tried;
    return found;
}

}  // namespace platform::synth
