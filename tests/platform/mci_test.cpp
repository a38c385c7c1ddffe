#include "platform/mci.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "platform/fake/fake_mci.h"
#include "platform/services.h"

namespace {

TEST(MciEntryPoints, WithoutAServiceEveryCommandIsRefusedWithText) {
    platform::InstallMci(nullptr);
    MCI_OPEN_PARMSA open{};
    EXPECT_EQ(mciSendCommandA(0, MCI_OPEN, MCI_WAIT, reinterpret_cast<DWORD_PTR>(&open)),
              MCIERR_DEVICE_NOT_INSTALLED);
    char text[256];
    ASSERT_TRUE(mciGetErrorStringA(MCIERR_DEVICE_NOT_INSTALLED, text, sizeof text));
    EXPECT_STRNE(text, "");
    EXPECT_FALSE(mciGetErrorStringA(MCIERR_INVALID_FILE, text, sizeof text));
}

TEST(MciEntryPoints, ErrorStringsAreCutToTheBufferAndUnknownCodesFail) {
    platform::InstallMci(std::make_unique<platform::fake::FakeMci>());
    char text[4096];
    EXPECT_FALSE(mciGetErrorStringA(12345, text, sizeof text));
    EXPECT_FALSE(mciGetErrorStringA(MCIERR_FILE_NOT_FOUND, nullptr, 10));
    EXPECT_FALSE(mciGetErrorStringA(MCIERR_FILE_NOT_FOUND, text, 0));

    ASSERT_TRUE(mciGetErrorStringA(MCIERR_FILE_NOT_FOUND, text, sizeof text));
    const std::string whole = text;
    std::memset(text, 'x', sizeof text);
    ASSERT_TRUE(mciGetErrorStringA(MCIERR_FILE_NOT_FOUND, text, 8));
    EXPECT_EQ(std::string(text), whole.substr(0, 7));
    ASSERT_TRUE(mciGetErrorStringA(MCIERR_FILE_NOT_FOUND, text, 1));
    EXPECT_STREQ(text, "");
    platform::InstallMci(nullptr);
}

TEST(MciEntryPoints, EveryDeclaredCodeHasItsOwnText) {
    const MCIERROR codes[] = {0,
                              MCIERR_INVALID_DEVICE_ID,
                              MCIERR_UNRECOGNIZED_KEYWORD,
                              MCIERR_UNRECOGNIZED_COMMAND,
                              MCIERR_HARDWARE,
                              MCIERR_INVALID_DEVICE_NAME,
                              MCIERR_OUT_OF_MEMORY,
                              MCIERR_MISSING_PARAMETER,
                              MCIERR_UNSUPPORTED_FUNCTION,
                              MCIERR_FILE_NOT_FOUND,
                              MCIERR_INTERNAL,
                              MCIERR_EXTENSION_NOT_FOUND,
                              MCIERR_FLAGS_NOT_COMPATIBLE,
                              MCIERR_BAD_TIME_FORMAT,
                              MCIERR_INVALID_FILE,
                              MCIERR_NULL_PARAMETER_BLOCK,
                              MCIERR_FILENAME_REQUIRED,
                              MCIERR_DEVICE_NOT_INSTALLED,
                              MCIERR_FILE_READ,
                              MCIERR_NO_SOUND_SERVER,
                              MCIERR_NO_SOUNDFONT};
    std::set<std::string> texts;
    for (MCIERROR code : codes) {
        const char* text = platform::StandardMciErrorText(code);
        ASSERT_NE(text, nullptr) << code;
        texts.insert(text);
    }
    EXPECT_EQ(texts.size(), std::size(codes));
    EXPECT_EQ(platform::StandardMciErrorText(MCIERR_BASE + 200), nullptr);
}

TEST(MciEntryPoints, NoticesGoThroughThePosterOnlyWithAReceiver) {
    std::vector<std::tuple<DWORD_PTR, WPARAM, LPARAM>> posted;
    platform::SetMciNoticePoster(
        [&](DWORD_PTR cb, WPARAM outcome, LPARAM id) { posted.emplace_back(cb, outcome, id); });
    platform::PostMciNotice(0, MCI_NOTIFY_SUCCESSFUL, 1);
    platform::PostMciNotice(0x1234, MCI_NOTIFY_ABORTED, 5);
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0], std::make_tuple(DWORD_PTR(0x1234), MCI_NOTIFY_ABORTED, LPARAM(5)));
    platform::SetMciNoticePoster(nullptr);
    platform::PostMciNotice(0x1234, MCI_NOTIFY_ABORTED, 5);
    EXPECT_EQ(posted.size(), 1u);
}

}  // namespace
