#pragma once
// An in-memory mixer of any topology, for tests: destinations, their source lines, controls
// with bounds and values, list controls with any items, and whatever pieces a test leaves
// out. Every device call is logged with the values read or written. The mixer's state is
// shared with the devices opened on it, so a test may keep a pointer to the FakeMixer after
// installing it and look at the state while or after a device is open.
#include <memory>
#include <string>
#include <vector>

#include "platform/mixer.h"

namespace platform::fake {

struct FakeMixerCall {
    enum Kind { Open, Read, Write, Close } kind;
    UINT device = 0;           // Open
    DWORD control = 0;         // Read, Write
    std::vector<LONG> values;  // what was read or written
    MMRESULT result = MMSYSERR_NOERROR;
};

class FakeMixer : public MixerService {
  public:
    FakeMixer();
    ~FakeMixer() override;

    // Building. Destinations get line IDs 0xFFFF0000 + index, sources (index << 16) |
    // destination, controls IDs from 1 up, unless a test names its own line ID.
    DWORD AddDestination(DWORD componentType, const std::string& name, DWORD channels = 2);
    DWORD AddSource(DWORD destination, DWORD componentType, const std::string& name,
                    DWORD channels = 2);
    DWORD AddSourceWithId(DWORD destination, DWORD lineId, DWORD componentType,
                          const std::string& name, DWORD channels = 2);
    // A fader or switch; its values start at `value` on every channel.
    DWORD AddControl(DWORD lineId, DWORD type, LONG minimum, LONG maximum, LONG value = 0,
                     bool uniform = false);
    // A list control (MUX or MIXER) with the given items, each initially not selected.
    DWORD AddList(DWORD lineId, DWORD type, std::vector<MixerItem> items);
    void SetValues(DWORD controlId, std::vector<LONG> values);

    // Open fails with this result (MMSYSERR_NOERROR lets it succeed again).
    void FailOpen(MMRESULT result);
    // Reads and writes fail with this result, as on a device that went away.
    void FailValues(MMRESULT result);

    // Looking at it.
    std::vector<LONG> Values(DWORD controlId) const;
    std::vector<FakeMixerCall> Log() const;
    std::vector<FakeMixerCall> Writes() const;
    // The last values written to a control; empty when it was never written.
    std::vector<LONG> LastWrite(DWORD controlId) const;
    void ClearLog();
    int OpenDevices() const;

    MMRESULT Open(UINT deviceId, std::unique_ptr<MixerDevice>* device) override;

    struct State;

  private:
    std::shared_ptr<State> state_;
};

}  // namespace platform::fake
