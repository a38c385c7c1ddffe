#include "app/console_line.h"

#include <unistd.h>

#include <cstdio>
#include <string>

namespace app {

TConsoleLine::TConsoleLine() : terminal_(isatty(STDERR_FILENO)) {}

void TConsoleLine::Draw(const std::string& text) {
    if (!terminal_ || text == shown_) return;
    // Pad to the old width so a shorter line leaves nothing behind.
    std::string padded = text;
    if (padded.size() < shown_.size()) padded.append(shown_.size() - padded.size(), ' ');
    std::fprintf(stderr, "\r%s", padded.c_str());
    std::fflush(stderr);
    shown_ = text;
}

void TConsoleLine::End() {
    if (shown_.empty()) return;
    std::fprintf(stderr, "\n");
    std::fflush(stderr);
    shown_.clear();
}

void TConsoleLine::Clear() {
    if (shown_.empty()) return;
    std::fprintf(stderr, "\r%s\r", std::string(shown_.size(), ' ').c_str());
    std::fflush(stderr);
    shown_.clear();
}

}  // namespace app
