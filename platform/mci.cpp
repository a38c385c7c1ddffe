#include "platform/mci.h"

#include <algorithm>
#include <cstring>

#include "platform/service_slot.h"
#include "platform/services.h"

namespace platform {
namespace {

// The poster is installed like a service: tests swap it while device threads may still post.
struct NoticePoster {
    McinotifyPoster post;
};

}  // namespace

void InstallMci(std::unique_ptr<MciService> service) {
    ServiceSlot<MciService>::Instance().Install(std::move(service));
}

void SetMciNoticePoster(McinotifyPoster poster) {
    ServiceSlot<const NoticePoster>::Instance().Install(
        poster ? std::make_unique<const NoticePoster>(NoticePoster{std::move(poster)}) : nullptr);
}

void PostMciNotice(DWORD_PTR callback, WPARAM outcome, MCIDEVICEID device) {
    if (callback == 0) return;
    if (const auto poster = ServiceSlot<const NoticePoster>::Instance().Get())
        poster->post(callback, outcome, LPARAM(device));
}

DWORD_PTR CallbackOf(DWORD_PTR param) {
    return param ? reinterpret_cast<const MCI_GENERIC_PARMS*>(param)->dwCallback : 0;
}

const char* StandardMciErrorText(MCIERROR error) {
    switch (error) {
        case 0:
            return "The given command was carried out.";
        case MCIERR_INVALID_DEVICE_ID:
            return "Invalid MCI device ID. Use the ID returned when opening the MCI device.";
        case MCIERR_UNRECOGNIZED_KEYWORD:
            return "The driver cannot recognize the given command parameter.";
        case MCIERR_UNRECOGNIZED_COMMAND:
            return "The driver cannot recognize the given command.";
        case MCIERR_HARDWARE:
            return "There is a problem with your media device. Make sure it is working correctly "
                   "or contact the device manufacturer.";
        case MCIERR_INVALID_DEVICE_NAME:
            return "The given device is not open or is not recognized by MCI.";
        case MCIERR_OUT_OF_MEMORY:
            return "Not enough memory is available for this task. Quit one or more applications "
                   "to increase available memory, and then try again.";
        case MCIERR_MISSING_PARAMETER:
            return "The given command requires a parameter. Please supply one.";
        case MCIERR_UNSUPPORTED_FUNCTION:
            return "The MCI device you are using does not support the given command.";
        case MCIERR_FILE_NOT_FOUND:
            return "Cannot find the given file. Make sure the path and filename are correct.";
        case MCIERR_INTERNAL:
            return "An MCI driver error occurred while the device was playing.";
        case MCIERR_EXTENSION_NOT_FOUND:
            return "The given extension has no device type associated with it, and the file "
                   "does not look like a MIDI or WAV file.";
        case MCIERR_FLAGS_NOT_COMPATIBLE:
            return "The given parameters cannot be used together.";
        case MCIERR_BAD_TIME_FORMAT:
            return "The given time format is not supported by this device.";
        case MCIERR_INVALID_FILE:
            return "The given file cannot be played on the given MCI device. The file "
                   "may be corrupt, or not in the correct format.";
        case MCIERR_NULL_PARAMETER_BLOCK:
            return "A null parameter block was passed to MCI.";
        case MCIERR_FILENAME_REQUIRED:
            return "A valid filename is required.";
        case MCIERR_DEVICE_NOT_INSTALLED:
            return "The given device is not installed on the system.";
        case MCIERR_FILE_READ:
            return "A problem occurred in reading the given file. Make sure the file is "
                   "present and readable.";
        case MCIERR_NO_SOUND_SERVER:
            return "No sound server answers (PulseAudio or PipeWire), so nothing can be played.";
        case MCIERR_NO_SOUNDFONT:
            return "The synthesizer has no SoundFont it can play MIDI files with.";
        default:
            return nullptr;
    }
}

}  // namespace platform

MCIERROR mciSendCommandA(MCIDEVICEID device, UINT msg, DWORD_PTR flags, DWORD_PTR param) {
    return platform::ServiceSlot<platform::MciService>::Instance().Call(
        MCIERR_DEVICE_NOT_INSTALLED, &platform::MciService::SendCommand, device, msg, flags, param);
}

BOOL mciGetErrorStringA(MCIERROR error, LPSTR buffer, UINT length) {
    if (!buffer || length == 0) return FALSE;
    std::string text;
    if (auto service = platform::ServiceSlot<platform::MciService>::Instance().Get()) {
        if (!service->ErrorText(error, &text)) return FALSE;
    } else if (error == MCIERR_DEVICE_NOT_INSTALLED) {
        // The one code mciSendCommandA answers by itself.
        text = platform::StandardMciErrorText(error);
    } else {
        return FALSE;
    }
    const size_t n = std::min<size_t>(text.size(), length - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return TRUE;
}
