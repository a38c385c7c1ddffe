#include "platform/mci_files.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "platform/midi/smf_reader.h"

namespace platform {
namespace {

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

std::string Extension(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    return Lower(path.substr(dot));
}

std::optional<MciDevice> DeviceOfHead(const uint8_t* head, size_t size) {
    if (midi::LooksLikeSmf(head, size)) return MciDevice::kSequencer;
    if (size >= 12 && std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WAVE", 4) == 0)
        return MciDevice::kWaveAudio;
    // The compressed files the program writes: FLAC, Ogg (Vorbis, Opus), MP3 with its tag.
    for (const char* magic : {"fLaC", "OggS", "ID3"})
        if (size >= std::strlen(magic) && std::memcmp(head, magic, std::strlen(magic)) == 0)
            return MciDevice::kWaveAudio;
    return std::nullopt;
}

bool IsSoundExtension(const std::string& ext) {
    for (const char* known : {".wav", ".flac", ".ogg", ".oga", ".opus", ".mp3"})
        if (ext == known) return true;
    return false;
}

MciFileChoice Refused(MCIERROR error, std::string detail = "") {
    MciFileChoice choice;
    choice.error = error;
    choice.detail = std::move(detail);
    return choice;
}

}  // namespace

std::optional<MciDevice> MciDeviceNamed(const std::string& type) {
    const std::string name = Lower(type);
    if (name == "sequencer") return MciDevice::kSequencer;
    if (name == "waveaudio") return MciDevice::kWaveAudio;
    return std::nullopt;
}

std::optional<MciDevice> MciDeviceOfFile(const std::string& path, bool* unreadable) {
    if (unreadable) *unreadable = false;
    const std::string ext = Extension(path);
    if (ext == ".mid" || ext == ".midi" || ext == ".rmi") return MciDevice::kSequencer;
    if (IsSoundExtension(ext)) return MciDevice::kWaveAudio;
    std::ifstream in(path, std::ios::binary);
    uint8_t head[12] = {};
    in.read(reinterpret_cast<char*>(head), sizeof head);
    const size_t got = size_t(in.gcount());
    if (got == 0 && unreadable) {
        // An empty file has nothing to tell; a file with bytes that cannot be read is a fault.
        struct stat st;
        *unreadable = stat(path.c_str(), &st) == 0 && st.st_size > 0;
    }
    return DeviceOfHead(head, got);
}

MciFileChoice ChooseMciDevice(DWORD_PTR flags, const MCI_OPEN_PARMSA& parms) {
    std::optional<MciDevice> named;
    if (flags & MCI_OPEN_TYPE) {
        if (!parms.lpstrDeviceType) return Refused(MCIERR_MISSING_PARAMETER);
        named = MciDeviceNamed(parms.lpstrDeviceType);
        if (!named)
            return Refused(MCIERR_INVALID_DEVICE_NAME,
                           std::string("Device \"") + parms.lpstrDeviceType +
                               "\": there are \"sequencer\" and \"waveaudio\".");
    }
    if (!parms.lpstrElementName || !*parms.lpstrElementName)
        return Refused(MCIERR_FILENAME_REQUIRED);
    const std::string path = parms.lpstrElementName;

    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return Refused(MCIERR_FILE_NOT_FOUND, "File: " + path);
        return Refused(MCIERR_FILE_READ, path + ": " + std::strerror(errno));
    }
    if (S_ISDIR(st.st_mode))
        return Refused(MCIERR_INVALID_FILE, path + " is a folder, not a file.");
    if (!S_ISREG(st.st_mode)) return Refused(MCIERR_INVALID_FILE, path + " is not a regular file.");

    MciFileChoice choice;
    choice.path = path;
    if (named) {
        choice.device = *named;
        return choice;
    }
    bool unreadable = false;
    const auto chosen = MciDeviceOfFile(path, &unreadable);
    if (!chosen)
        return Refused(unreadable ? MCIERR_FILE_READ : MCIERR_EXTENSION_NOT_FOUND, "File: " + path);
    choice.device = *chosen;
    return choice;
}

}  // namespace platform
