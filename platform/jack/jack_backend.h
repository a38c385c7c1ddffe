#pragma once
// The sequencer that plays into a JACK synth and the wave input that records it. The two
// services share the table of open sessions, made with them: the sequencer with ID n is
// recorded by the wave-in device with ID n (MCI_STATUS_RECORDER says so). IDs start at
// kFirstDeviceId, clear of the built-in backend's.
#include <map>
#include <memory>
#include <mutex>

#include "platform/mci.h"
#include "platform/wavein.h"

namespace platform::jack {

class JackSession;

constexpr UINT kFirstDeviceId = 0x1000;

struct JackDevices {
    std::mutex mutex;
    std::map<MCIDEVICEID, std::shared_ptr<JackSession>> sessions;
    std::shared_ptr<JackSession> Find(MCIDEVICEID id) {
        std::lock_guard lock(mutex);
        auto it = sessions.find(id);
        return it == sessions.end() ? nullptr : it->second;
    }
};

struct JackServices {
    std::unique_ptr<MciService> mci;
    std::unique_ptr<WaveInService> waveIn;
};
JackServices MakeJackServices();

std::unique_ptr<MciService> MakeJackMci(std::shared_ptr<JackDevices> devices);        // jack_mci.cpp
std::unique_ptr<WaveInService> MakeJackWaveIn(std::shared_ptr<JackDevices> devices);  // jack_wavein.cpp

}  // namespace platform::jack
