#pragma once
// The audio mixer: records, constants and operations shaped after the Windows mixer service.
// The free functions check every record and array the caller hands in and answer from the
// open device's topology; only control values travel to the backend. They dispatch to the
// installed MixerService (platform::InstallMixer); without one they answer MMSYSERR_NODRIVER.
#include <memory>
#include <string>
#include <vector>

#include "platform/mmtypes.h"
#include "platform/services.h"

struct HMIXER__;
using HMIXER = HMIXER__*;

constexpr UINT MIXER_SHORT_NAME_CHARS = 16;
constexpr UINT MIXER_LONG_NAME_CHARS = 64;
constexpr UINT MAXPNAMELEN = 32;

using MMVERSION = UINT;

struct MIXERLINEA {
    DWORD cbStruct;
    DWORD dwDestination;
    DWORD dwSource;
    DWORD dwLineID;
    DWORD fdwLine;
    DWORD_PTR dwUser;
    DWORD dwComponentType;
    DWORD cChannels;
    DWORD cConnections;
    DWORD cControls;
    char szShortName[MIXER_SHORT_NAME_CHARS];
    char szName[MIXER_LONG_NAME_CHARS];
    struct {
        DWORD dwType;
        DWORD dwDeviceID;
        WORD wMid;
        WORD wPid;
        MMVERSION vDriverVersion;
        char szPname[MAXPNAMELEN];
    } Target;
};

struct MIXERCONTROLA {
    DWORD cbStruct;
    DWORD dwControlID;
    DWORD dwControlType;
    DWORD fdwControl;
    DWORD cMultipleItems;
    char szShortName[MIXER_SHORT_NAME_CHARS];
    char szName[MIXER_LONG_NAME_CHARS];
    union {
        struct {
            LONG lMinimum;
            LONG lMaximum;
        };
        struct {
            DWORD dwMinimum;
            DWORD dwMaximum;
        };
        DWORD dwReserved[6];
    } Bounds;
    union {
        DWORD cSteps;
        DWORD cbCustomData;
        DWORD dwReserved[6];
    } Metrics;
};

struct MIXERLINECONTROLSA {
    DWORD cbStruct;
    DWORD dwLineID;
    union {
        DWORD dwControlID;
        DWORD dwControlType;
    };
    DWORD cControls;
    DWORD cbmxctrl;
    MIXERCONTROLA* pamxctrl;
};

struct MIXERCONTROLDETAILS {
    DWORD cbStruct;
    DWORD dwControlID;
    DWORD cChannels;
    DWORD cMultipleItems;
    DWORD cbDetails;
    void* paDetails;
};

struct MIXERCONTROLDETAILS_LISTTEXTA {
    DWORD dwParam1;
    DWORD dwParam2;
    char szName[MIXER_LONG_NAME_CHARS];
};

struct MIXERCONTROLDETAILS_BOOLEAN {
    LONG fValue;
};
struct MIXERCONTROLDETAILS_SIGNED {
    LONG lValue;
};
struct MIXERCONTROLDETAILS_UNSIGNED {
    DWORD dwValue;
};

// Line flags and target types.
constexpr DWORD MIXERLINE_LINEF_ACTIVE = 0x00000001;
constexpr DWORD MIXERLINE_LINEF_DISCONNECTED = 0x00008000;
constexpr DWORD MIXERLINE_LINEF_SOURCE = 0x80000000;

constexpr DWORD MIXERLINE_TARGETTYPE_UNDEFINED = 0;
constexpr DWORD MIXERLINE_TARGETTYPE_WAVEOUT = 1;
constexpr DWORD MIXERLINE_TARGETTYPE_WAVEIN = 2;
constexpr DWORD MIXERLINE_TARGETTYPE_MIDIOUT = 3;
constexpr DWORD MIXERLINE_TARGETTYPE_MIDIIN = 4;
constexpr DWORD MIXERLINE_TARGETTYPE_AUX = 5;

// Component types of destination and source lines.
constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_FIRST = 0x00000000;
constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_UNDEFINED = MIXERLINE_COMPONENTTYPE_DST_FIRST + 0;
constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_DIGITAL = MIXERLINE_COMPONENTTYPE_DST_FIRST + 1;
constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_LINE = MIXERLINE_COMPONENTTYPE_DST_FIRST + 2;
constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_MONITOR = MIXERLINE_COMPONENTTYPE_DST_FIRST + 3;
constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_SPEAKERS = MIXERLINE_COMPONENTTYPE_DST_FIRST + 4;
constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_HEADPHONES = MIXERLINE_COMPONENTTYPE_DST_FIRST + 5;
constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_TELEPHONE = MIXERLINE_COMPONENTTYPE_DST_FIRST + 6;
constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_WAVEIN = MIXERLINE_COMPONENTTYPE_DST_FIRST + 7;
constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_VOICEIN = MIXERLINE_COMPONENTTYPE_DST_FIRST + 8;
constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_LAST = MIXERLINE_COMPONENTTYPE_DST_FIRST + 8;

constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_FIRST = 0x00001000;
constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_UNDEFINED = MIXERLINE_COMPONENTTYPE_SRC_FIRST + 0;
constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_DIGITAL = MIXERLINE_COMPONENTTYPE_SRC_FIRST + 1;
constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_LINE = MIXERLINE_COMPONENTTYPE_SRC_FIRST + 2;
constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE = MIXERLINE_COMPONENTTYPE_SRC_FIRST + 3;
constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER = MIXERLINE_COMPONENTTYPE_SRC_FIRST + 4;
constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC = MIXERLINE_COMPONENTTYPE_SRC_FIRST + 5;
constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_TELEPHONE = MIXERLINE_COMPONENTTYPE_SRC_FIRST + 6;
constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_PCSPEAKER = MIXERLINE_COMPONENTTYPE_SRC_FIRST + 7;
constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT = MIXERLINE_COMPONENTTYPE_SRC_FIRST + 8;
constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_AUXILIARY = MIXERLINE_COMPONENTTYPE_SRC_FIRST + 9;
constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_ANALOG = MIXERLINE_COMPONENTTYPE_SRC_FIRST + 10;
constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_LAST = MIXERLINE_COMPONENTTYPE_SRC_FIRST + 10;

// Control kinds: class, subclass and units make up each control type.
constexpr DWORD MIXERCONTROL_CONTROLF_UNIFORM = 0x00000001;
constexpr DWORD MIXERCONTROL_CONTROLF_MULTIPLE = 0x00000002;
constexpr DWORD MIXERCONTROL_CONTROLF_DISABLED = 0x80000000;

constexpr DWORD MIXERCONTROL_CT_CLASS_MASK = 0xF0000000;
constexpr DWORD MIXERCONTROL_CT_CLASS_SWITCH = 0x20000000;
constexpr DWORD MIXERCONTROL_CT_CLASS_FADER = 0x50000000;
constexpr DWORD MIXERCONTROL_CT_CLASS_LIST = 0x70000000;
constexpr DWORD MIXERCONTROL_CT_SUBCLASS_MASK = 0x0F000000;
constexpr DWORD MIXERCONTROL_CT_SC_LIST_SINGLE = 0x00000000;
constexpr DWORD MIXERCONTROL_CT_SC_LIST_MULTIPLE = 0x01000000;
constexpr DWORD MIXERCONTROL_CT_UNITS_MASK = 0x00FF0000;
constexpr DWORD MIXERCONTROL_CT_UNITS_BOOLEAN = 0x00010000;
constexpr DWORD MIXERCONTROL_CT_UNITS_SIGNED = 0x00020000;
constexpr DWORD MIXERCONTROL_CT_UNITS_UNSIGNED = 0x00030000;

constexpr DWORD MIXERCONTROL_CONTROLTYPE_BOOLEAN =
    MIXERCONTROL_CT_CLASS_SWITCH | MIXERCONTROL_CT_UNITS_BOOLEAN;
constexpr DWORD MIXERCONTROL_CONTROLTYPE_ONOFF = MIXERCONTROL_CONTROLTYPE_BOOLEAN + 1;
constexpr DWORD MIXERCONTROL_CONTROLTYPE_MUTE = MIXERCONTROL_CONTROLTYPE_BOOLEAN + 2;
constexpr DWORD MIXERCONTROL_CONTROLTYPE_FADER =
    MIXERCONTROL_CT_CLASS_FADER | MIXERCONTROL_CT_UNITS_UNSIGNED;
constexpr DWORD MIXERCONTROL_CONTROLTYPE_VOLUME = MIXERCONTROL_CONTROLTYPE_FADER + 1;
constexpr DWORD MIXERCONTROL_CONTROLTYPE_SINGLESELECT =
    MIXERCONTROL_CT_CLASS_LIST | MIXERCONTROL_CT_SC_LIST_SINGLE | MIXERCONTROL_CT_UNITS_BOOLEAN;
constexpr DWORD MIXERCONTROL_CONTROLTYPE_MUX = MIXERCONTROL_CONTROLTYPE_SINGLESELECT + 1;
constexpr DWORD MIXERCONTROL_CONTROLTYPE_MULTIPLESELECT =
    MIXERCONTROL_CT_CLASS_LIST | MIXERCONTROL_CT_SC_LIST_MULTIPLE | MIXERCONTROL_CT_UNITS_BOOLEAN;
constexpr DWORD MIXERCONTROL_CONTROLTYPE_MIXER = MIXERCONTROL_CONTROLTYPE_MULTIPLESELECT + 1;

// Query kinds (the low four bits of each flag word) and the object kind bits.
constexpr DWORD MIXER_OBJECTF_HANDLE = 0x80000000;
constexpr DWORD MIXER_OBJECTF_MIXER = 0x00000000;
constexpr DWORD MIXER_OBJECTF_HMIXER = MIXER_OBJECTF_HANDLE | MIXER_OBJECTF_MIXER;

constexpr DWORD MIXER_GETLINEINFOF_DESTINATION = 0x00000000;
constexpr DWORD MIXER_GETLINEINFOF_SOURCE = 0x00000001;
constexpr DWORD MIXER_GETLINEINFOF_LINEID = 0x00000002;
constexpr DWORD MIXER_GETLINEINFOF_COMPONENTTYPE = 0x00000003;
constexpr DWORD MIXER_GETLINEINFOF_TARGETTYPE = 0x00000004;
constexpr DWORD MIXER_GETLINEINFOF_QUERYMASK = 0x0000000F;

constexpr DWORD MIXER_GETLINECONTROLSF_ALL = 0x00000000;
constexpr DWORD MIXER_GETLINECONTROLSF_ONEBYID = 0x00000001;
constexpr DWORD MIXER_GETLINECONTROLSF_ONEBYTYPE = 0x00000002;
constexpr DWORD MIXER_GETLINECONTROLSF_QUERYMASK = 0x0000000F;

constexpr DWORD MIXER_GETCONTROLDETAILSF_VALUE = 0x00000000;
constexpr DWORD MIXER_GETCONTROLDETAILSF_LISTTEXT = 0x00000001;
constexpr DWORD MIXER_GETCONTROLDETAILSF_QUERYMASK = 0x0000000F;

constexpr DWORD MIXER_SETCONTROLDETAILSF_VALUE = 0x00000000;
constexpr DWORD MIXER_SETCONTROLDETAILSF_CUSTOM = 0x00000001;
constexpr DWORD MIXER_SETCONTROLDETAILSF_QUERYMASK = 0x0000000F;

constexpr MMRESULT MIXERR_BASE = 1024;
constexpr MMRESULT MIXERR_INVALLINE = MIXERR_BASE + 0;
constexpr MMRESULT MIXERR_INVALCONTROL = MIXERR_BASE + 1;
constexpr MMRESULT MIXERR_INVALVALUE = MIXERR_BASE + 2;

// Only device ids are accepted (fdwOpen 0 or MIXER_OBJECTF_MIXER) and no callback: the
// mixer sends no change notices.
MMRESULT mixerOpen(HMIXER* phmx, UINT uMxId, DWORD_PTR dwCallback, DWORD_PTR dwInstance,
                   DWORD fdwOpen);
MMRESULT mixerGetLineInfoA(HMIXER hmx, MIXERLINEA* pmxl, DWORD fdwInfo);
MMRESULT mixerGetLineControlsA(HMIXER hmx, MIXERLINECONTROLSA* pmxlc, DWORD fdwControls);
MMRESULT mixerGetControlDetailsA(HMIXER hmx, MIXERCONTROLDETAILS* pmxcd, DWORD fdwDetails);
MMRESULT mixerSetControlDetails(HMIXER hmx, MIXERCONTROLDETAILS* pmxcd, DWORD fdwDetails);
MMRESULT mixerClose(HMIXER hmx);

namespace platform {

// What a mixer device consists of, read once when it is opened.
struct MixerItem {     // one entry of a MUX or MIXER control
    DWORD param1 = 0;  // the line ID of the item's source line
    DWORD param2 = 0;  // its component type
    std::string name;
};

struct MixerControl {
    DWORD id = 0;
    DWORD type = 0;
    DWORD flags = 0;  // MIXERCONTROL_CONTROLF_*; MULTIPLE for list controls
    std::string shortName, name;
    LONG minimum = 0, maximum = 0;
    DWORD steps = 0;
    std::vector<MixerItem> items;  // list controls only
};

struct MixerLine {
    DWORD id = 0;
    DWORD componentType = 0;
    DWORD flags = MIXERLINE_LINEF_ACTIVE;
    DWORD channels = 2;
    DWORD targetType = MIXERLINE_TARGETTYPE_UNDEFINED;
    std::string shortName, name;
    std::vector<MixerControl> controls;
};

struct MixerDestination {
    MixerLine line;
    std::vector<MixerLine> sources;
};

struct MixerTopology {
    std::string productName;
    std::vector<MixerDestination> destinations;
};

// One open mixer. A control keeps `count` values: one per item of a list control, else one
// per channel of its line (a single one when uniform). The free functions pass only values
// already held to the control's bounds (0 or 1 for switches and list items), and only
// controls of the device's own topology.
class MixerDevice {
  public:
    virtual ~MixerDevice() = default;
    virtual const MixerTopology& Topology() const = 0;
    virtual MMRESULT ReadValues(const MixerControl& control, DWORD count,
                                std::vector<LONG>* values) = 0;
    virtual MMRESULT WriteValues(const MixerControl& control, DWORD count,
                                 const std::vector<LONG>& values) = 0;
};

// The backend behind mixerOpen. Installing one (or none, platform::InstallMixer) first
// closes every mixer handle still open.
class MixerService {
  public:
    virtual ~MixerService() = default;
    // MMSYSERR_NOERROR with *device set, or an error with *device untouched.
    virtual MMRESULT Open(UINT deviceId, std::unique_ptr<MixerDevice>* device) = 0;
};

}  // namespace platform
