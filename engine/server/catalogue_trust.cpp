#include "catalogue_trust.h"

#include <windows.h>
#include <bcrypt.h>

#include <cstring>
#include <mutex>
#include <vector>

#include "bios_save.h"
#include "catalogue.h"
#include "catalogue_keys.h"
#include "ftp_retrieval.h"
#include "image_loading.h"
#include "profile_file.h"
#include "server_config.h"
#include "transfer_limits.h"

namespace {

bool Succeeded(NTSTATUS status) { return status >= 0; }

class Algorithm {
public:
    explicit Algorithm(const wchar_t* name) {
        if (!Succeeded(BCryptOpenAlgorithmProvider(&handle_, name, nullptr, 0))) handle_ = nullptr;
    }
    ~Algorithm() {
        if (handle_ != nullptr) BCryptCloseAlgorithmProvider(handle_, 0);
    }
    Algorithm(const Algorithm&) = delete;
    Algorithm& operator=(const Algorithm&) = delete;
    BCRYPT_ALG_HANDLE get() const { return handle_; }

private:
    BCRYPT_ALG_HANDLE handle_ = nullptr;
};

// Whether one of the built-in keys verifies signature (r||s) over the
// catalogue's SHA-256.
bool VerifiedByBuiltInKey(const vossel::Digest& hash, const std::vector<uint8_t>& signature) {
    Algorithm ecdsa(BCRYPT_ECDSA_P256_ALGORITHM);
    if (ecdsa.get() == nullptr) return false;
    for (size_t k = 0; k < kCatalogueKeyCount; ++k) {
        uint8_t blob[sizeof(BCRYPT_ECCKEY_BLOB) + 64];
        BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
        std::memcpy(blob, &header, sizeof header);
        std::memcpy(blob + sizeof header, kCatalogueKeys[k], 64);
        BCRYPT_KEY_HANDLE key = nullptr;
        if (!Succeeded(BCryptImportKeyPair(ecdsa.get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, &key, blob, sizeof blob, 0))) {
            continue;
        }
        const NTSTATUS status =
            BCryptVerifySignature(key, nullptr, const_cast<uint8_t*>(hash.data()), ULONG(hash.size()),
                                  const_cast<uint8_t*>(signature.data()), ULONG(signature.size()), 0);
        BCryptDestroyKey(key);
        if (Succeeded(status)) return true;
    }
    return false;
}

// A whole server file of at most capacity bytes, read within the stall limit.
struct ServerFile {
    bool present = false;  // the server gave it
    DownloadResult read = DownloadResult::kTransferFailed;
    std::vector<uint8_t> bytes;
};

ServerFile ReadServerFile(CFtpConnection& connection, const char* name, size_t capacity) {
    ServerFile result;
    std::unique_ptr<CInternetFile> file = connection.OpenFile(name, GENERIC_READ, FTP_TRANSFER_TYPE_BINARY);
    if (!file) return result;
    result.present = true;
    result.bytes.resize(capacity);
    uint32_t total = 0;
    result.read = DownloadImage(*file, result.bytes.data(), capacity, &total, [](uint32_t) {});
    file->Close();
    result.bytes.resize(total);
    return result;
}

// Replaces the file at path with bytes, or leaves it as it was: the save
// writer puts them in a temporary sibling that then takes the file's place.
// Its own message about the disk is not this flow's to show.
bool ReplaceWholeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    static const uint8_t kNothing = 0;
    CheckMessageCapture writer_message;
    return SaveRomImageFile(bytes.empty() ? &kNothing : bytes.data(), path.c_str(), uint32_t(bytes.size())) == 0;
}

// The whole of a local catalogue within the size limit; false when there is
// none (or it cannot be read).
bool ReadLocalFile(const std::string& path, std::vector<uint8_t>* bytes) {
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size{};
    bool ok = GetFileSizeEx(file, &size) && uint64_t(size.QuadPart) <= kCatalogueSizeLimit;
    if (ok) {
        bytes->resize(size_t(size.QuadPart));
        DWORD read = 0;
        ok = bytes->empty() || (ReadFile(file, bytes->data(), DWORD(bytes->size()), &read, nullptr) &&
                                read == bytes->size());
    }
    CloseHandle(file);
    return ok;
}

std::mutex checked_mutex;
CheckedCatalogue checked_catalogue;

}  // namespace

// BCryptHash would do this in one call, but it needs Windows 10 and the
// engine runs on Windows 7: the hash object's three calls, one pass.
bool Sha256(const uint8_t* data, uint32_t length, vossel::Digest* digest) {
    Algorithm sha256(BCRYPT_SHA256_ALGORITHM);
    if (sha256.get() == nullptr) return false;
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (!Succeeded(BCryptCreateHash(sha256.get(), &hash, nullptr, 0, nullptr, 0, 0))) return false;
    const bool hashed =
        (length == 0 || Succeeded(BCryptHashData(hash, const_cast<uint8_t*>(data), length, 0))) &&
        Succeeded(BCryptFinishHash(hash, digest->data(), ULONG(digest->size()), 0));
    BCryptDestroyHash(hash);
    return hashed;
}

bool ImageMatchesPin(const vossel::PinnedDigest& pin, const uint8_t* image, uint32_t length) {
    if (pin.kind == vossel::PinnedDigest::kNone) return true;
    vossel::Digest actual{};
    if (!Sha256(image, length, &actual)) return false;
    return vossel::ImageDigestAccepted(pin, actual);
}

FetchedCatalogue FetchTrustedCatalogue(CFtpConnection& connection, bool requireSigned) {
    FetchedCatalogue fetched;
    const ServerFile catalogue = ReadServerFile(connection, vossel::kCatalogueFileName, kCatalogueSizeLimit);
    if (!catalogue.present) return fetched;
    switch (catalogue.read) {
    case DownloadResult::kComplete: break;
    case DownloadResult::kTransferFailed: return fetched;
    case DownloadResult::kTooLong: fetched.outcome = CatalogueFetch::kTooLarge; return fetched;
    case DownloadResult::kStalled: fetched.outcome = CatalogueFetch::kStalled; return fetched;
    }
    const ServerFile signature = ReadServerFile(connection, vossel::kSignatureFileName, vossel::kMaxSignatureFileSize);
    if (signature.present && signature.read == DownloadResult::kStalled) {
        fetched.outcome = CatalogueFetch::kStalled;
        return fetched;
    }
    // A signature file that broke off or runs past the limit is judged as
    // an oversized one: malformed.
    const size_t signature_size =
        signature.read == DownloadResult::kComplete ? signature.bytes.size() : vossel::kMaxSignatureFileSize + 1;
    const vossel::SignatureShape shape = vossel::ClassifySignature(signature.present, signature_size);
    bool verified = false;
    if (shape == vossel::SignatureShape::kWellFormed && kCatalogueKeyCount > 0) {
        vossel::Digest hash{};
        verified = Sha256(catalogue.bytes.data(), uint32_t(catalogue.bytes.size()), &hash) &&
                   VerifiedByBuiltInKey(hash, signature.bytes);
    }
    switch (vossel::JudgeCatalogue(shape, verified, kCatalogueKeyCount > 0, requireSigned)) {
    case vossel::CatalogueVerdict::kRefusedSignature: fetched.outcome = CatalogueFetch::kRefusedSignature; return fetched;
    case vossel::CatalogueVerdict::kRefusedUnsigned: fetched.outcome = CatalogueFetch::kRefusedUnsigned; return fetched;
    case vossel::CatalogueVerdict::kAuthenticated: fetched.authenticated = true; break;
    case vossel::CatalogueVerdict::kUnsigned: break;
    }
    const std::string local = EngineFolderFile(vossel::kCatalogueFileName);
    fetched.replaced = ReadLocalFile(local, &fetched.previous);
    if (!ReplaceWholeFile(local, catalogue.bytes)) return fetched;
    fetched.outcome = CatalogueFetch::kAccepted;
    return fetched;
}

void RestorePreviousCatalogue(const FetchedCatalogue& fetched) {
    if (fetched.outcome != CatalogueFetch::kAccepted) return;
    const std::string local = EngineFolderFile(vossel::kCatalogueFileName);
    if (fetched.replaced) {
        ReplaceWholeFile(local, fetched.previous);
    } else {
        DeleteFileA(local.c_str());
    }
}

bool InteractiveRequiresSigned() {
    const ProfileFile config(EngineFolderFile(vossel::kConfigFileName));
    return vossel::LeadingDecimalInteger(config.Get(vossel::kSecuritySection, vossel::kRequireSignedKey)) == 1;
}

void RememberCheckedCatalogue(const CheckedCatalogue& checked) {
    std::lock_guard<std::mutex> lock(checked_mutex);
    checked_catalogue = checked;
}

CheckedCatalogue LastCheckedCatalogue() {
    std::lock_guard<std::mutex> lock(checked_mutex);
    return checked_catalogue;
}

int __cdecl BiosUpdateCheckAuthenticated(char* digest, unsigned digestSize) {
    const CheckedCatalogue checked = LastCheckedCatalogue();
    if (digest != nullptr && digestSize > vossel::kDigestHexLength) {
        const std::string hex = vossel::PinnedDigestHex(checked.digest);
        std::memcpy(digest, hex.c_str(), hex.size() + 1);
    }
    return checked.authenticated ? 1 : 0;
}
