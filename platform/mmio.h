#pragma once
// Multimedia file I/O for writing RIFF files: a buffered file with chunk bookkeeping, shaped
// after the Windows mmio service. Always real files; there is no backend to install.
#include <cstdint>

#include "platform/mmtypes.h"

struct HMMIO__;
using HMMIO = HMMIO__*;

struct MMCKINFO {
    FOURCC ckid;
    DWORD cksize;
    FOURCC fccType;  // form type of a RIFF or LIST chunk
    DWORD dwDataOffset;
    DWORD dwFlags;
};

constexpr DWORD MMIO_READ = 0x00000000;
constexpr DWORD MMIO_WRITE = 0x00000001;
constexpr DWORD MMIO_READWRITE = 0x00000002;
constexpr DWORD MMIO_CREATE = 0x00001000;
constexpr DWORD MMIO_ALLOCBUF = 0x00010000;
// Ours: with MMIO_CREATE, creates only a file that does not exist yet; an existing file or
// link is never truncated or followed (errno EEXIST).
constexpr DWORD MMIO_CREATENEW = 0x00100000;

constexpr UINT MMIO_TOUPPER = 0x0010;
constexpr UINT MMIO_CREATERIFF = 0x0020;
constexpr UINT MMIO_CREATELIST = 0x0040;
// mmioFlush: ours, the data also reaches the disk (fsync) before the call returns.
constexpr UINT MMIO_TODISK = 0x0100;
constexpr DWORD MMIO_DIRTY = 0x10000000;  // MMCKINFO: the size still needs fixing on ascend

constexpr MMRESULT MMIOERR_BASE = 256;
constexpr MMRESULT MMIOERR_FILENOTFOUND = MMIOERR_BASE + 1;
constexpr MMRESULT MMIOERR_OUTOFMEMORY = MMIOERR_BASE + 2;
constexpr MMRESULT MMIOERR_CANNOTOPEN = MMIOERR_BASE + 3;
constexpr MMRESULT MMIOERR_CANNOTCLOSE = MMIOERR_BASE + 4;
constexpr MMRESULT MMIOERR_CANNOTREAD = MMIOERR_BASE + 5;
constexpr MMRESULT MMIOERR_CANNOTWRITE = MMIOERR_BASE + 6;
constexpr MMRESULT MMIOERR_CANNOTSEEK = MMIOERR_BASE + 7;
constexpr MMRESULT MMIOERR_CANNOTEXPAND = MMIOERR_BASE + 8;
constexpr MMRESULT MMIOERR_CHUNKNOTFOUND = MMIOERR_BASE + 9;

// Only writing is supported: MMIO_WRITE, with MMIO_CREATE to create or replace the file.
// No info record (null). Null when the file cannot be opened; nothing is created then.
// Every call that fails leaves the system's reason in errno.
HMMIO mmioOpenA(LPCSTR pszFileName, void* pmmioinfo, DWORD fdwOpen);
// The first four characters, padded with blanks; case kept unless MMIO_TOUPPER.
FOURCC mmioStringToFOURCCA(LPCSTR sz, UINT uFlags);
// Writes the chunk header at the current position: ckid (or "RIFF"/"LIST" with fccType),
// cksize as declared. dwDataOffset is where the chunk's data starts.
MMRESULT mmioCreateChunk(HMMIO hmmio, MMCKINFO* pmmcki, UINT fuCreate);
// The count is 64-bit here so one write can carry the largest RIFF file's data.
// Returns the count written, -1 on error.
int64_t mmioWrite(HMMIO hmmio, const char* pch, int64_t cch);
// Leaves the chunk: writes its true size into its header when it changed, and a zero pad
// byte after a chunk of odd size.
MMRESULT mmioAscend(HMMIO hmmio, MMCKINFO* pmmcki, UINT fuAscend);
// Moves to a byte offset (origin SEEK_SET, SEEK_CUR or SEEK_END) after flushing the buffer;
// the new offset, or -1. A seek clears an earlier write failure: what follows lands where asked.
int64_t mmioSeek(HMMIO hmmio, int64_t lOffset, int iOrigin);
// Hands the buffer to the system (MMIO_TODISK: and on to the disk).
MMRESULT mmioFlush(HMMIO hmmio, UINT fuFlush);
// Flushes and closes; an error when the file could not be written whole.
MMRESULT mmioClose(HMMIO hmmio, UINT fuClose);
