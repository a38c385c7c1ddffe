#include "platform/mixer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/fake/fake_mixer.h"

namespace {

using platform::fake::FakeMixer;

class MixerApiTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto fake = std::make_unique<FakeMixer>();
        mixer = fake.get();
        speakers = mixer->AddDestination(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, "Speakers");
        volume = mixer->AddControl(speakers, MIXERCONTROL_CONTROLTYPE_VOLUME, 0, 65535, 100);
        mute = mixer->AddControl(speakers, MIXERCONTROL_CONTROLTYPE_MUTE, 0, 1, 0, true);
        recording = mixer->AddDestination(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, "Recording");
        for (int i = 0; i < 5; ++i)
            items.push_back({mixer->AddSource(1, MIXERLINE_COMPONENTTYPE_SRC_LINE, "L"),
                             MIXERLINE_COMPONENTTYPE_SRC_LINE, "Item " + std::to_string(i)});
        mux = mixer->AddList(recording, MIXERCONTROL_CONTROLTYPE_MUX, items);
        multi = mixer->AddList(recording, MIXERCONTROL_CONTROLTYPE_MIXER, items);
        platform::InstallMixer(std::move(fake));
        ASSERT_EQ(mixerOpen(&h, 0, 0, 0, 0), MMSYSERR_NOERROR);
    }
    void TearDown() override { platform::InstallMixer(nullptr); }

    MIXERCONTROLDETAILS Details(DWORD control, DWORD channels, DWORD count, DWORD cb, void* array) {
        return {sizeof(MIXERCONTROLDETAILS), control, channels, count, cb, array};
    }

    FakeMixer* mixer = nullptr;
    HMIXER h = nullptr;
    DWORD speakers = 0, recording = 0, volume = 0, mute = 0, mux = 0, multi = 0;
    std::vector<platform::MixerItem> items;
};

TEST_F(MixerApiTest, ListReadsStayInsideTheCallersArray) {
    // Room for 3 texts of a 100-byte stride, then guard bytes: asking for 3 of 5 items
    // writes 3 records at that stride and nothing else.
    std::vector<unsigned char> buf(5 * 100, 0xAB);
    auto d = Details(mux, 1, 3, 100, buf.data());
    ASSERT_EQ(mixerGetControlDetailsA(h, &d, MIXER_GETCONTROLDETAILSF_LISTTEXT), 0u);
    for (int i = 0; i < 3; ++i) {
        MIXERCONTROLDETAILS_LISTTEXTA t;
        std::memcpy(&t, &buf[i * 100], sizeof t);
        EXPECT_EQ(t.dwParam1, items[i].param1);
        EXPECT_STREQ(t.szName, items[i].name.c_str());
        for (size_t b = sizeof t; b < 100; ++b) ASSERT_EQ(buf[i * 100 + b], 0xAB);
    }
    for (size_t b = 300; b < buf.size(); ++b) ASSERT_EQ(buf[b], 0xAB);

    // More items than the control has, too small an element, or no array: refused untouched.
    std::vector<unsigned char> before = buf;
    d = Details(mux, 1, 6, 100, buf.data());
    EXPECT_EQ(mixerGetControlDetailsA(h, &d, MIXER_GETCONTROLDETAILSF_LISTTEXT),
              MMSYSERR_INVALPARAM);
    d = Details(mux, 1, 3, sizeof(MIXERCONTROLDETAILS_LISTTEXTA) - 1, buf.data());
    EXPECT_EQ(mixerGetControlDetailsA(h, &d, MIXER_GETCONTROLDETAILSF_LISTTEXT),
              MMSYSERR_INVALPARAM);
    d = Details(mux, 1, 3, 100, nullptr);
    EXPECT_EQ(mixerGetControlDetailsA(h, &d, MIXER_GETCONTROLDETAILSF_LISTTEXT),
              MMSYSERR_INVALPARAM);
    d = Details(volume, 1, 0, 100, buf.data());  // a fader has no list
    EXPECT_EQ(mixerGetControlDetailsA(h, &d, MIXER_GETCONTROLDETAILSF_LISTTEXT),
              MMSYSERR_INVALPARAM);
    EXPECT_EQ(buf, before);
}

TEST_F(MixerApiTest, RecordsTooSmallAreRefusedUntouched) {
    MIXERLINEA line;
    std::memset(&line, 0x5A, sizeof line);
    line.cbStruct = sizeof line - 1;
    line.dwDestination = 0;
    MIXERLINEA copy = line;
    EXPECT_EQ(mixerGetLineInfoA(h, &line, MIXER_GETLINEINFOF_DESTINATION), MMSYSERR_INVALPARAM);
    EXPECT_EQ(std::memcmp(&line, &copy, sizeof line), 0);

    MIXERCONTROLA controls[2];
    MIXERLINECONTROLSA lc{
        sizeof lc, speakers, {MIXERCONTROL_CONTROLTYPE_VOLUME}, 1, sizeof(MIXERCONTROLA) - 4,
        controls};
    EXPECT_EQ(mixerGetLineControlsA(h, &lc, MIXER_GETLINECONTROLSF_ONEBYTYPE), MMSYSERR_INVALPARAM);
    // ALL needs the line's exact control count: a stale, smaller count is refused.
    lc = {sizeof lc, speakers, {0}, 1, sizeof(MIXERCONTROLA), controls};
    EXPECT_EQ(mixerGetLineControlsA(h, &lc, MIXER_GETLINECONTROLSF_ALL), MMSYSERR_INVALPARAM);
    lc.cControls = 2;
    ASSERT_EQ(mixerGetLineControlsA(h, &lc, MIXER_GETLINECONTROLSF_ALL), 0u);
    EXPECT_EQ(controls[0].dwControlID, volume);
    EXPECT_EQ(controls[1].dwControlID, mute);
    EXPECT_EQ(controls[1].cbStruct, sizeof(MIXERCONTROLA));

    MIXERCONTROLDETAILS d = Details(volume, 1, 0, 4, &lc);
    d.cbStruct = sizeof d - 1;
    EXPECT_EQ(mixerGetControlDetailsA(h, &d, 0), MMSYSERR_INVALPARAM);
}

TEST_F(MixerApiTest, LineQueriesAndTheirFailures) {
    MIXERLINEA line{};
    line.cbStruct = sizeof line;
    line.dwDestination = 1;
    ASSERT_EQ(mixerGetLineInfoA(h, &line, MIXER_GETLINEINFOF_DESTINATION), 0u);
    EXPECT_EQ(line.dwComponentType, MIXERLINE_COMPONENTTYPE_DST_WAVEIN);
    EXPECT_EQ(line.cConnections, 5u);
    EXPECT_EQ(line.cControls, 2u);

    line.dwSource = 4;
    ASSERT_EQ(mixerGetLineInfoA(h, &line, MIXER_GETLINEINFOF_SOURCE), 0u);
    EXPECT_EQ(line.dwLineID, items[4].param1);
    EXPECT_TRUE(line.fdwLine & MIXERLINE_LINEF_SOURCE);
    line.dwSource = 5;
    EXPECT_EQ(mixerGetLineInfoA(h, &line, MIXER_GETLINEINFOF_SOURCE), MIXERR_INVALLINE);
    line.dwDestination = 2;
    EXPECT_EQ(mixerGetLineInfoA(h, &line, MIXER_GETLINEINFOF_DESTINATION), MIXERR_INVALLINE);
    line.dwComponentType = MIXERLINE_COMPONENTTYPE_SRC_DIGITAL;
    EXPECT_EQ(mixerGetLineInfoA(h, &line, MIXER_GETLINEINFOF_COMPONENTTYPE), MIXERR_INVALLINE);
    // Object kinds other than a mixer handle are not ours.
    EXPECT_EQ(mixerGetLineInfoA(h, &line, MIXER_GETLINEINFOF_COMPONENTTYPE | 0x10000000),
              MMSYSERR_INVALFLAG);
}

TEST_F(MixerApiTest, ValuesOneForAllChannelsOrEachAndHeldToTheBounds) {
    // A volume's units are unsigned: -5 stands for 0xFFFFFFFB, above the maximum.
    LONG v[2] = {70000, 3};
    auto d = Details(volume, 2, 0, sizeof(LONG), v);
    ASSERT_EQ(mixerSetControlDetails(h, &d, 0), 0u);
    EXPECT_EQ(mixer->Values(volume), (std::vector<LONG>{65535, 3}));
    v[0] = -5;
    ASSERT_EQ(mixerSetControlDetails(h, &d, 0), 0u);
    EXPECT_EQ(mixer->Values(volume), (std::vector<LONG>{65535, 3}));
    LONG one = 0;
    d = Details(volume, 1, 0, sizeof(LONG), &one);
    ASSERT_EQ(mixerGetControlDetailsA(h, &d, MIXER_GETCONTROLDETAILSF_VALUE), 0u);
    EXPECT_EQ(one, 65535);  // the loudest channel
    one = 300;
    ASSERT_EQ(mixerSetControlDetails(h, &d, 0), 0u);
    EXPECT_EQ(mixer->Values(volume), (std::vector<LONG>{300, 300}));
    d = Details(volume, 3, 0, sizeof(LONG), v);  // more channels than the line has
    EXPECT_EQ(mixerSetControlDetails(h, &d, 0), MMSYSERR_INVALPARAM);

    LONG on = 7;
    d = Details(mute, 1, 0, sizeof(LONG), &on);
    ASSERT_EQ(mixerSetControlDetails(h, &d, 0), 0u);
    EXPECT_EQ(mixer->Values(mute), std::vector<LONG>{1});
}

TEST_F(MixerApiTest, ShortListWritesClearASingleSelectButKeepAMultipleSelect) {
    mixer->SetValues(mux, {0, 0, 0, 0, 1});
    mixer->SetValues(multi, {0, 0, 0, 1, 1});
    LONG values[2] = {1, 0};
    auto d = Details(mux, 1, 2, sizeof(LONG), values);
    ASSERT_EQ(mixerSetControlDetails(h, &d, 0), 0u);
    EXPECT_EQ(mixer->Values(mux), (std::vector<LONG>{1, 0, 0, 0, 0}));
    d.dwControlID = multi;
    ASSERT_EQ(mixerSetControlDetails(h, &d, 0), 0u);
    EXPECT_EQ(mixer->Values(multi), (std::vector<LONG>{1, 0, 0, 1, 1}));

    LONG read[5] = {9, 9, 9, 9, 9};
    d = Details(multi, 1, 4, sizeof(LONG), read);
    ASSERT_EQ(mixerGetControlDetailsA(h, &d, MIXER_GETCONTROLDETAILSF_VALUE), 0u);
    EXPECT_EQ(std::vector<LONG>(read, read + 5), (std::vector<LONG>{1, 0, 0, 1, 9}));
}

TEST_F(MixerApiTest, HandlesLifecycle) {
    EXPECT_EQ(mixerClose(nullptr), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(mixerClose(h), 0u);
    EXPECT_EQ(mixerClose(h), MMSYSERR_INVALHANDLE);
    MIXERLINEA line{};
    line.cbStruct = sizeof line;
    EXPECT_EQ(mixerGetLineInfoA(h, &line, 0), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(mixer->OpenDevices(), 0);

    EXPECT_EQ(mixerOpen(&h, 1, 0, 0, 0), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(mixerOpen(&h, 0, 0x1234, 0, 0x00010000), MMSYSERR_INVALFLAG);
    mixer->FailOpen(MMSYSERR_ALLOCATED);
    EXPECT_EQ(mixerOpen(&h, 0, 0, 0, 0), MMSYSERR_ALLOCATED);
    EXPECT_EQ(h, nullptr);
    mixer->FailOpen(MMSYSERR_NOERROR);
    ASSERT_EQ(mixerOpen(&h, 0, 0, 0, 0), 0u);
    EXPECT_EQ(mixer->OpenDevices(), 1);

    // Replacing the service closes what it had open; with none installed, no driver.
    platform::InstallMixer(std::make_unique<FakeMixer>());
    EXPECT_EQ(mixerGetLineInfoA(h, &line, 0), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(mixerClose(h), MMSYSERR_INVALHANDLE);
    platform::InstallMixer(nullptr);
    EXPECT_EQ(mixerGetLineInfoA(h, &line, 0), MMSYSERR_NODRIVER);
    EXPECT_EQ(mixerOpen(&h, 0, 0, 0, 0), MMSYSERR_NODRIVER);
    EXPECT_EQ(h, nullptr);
}

TEST_F(MixerApiTest, LongNamesAreCutWithoutSplittingACharacter) {
    std::string name(62, 'a');
    name += "\xC3\xA9tude";  // 'é' straddles the 63-byte limit
    mixer->AddSource(0, MIXERLINE_COMPONENTTYPE_SRC_LINE, name);
    HMIXER fresh = nullptr;
    ASSERT_EQ(mixerOpen(&fresh, 0, 0, 0, 0), 0u);
    MIXERLINEA line{};
    line.cbStruct = sizeof line;
    line.dwComponentType = MIXERLINE_COMPONENTTYPE_SRC_LINE;
    line.dwDestination = 0;
    line.dwSource = 0;
    ASSERT_EQ(mixerGetLineInfoA(fresh, &line, MIXER_GETLINEINFOF_SOURCE), 0u);
    EXPECT_EQ(std::string(line.szName), std::string(62, 'a'));
    EXPECT_EQ(std::string(line.szShortName), std::string(15, 'a'));
    mixerClose(fresh);
}

}  // namespace
