#include "catalogue_transfer.h"

#include <windows.h>

#include <memory>
#include <vector>

#include "transfer_limits.h"

namespace {

constexpr UINT kReadSize = 64 * 1024;

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};

// The folder part of path, with its trailing backslash ("." when none).
std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
}

CatalogueFetch Receive(CInternetFile& file, HANDLE local) {
    file.SetStallLimit(kTransferStallMilliseconds);
    std::vector<uint8_t> piece(kReadSize);
    uint64_t total = 0;
    try {
        for (;;) {
            const UINT read = file.Read(piece.data(), kReadSize);
            if (read == 0) return CatalogueFetch::kFetched;
            total += read;
            // Refused as soon as it is too long: an endless catalogue must
            // not fill the disk.
            if (total > kCatalogueSizeLimit) return CatalogueFetch::kTooLarge;
            DWORD written = 0;
            if (!WriteFile(local, piece.data(), read, &written, nullptr) || written != read) {
                return CatalogueFetch::kMissing;
            }
        }
    } catch (const CInternetException& exception) {
        return exception.m_dwError == ERROR_INTERNET_TIMEOUT ? CatalogueFetch::kStalled : CatalogueFetch::kMissing;
    }
}

}  // namespace

CatalogueFetch ReceiveCatalogue(CInternetFile& file, const std::string& local) {
    char partial[MAX_PATH] = {};
    if (GetTempFileNameA(FolderOf(local).c_str(), "bio", 0, partial) == 0) return CatalogueFetch::kMissing;
    std::unique_ptr<void, HandleCloser> output(
        CreateFileA(partial, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (output.get() == INVALID_HANDLE_VALUE) {
        output.release();
        DeleteFileA(partial);
        return CatalogueFetch::kMissing;
    }
    CatalogueFetch result = Receive(file, output.get());
    file.Close();
    if (!CloseHandle(output.release()) && result == CatalogueFetch::kFetched) result = CatalogueFetch::kMissing;
    if (result == CatalogueFetch::kFetched &&
        !MoveFileExA(partial, local.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        result = CatalogueFetch::kMissing;
    }
    if (result != CatalogueFetch::kFetched) DeleteFileA(partial);
    return result;
}
