#include "platform/mmio.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/pcm.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

class Mmio : public testsupport::TempFolderTest {
  protected:
    static HMMIO Create(const std::string& path) {
        return mmioOpenA(path.c_str(), nullptr, MMIO_CREATE | MMIO_WRITE | MMIO_ALLOCBUF);
    }
};

std::string Bytes(const std::vector<uint8_t>& v) {
    return std::string(v.begin(), v.end());
}

TEST(MmioFourcc, CopiesFourCharactersPaddingWithBlanksKeepingCase) {
    EXPECT_EQ(mmioStringToFOURCCA("WAVE", 0), 0x45564157u);
    EXPECT_EQ(mmioStringToFOURCCA("fmt ", 0), 0x20746d66u);
    EXPECT_EQ(mmioStringToFOURCCA("ab", 0), mmioStringToFOURCCA("ab  ", 0));
    EXPECT_EQ(mmioStringToFOURCCA("datax", 0), mmioStringToFOURCCA("data", 0));
    EXPECT_EQ(mmioStringToFOURCCA("data", MMIO_TOUPPER), mmioStringToFOURCCA("DATA", 0));
}

TEST_F(Mmio, AscendFixesTrueSizesAndPadsOddChunks) {
    const std::string path = Path("chunks.riff");
    HMMIO h = Create(path);
    ASSERT_NE(h, nullptr);

    MMCKINFO riff{};
    riff.fccType = mmioStringToFOURCCA("TEST", 0);
    ASSERT_EQ(mmioCreateChunk(h, &riff, MMIO_CREATERIFF), MMSYSERR_NOERROR);
    EXPECT_EQ(riff.dwDataOffset, 8u);

    MMCKINFO odd{};
    odd.ckid = mmioStringToFOURCCA("abcd", 0);
    odd.cksize = 100;  // declared wrong on purpose
    ASSERT_EQ(mmioCreateChunk(h, &odd, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(odd.dwDataOffset, 20u);
    EXPECT_EQ(mmioWrite(h, "12345", 5), 5);
    ASSERT_EQ(mmioAscend(h, &odd, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(odd.cksize, 5u);

    MMCKINFO even{};
    even.ckid = mmioStringToFOURCCA("efgh", 0);
    ASSERT_EQ(mmioCreateChunk(h, &even, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(mmioWrite(h, "WXYZ", 4), 4);
    ASSERT_EQ(mmioAscend(h, &even, 0), MMSYSERR_NOERROR);
    ASSERT_EQ(mmioAscend(h, &riff, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(riff.cksize, 30u);
    ASSERT_EQ(mmioClose(h, 0), MMSYSERR_NOERROR);

    const std::string expected(
        "RIFF\x1e\0\0\0TEST"
        "abcd\x05\0\0\0"
        "12345\0"
        "efgh\x04\0\0\0"
        "WXYZ",
        38);
    EXPECT_EQ(Bytes(testsupport::ReadAll(path)), expected);
}

TEST_F(Mmio, WritesLargerThanTheBufferLandInPlace) {
    const std::string path = Path("big.riff");
    HMMIO h = Create(path);
    ASSERT_NE(h, nullptr);
    MMCKINFO ck{};
    ck.ckid = mmioStringToFOURCCA("big ", 0);
    ASSERT_EQ(mmioCreateChunk(h, &ck, 0), MMSYSERR_NOERROR);
    std::string big(300001, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = char(i * 31 + i / 251);
    EXPECT_EQ(mmioWrite(h, "x", 1), 1);  // something already buffered
    EXPECT_EQ(mmioWrite(h, big.data(), int64_t(big.size())), int64_t(big.size()));
    ASSERT_EQ(mmioAscend(h, &ck, 0), MMSYSERR_NOERROR);
    ASSERT_EQ(mmioClose(h, 0), MMSYSERR_NOERROR);

    const std::string file = Bytes(testsupport::ReadAll(path));
    ASSERT_EQ(file.size(), 8 + 1 + big.size());  // 300002 bytes of data: even, no pad
    EXPECT_EQ(file.substr(0, 8), std::string("big \xe2\x93\x04\x00", 8));
    EXPECT_EQ(file.substr(9, big.size()), big);
}

TEST_F(Mmio, OpenCreatesOrReplacesAndRefusesWhatItCannotWrite) {
    const std::string path = Path("replace.bin");
    {
        HMMIO h = Create(path);
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(mmioWrite(h, "long old content", 16), 16);
        EXPECT_EQ(mmioClose(h, 0), MMSYSERR_NOERROR);
    }
    HMMIO h = Create(path);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(mmioWrite(h, "new", 3), 3);
    EXPECT_EQ(mmioWrite(h, "x", -1), -1);
    EXPECT_EQ(mmioClose(h, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(Bytes(testsupport::ReadAll(path)), "new");

    const std::string missing = Path("no/such/folder/file.wav");
    EXPECT_EQ(Create(missing), nullptr);
    EXPECT_FALSE(fs::exists(Path("no")));
    EXPECT_EQ(mmioOpenA(path.c_str(), nullptr, MMIO_READ), nullptr);  // writing only
}

TEST_F(Mmio, AFullDiskShowsAtTheCloseWithTheSystemsReason) {
    HMMIO h = Create("/dev/full");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(mmioWrite(h, "abc", 3), 3);  // still in the buffer
    errno = 0;
    EXPECT_NE(mmioClose(h, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(errno, ENOSPC);

    h = Create("/dev/full");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(mmioWrite(h, "abc", 3), 3);
    EXPECT_NE(mmioFlush(h, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(errno, ENOSPC);
    EXPECT_EQ(mmioWrite(h, "d", 1), -1);  // the failure stays
    EXPECT_EQ(errno, ENOSPC);
    mmioClose(h, 0);
}

TEST_F(Mmio, SeeksRewriteInPlaceAndTheEndIsWhereWritingGoesOn) {
    const std::string path = Path("seek.bin");
    HMMIO h = Create(path);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(mmioWrite(h, "0123456789", 10), 10);
    EXPECT_EQ(mmioSeek(h, 2, SEEK_SET), 2);
    EXPECT_EQ(mmioWrite(h, "ab", 2), 2);
    EXPECT_EQ(mmioSeek(h, 1, SEEK_CUR), 5);
    EXPECT_EQ(mmioWrite(h, "X", 1), 1);
    EXPECT_EQ(mmioSeek(h, 0, SEEK_END), 10);
    EXPECT_EQ(mmioWrite(h, "end", 3), 3);
    EXPECT_EQ(mmioSeek(h, -1, SEEK_SET), -1);
    EXPECT_EQ(errno, EINVAL);
    // A flush puts the bytes where another reader sees them, before any close.
    EXPECT_EQ(mmioFlush(h, MMIO_TODISK), MMSYSERR_NOERROR);
    EXPECT_EQ(Bytes(testsupport::ReadAll(path)), "01ab4X6789end");
    EXPECT_EQ(mmioClose(h, 0), MMSYSERR_NOERROR);
}

TEST_F(Mmio, ANewFileIsNeverAnExistingOneAndAPipeNeverBlocks) {
    const std::string path = Path("taken.part");
    { std::ofstream(path) << "earlier recording"; }
    const DWORD createNew = MMIO_CREATE | MMIO_CREATENEW | MMIO_WRITE;
    EXPECT_EQ(mmioOpenA(path.c_str(), nullptr, createNew), nullptr);
    EXPECT_EQ(errno, EEXIST);
    fs::create_symlink(Path("elsewhere"), Path("link.part"));
    EXPECT_EQ(mmioOpenA(Path("link.part").c_str(), nullptr, createNew), nullptr);
    EXPECT_FALSE(fs::exists(Path("elsewhere")));  // the link was not followed
    EXPECT_EQ(Bytes(testsupport::ReadAll(path)), "earlier recording");

    ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0644), 0);
    EXPECT_EQ(Create(Path("fifo")), nullptr);  // no reader: refused at once
    EXPECT_EQ(errno, ENXIO);
}

}  // namespace
