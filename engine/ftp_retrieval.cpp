#include "ftp_retrieval.h"

#include "afx_dialog.h"

namespace {
constexpr UINT kAgentNameString = 1;
constexpr size_t kReadSize = 128;
// The 128-byte requests are served from pieces this large, so that each costs
// no call into WinInet.
constexpr UINT kTransferPiece = 64 * 1024;
}  // namespace

std::string AgentName(const char* fallback) {
    char name[256] = {};
    if (LoadStringA(AfxGetResourceHandle(), kAgentNameString, name, sizeof name) > 0) return name;
    return fallback;
}

std::unique_ptr<CFtpConnection> ConnectToSite(CInternetSession& session, const char* host, const char* userName,
                                              const char* password, DWORD* error) {
    try {
        return session.GetFtpConnection(host, userName, password, 0, FALSE);
    } catch (const CInternetException& exception) {
        *error = exception.m_dwError;
        return nullptr;
    }
}

DownloadResult DownloadImage(CInternetFile& file, uint8_t* buffer, size_t capacity, uint32_t* total,
                             const std::function<void(uint32_t)>& progress) {
    *total = 0;
    file.SetReadBufferSize(kTransferPiece);
    try {
        while (*total < capacity) {
            const size_t room = capacity - *total;
            const UINT read = file.Read(buffer + *total, UINT(room < kReadSize ? room : kReadSize));
            if (read == 0) return DownloadResult::kComplete;
            *total += read;
            progress(*total);
        }
        // The buffer is full: one more byte says whether the file is longer.
        uint8_t probe = 0;
        return file.Read(&probe, 1) == 0 ? DownloadResult::kComplete : DownloadResult::kTooLong;
    } catch (const CInternetException&) {
        return DownloadResult::kTransferFailed;
    }
}

uint32_t DownloadPercent(uint32_t total, uint32_t flashSize) {
    if (flashSize == 0) return 100;
    return uint32_t(uint64_t{total} * 100 / flashSize);
}
