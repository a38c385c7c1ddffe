#pragma once
// The SoundFonts on this machine, for the choice of the synthesizer's sound: the system's
// General MIDI default first, then every .sf2 and .sf3 in the folders where Debian's packages and
// the user keep them, each file once however many links name it.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

struct SoundFontFile {
    std::string path;  // as found: the system default keeps its own name, which follows the
                       // system's choice
    std::string name;  // the name of the file itself, after every link
    uint64_t bytes = 0;
};

class SoundFontSearch {
  public:
    // /usr/share/sounds/sf2/default-GM.sf2, then /usr/share/sounds/sf2, /usr/share/soundfonts,
    // $XDG_DATA_HOME/soundfonts and ~/.local/share/soundfonts.
    static SoundFontSearch OnThisMachine();
    SoundFontSearch(std::string systemDefault, std::vector<std::string> folders)
        : systemDefault_(std::move(systemDefault)), folders_(std::move(folders)) {}

    // The default (if it is there), then each folder's SoundFonts by name; a file that is not
    // there, not readable or not a regular file is left out, and so is one found before.
    std::vector<SoundFontFile> Find() const;

    // The same facts of one file; none when it is no readable regular file.
    static std::optional<SoundFontFile> Describe(const std::string& path);
    // Whether two paths lead to the same file.
    static bool SameFile(const std::string& a, const std::string& b);

  private:
    std::string systemDefault_;
    std::vector<std::string> folders_;
};

}  // namespace platform
