#pragma once
// An MCI service in memory, for tests: devices whose length, position and mode a test scripts,
// scripted failures, and a log of every command with the record fields it carried.
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/mci.h"
#include "platform/mci_files.h"

namespace platform::fake {

struct MciCommand {
    MCIDEVICEID device = 0;
    UINT msg = 0;
    DWORD_PTR flags = 0;
    bool hasRecord = false;  // param was not null
    DWORD_PTR callback = 0;
    // MCI_OPEN; nullopt stands for a null pointer (soundFont: or for no MCI_SEQ_OPEN_SOUNDFONT)
    std::optional<std::string> deviceType, elementName, alias, soundFont;
    DWORD item = 0;          // MCI_STATUS
    DWORD timeFormat = 0;    // MCI_SET
    DWORD from = 0, to = 0;  // MCI_PLAY, MCI_SEEK
};

struct FakeMedium {
    DWORD length = 0;
    DWORD position = 0;
    DWORD mode = MCI_MODE_STOP;
    DWORD underflows = 0;
    DWORD timeFormat = MCI_FORMAT_MILLISECONDS;
    DWORD_PTR pendingPlayCallback = 0;  // a play sent with MCI_NOTIFY and not yet ended
    DWORD_PTR readInPart = MCI_READ_WHOLE;
    DWORD_PTR deviceRate = 44100;
    DWORD_PTR soundServer = MCI_SERVER_PULSEAUDIO;
    // The wave-in device that records this device alone (MCI_STATUS_RECORDER); 0: it has none
    // and answers MCIERR_UNSUPPORTED_FUNCTION.
    DWORD_PTR recorder = 0;
    // Set at the open: the device a real service gives the file (the type named, else as the
    // file chooses); none when it would take none. The file need not exist.
    std::optional<MciDevice> device = std::nullopt;
};

class FakeMci : public MciService {
  public:
    MCIERROR SendCommand(MCIDEVICEID device, UINT msg, DWORD_PTR flags, DWORD_PTR param) override;
    bool ErrorText(MCIERROR error, std::string* text) const override;

    // What the next open of `element` gets (any element not scripted gets a default medium).
    void ScriptMedium(const std::string& element, FakeMedium medium);
    // The next command with `msg` fails with `error` (failures queue up in order).
    void FailNext(UINT msg, MCIERROR error);
    // A text of the service's own for a code (codes without one fall back to the standard).
    void SetErrorText(MCIERROR error, std::string text);
    void SetNextDeviceId(MCIDEVICEID id) { nextId_ = id; }

    // The device of an open id, to read or change its state; null when not open.
    FakeMedium* Device(MCIDEVICEID id);
    // Plays the device to its end as a real device would: position = length, stopped,
    // SUCCESSFUL posted for a pending play.
    void PlayToEnd(MCIDEVICEID id);

    const std::vector<MciCommand>& Log() const { return log_; }
    void ClearLog() { log_.clear(); }

  private:
    MCIERROR Run(MCIDEVICEID device, UINT msg, DWORD_PTR flags, DWORD_PTR param);
    MCIERROR Open(DWORD_PTR flags, DWORD_PTR param);
    static MCIERROR Status(const FakeMedium& d, DWORD_PTR flags, DWORD_PTR param);
    void Notify(DWORD_PTR flags, DWORD_PTR callback, MCIDEVICEID id, WPARAM outcome);

    std::map<std::string, FakeMedium> scripted_;
    std::map<UINT, std::deque<MCIERROR>> failures_;
    std::map<MCIERROR, std::string> texts_;
    std::map<MCIDEVICEID, FakeMedium> devices_;
    std::vector<MciCommand> log_;
    MCIDEVICEID nextId_ = 1;
};

}  // namespace platform::fake
