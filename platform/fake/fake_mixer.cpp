#include "platform/fake/fake_mixer.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <stdexcept>

namespace platform::fake {

struct FakeMixer::State {
    mutable std::mutex mutex;
    MixerTopology topology;
    std::map<DWORD, std::vector<LONG>> values;
    std::vector<FakeMixerCall> log;
    MMRESULT openResult = MMSYSERR_NOERROR;
    MMRESULT valuesResult = MMSYSERR_NOERROR;
    DWORD nextControlId = 1;
    int openDevices = 0;

    MixerLine* Line(DWORD id) {
        for (auto& d : topology.destinations) {
            if (d.line.id == id) return &d.line;
            for (auto& s : d.sources)
                if (s.id == id) return &s;
        }
        throw std::invalid_argument("FakeMixer: no line with that ID");
    }
};

namespace {

class FakeMixerDevice : public MixerDevice {
  public:
    FakeMixerDevice(std::shared_ptr<FakeMixer::State> state, MixerTopology topology)
        : state_(std::move(state)), topology_(std::move(topology)) {}

    ~FakeMixerDevice() override {
        std::lock_guard lock(state_->mutex);
        --state_->openDevices;
        state_->log.push_back({FakeMixerCall::Close, 0, 0, {}, MMSYSERR_NOERROR});
    }

    const MixerTopology& Topology() const override { return topology_; }

    MMRESULT ReadValues(const MixerControl& control, DWORD count,
                        std::vector<LONG>* values) override {
        std::lock_guard lock(state_->mutex);
        const MMRESULT rc = state_->valuesResult;
        if (rc == MMSYSERR_NOERROR) {
            *values = state_->values[control.id];
            values->resize(count, values->empty() ? 0 : values->back());
        }
        state_->log.push_back(
            {FakeMixerCall::Read, 0, control.id, rc ? std::vector<LONG>{} : *values, rc});
        return rc;
    }

    MMRESULT WriteValues(const MixerControl& control, DWORD,
                         const std::vector<LONG>& values) override {
        std::lock_guard lock(state_->mutex);
        const MMRESULT rc = state_->valuesResult;
        if (rc == MMSYSERR_NOERROR) state_->values[control.id] = values;
        state_->log.push_back({FakeMixerCall::Write, 0, control.id, values, rc});
        return rc;
    }

  private:
    std::shared_ptr<FakeMixer::State> state_;
    MixerTopology topology_;
};

}  // namespace

FakeMixer::FakeMixer() : state_(std::make_shared<State>()) {
    state_->topology.productName = "Fake Mixer";
}

FakeMixer::~FakeMixer() = default;

DWORD FakeMixer::AddDestination(DWORD componentType, const std::string& name, DWORD channels) {
    std::lock_guard lock(state_->mutex);
    auto& dests = state_->topology.destinations;
    MixerDestination d;
    d.line.id = 0xFFFF0000u + DWORD(dests.size());
    d.line.componentType = componentType;
    d.line.channels = channels;
    d.line.shortName = d.line.name = name;
    dests.push_back(std::move(d));
    return dests.back().line.id;
}

DWORD FakeMixer::AddSource(DWORD destination, DWORD componentType, const std::string& name,
                           DWORD channels) {
    DWORD index;
    {
        std::lock_guard lock(state_->mutex);
        index = DWORD(state_->topology.destinations.at(destination).sources.size());
    }
    return AddSourceWithId(destination, (index << 16) | destination, componentType, name, channels);
}

DWORD FakeMixer::AddSourceWithId(DWORD destination, DWORD lineId, DWORD componentType,
                                 const std::string& name, DWORD channels) {
    std::lock_guard lock(state_->mutex);
    MixerLine l;
    l.id = lineId;
    l.componentType = componentType;
    l.flags = MIXERLINE_LINEF_ACTIVE;
    l.channels = channels;
    l.shortName = l.name = name;
    state_->topology.destinations.at(destination).sources.push_back(std::move(l));
    return lineId;
}

DWORD FakeMixer::AddControl(DWORD lineId, DWORD type, LONG minimum, LONG maximum, LONG value,
                            bool uniform) {
    std::lock_guard lock(state_->mutex);
    MixerLine* line = state_->Line(lineId);
    MixerControl c;
    c.id = state_->nextControlId++;
    c.type = type;
    c.flags = uniform ? MIXERCONTROL_CONTROLF_UNIFORM : 0;
    c.shortName = c.name = line->name;
    c.minimum = minimum;
    c.maximum = maximum;
    c.steps = DWORD(maximum) - DWORD(minimum);
    state_->values[c.id].assign(uniform ? 1 : std::max<DWORD>(line->channels, 1), value);
    line->controls.push_back(c);
    return c.id;
}

DWORD FakeMixer::AddList(DWORD lineId, DWORD type, std::vector<MixerItem> items) {
    std::lock_guard lock(state_->mutex);
    MixerLine* line = state_->Line(lineId);
    MixerControl c;
    c.id = state_->nextControlId++;
    c.type = type;
    c.flags = MIXERCONTROL_CONTROLF_UNIFORM | MIXERCONTROL_CONTROLF_MULTIPLE;
    c.shortName = c.name = "Select";
    c.minimum = 0;
    c.maximum = items.empty() ? 0 : LONG(items.size() - 1);
    c.steps = DWORD(items.size());
    state_->values[c.id].assign(items.size(), 0);
    c.items = std::move(items);
    line->controls.push_back(std::move(c));
    return line->controls.back().id;
}

void FakeMixer::SetValues(DWORD controlId, std::vector<LONG> values) {
    std::lock_guard lock(state_->mutex);
    state_->values[controlId] = std::move(values);
}

void FakeMixer::FailOpen(MMRESULT result) {
    std::lock_guard lock(state_->mutex);
    state_->openResult = result;
}

void FakeMixer::FailValues(MMRESULT result) {
    std::lock_guard lock(state_->mutex);
    state_->valuesResult = result;
}

std::vector<LONG> FakeMixer::Values(DWORD controlId) const {
    std::lock_guard lock(state_->mutex);
    auto it = state_->values.find(controlId);
    return it == state_->values.end() ? std::vector<LONG>{} : it->second;
}

std::vector<FakeMixerCall> FakeMixer::Log() const {
    std::lock_guard lock(state_->mutex);
    return state_->log;
}

std::vector<FakeMixerCall> FakeMixer::Writes() const {
    std::lock_guard lock(state_->mutex);
    std::vector<FakeMixerCall> writes;
    for (const auto& call : state_->log)
        if (call.kind == FakeMixerCall::Write) writes.push_back(call);
    return writes;
}

std::vector<LONG> FakeMixer::LastWrite(DWORD controlId) const {
    std::lock_guard lock(state_->mutex);
    for (auto it = state_->log.rbegin(); it != state_->log.rend(); ++it)
        if (it->kind == FakeMixerCall::Write && it->control == controlId) return it->values;
    return {};
}

void FakeMixer::ClearLog() {
    std::lock_guard lock(state_->mutex);
    state_->log.clear();
}

int FakeMixer::OpenDevices() const {
    std::lock_guard lock(state_->mutex);
    return state_->openDevices;
}

MMRESULT FakeMixer::Open(UINT deviceId, std::unique_ptr<MixerDevice>* device) {
    std::lock_guard lock(state_->mutex);
    MMRESULT rc = state_->openResult;
    if (rc == MMSYSERR_NOERROR && deviceId != 0) rc = MMSYSERR_BADDEVICEID;
    state_->log.push_back({FakeMixerCall::Open, deviceId, 0, {}, rc});
    if (rc != MMSYSERR_NOERROR) return rc;
    ++state_->openDevices;
    *device = std::make_unique<FakeMixerDevice>(state_, state_->topology);
    return MMSYSERR_NOERROR;
}

}  // namespace platform::fake
