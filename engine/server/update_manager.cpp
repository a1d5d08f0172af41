#include "update_manager.h"

#include <cstring>
#include <memory>
#include <string>

#include "builtin_servers.h"
#include "catalogue.h"
#include "catalogue_keys.h"
#include "catalogue_trust.h"
#include "descriptor_search.h"
#include "engine_state.h"
#include "exclusive_operation.h"
#include "ftp_retrieval.h"
#include "image_checks.h"
#include "image_loading.h"
#include "profile_file.h"
#include "version_compare.h"

namespace {

constexpr char kCheckAgentFallback[] = "AppUnknown1";
constexpr char kUpdateAgentFallback[] = "AppUnknown2";
constexpr uint32_t k1M = 0x100000;
constexpr uint32_t k2M = 0x200000;
// The driver's write is given a moment before the CMOS defaults and the end.
constexpr DWORD kAfterWriteWaitMs = 400;

std::string Terminated(const char* field, size_t size) { return std::string(field, strnlen(field, size)); }

// The figures of the running download.
class Download {
public:
    Download() {
        Engine.ProgressPercent = 0;
        Engine.OwnProgress = 1;
        Engine.DownloadStatus = kDownloadRunning;
    }
    ~Download() { Engine.OwnProgress = 0; }
    void Report(uint32_t total) {
        const uint32_t percent = DownloadPercent(total, Engine.CurrentFlash.FlashSize);
        if (percent < 100) Engine.ProgressPercent = int32_t(percent);
    }
    void Finished() {
        Engine.ProgressPercent = 100;
        Engine.OwnProgress = 0;
        Engine.DownloadStatus = kDownloadFinished;
    }
};

// The Award write of a downloaded image of length bytes, board-mode sizes
// included.
int WriteAwardImage(ImageBuffer& buffer, uint32_t length) {
    const uint32_t part = Engine.CurrentFlash.FlashSize;
    if (Engine.BoardMode != vossel::kBoardModeNone) {
        if (part == k1M && length == k2M) {
            Engine.BoardMode = vossel::kBoardModeEnlarged;
            Engine.CurrentFlash.FlashSize = k2M;
        } else if (part == k2M && length == k1M) {
            // The 1 MiB image belongs in the upper half of the 2 MiB area,
            // whose start and half the part's size the driver is given.
            // Drivers differ in which bytes they take for that call (the
            // first half, the second half, or both over the whole part): with
            // the image in both halves each of them writes it to the top.
            Engine.BoardMode = vossel::kBoardModeUpperHalf;
            std::memcpy(buffer.data() + k1M, buffer.data(), k1M);
        }
    }
    const uint32_t size = Engine.CurrentFlash.FlashSize;
    const uint32_t write_length = Engine.BoardMode == vossel::kBoardModeUpperHalf ? k1M : size;
    // The image must fill what is written: a short download would go to the
    // part padded with zero bytes, a long one cut off.
    if (length != write_length) return kUpdateBadImage;
    Engine.AwardFound = 0;
    if (!vossel::FindAwardSignature(buffer.data(), size)) return kUpdateWrongFamily;
    Engine.AwardFound = 1;
    if (std::memcmp(buffer.data() + vossel::AwardPartNumberOffset(size), Engine.CurrentBios.BiosPartNumber, 8) != 0) {
        return kUpdateBadImage;
    }
    if (Engine.FlashDriver.W_Flash_Write(buffer.data(), write_length, 1) == 0) return kUpdateWriteFailed;
    Sleep(kAfterWriteWaitMs);
    Engine.FlashDriver.Load_CMOS_Default();
    return kUpdateWritten;
}

int WriteUefiImage(ImageBuffer& buffer, uint32_t length) {
    const uint32_t size = Engine.CurrentFlash.FlashSize;
    if (length != size) return kUpdateBadImage;
    vossel::BiosDescriptorFields descriptor;
    if (!vossel::FindBiosDescriptor(buffer.data(), size, &descriptor)) return kUpdateWrongFamily;
    if (std::memcmp(descriptor.PartNumber, Engine.CurrentBios.BiosPartNumber, 8) != 0) return kUpdateBadImage;
    uint8_t permission = 0;
    if (Engine.FlashDriver.IsUtilityActive(buffer.data(), size, &permission) == 0) return kUpdateProgramTooOld;
    if (permission == 0 ||
        !vossel::CheckBoardProtection(descriptor.PartNumber, descriptor.Year, descriptor.Month, descriptor.Day)) {
        return kUpdateRefusedByBoard;
    }
    const int written = Engine.FlashDriver.W_Flash_Write(buffer.data(), size, 1);
    Sleep(kAfterWriteWaitMs);
    return written != 0 ? kUpdateWritten : kUpdateWriteFailed;
}

int RunManagedUpdate() {
    Engine.DownloadStatus = kDownloadNone;
    CInternetSession session(AgentName(kUpdateAgentFallback).c_str());
    DWORD error = 0;
    const std::string host = Terminated(Engine.CurrentServer, sizeof Engine.CurrentServer);
    std::unique_ptr<CFtpConnection> connection = ConnectToSite(session, host.c_str(), "", "", &error);
    if (!connection) return kUpdateNoConnection;
    if (!connection->SetCurrentDirectory(vossel::kBuiltInServerDirectory)) return kUpdateNoDirectory;

    // Whatever happens from here on, the engine is idle afterwards.
    struct IdleAtEnd {
        ~IdleAtEnd() { Engine.Busy = 0; }
    } idle_at_end;
    const std::string name = vossel::ImageFileName(Engine.CurrentBios.BiosPartNumber, 0);
    std::unique_ptr<CInternetFile> file = connection->OpenFile(name.c_str(), GENERIC_READ, FTP_TRANSFER_TYPE_BINARY);
    if (!file) return kUpdateImageMissing;
    ImageBuffer buffer;
    // In a board mode the buffer takes a 2 MiB image and one byte more (to
    // tell a longer one), and in mode 3 the 1 MiB image twice: the 2 MiB a
    // driver may read from the start of the area.
    const uint64_t capacity =
        Engine.BoardMode != vossel::kBoardModeNone ? uint64_t{k2M} + 1 : uint64_t{Engine.CurrentFlash.FlashSize} + 1;
    if (!buffer.Allocate(capacity)) return kUpdateNoMemory;

    uint32_t length = 0;
    {
        Download download;
        const DownloadResult result = DownloadImage(*file, buffer.data(), size_t(buffer.size()), &length,
                                                    [&](uint32_t total) { download.Report(total); });
        if (result != DownloadResult::kComplete) {
            Engine.DownloadStatus = kDownloadNone;
            return result == DownloadResult::kTooLong ? kUpdateImageTooLong : kUpdateTransferBrokeOff;
        }
        download.Finished();
    }
    file->Close();
    if (!ImageMatchesPin(LastCheckedCatalogue().digest, buffer.data(), length)) return kUpdateDigestMismatch;

    int result = kUpdateWrongFamily;
    switch (Engine.CurrentBios.BiosType) {
    case kBiosTypeAward: result = WriteAwardImage(buffer, length); break;
    case kBiosTypeAmiUefi: result = WriteUefiImage(buffer, length); break;
    default: break;
    }
    // The size adaptation served this update only.
    RestoreBoardMode();
    return result;
}

}  // namespace

int __cdecl BiosUpdateCheck(char* text, unsigned textSize) {
    CInternetSession session(AgentName(kCheckAgentFallback).c_str());
    const ProfileFile catalogue(EngineFolderFile(vossel::kCatalogueFileName));
    const std::string sign_on = Terminated(Engine.CurrentBios.SignOnMessage, sizeof Engine.CurrentBios.SignOnMessage);
    RememberCheckedCatalogue(CheckedCatalogue{});
    for (const char* host : kBuiltInServers) {
        DWORD error = 0;
        std::unique_ptr<CFtpConnection> connection = ConnectToSite(session, host, "", "", &error);
        if (!connection) continue;
        if (!connection->SetCurrentDirectory(vossel::kBuiltInServerDirectory)) continue;
        // A refused catalogue counts as none: the next server is asked.
        const FetchedCatalogue fetched = FetchTrustedCatalogue(*connection, kUnattendedRequireSigned);
        if (fetched.outcome != CatalogueFetch::kAccepted) continue;
        const vossel::UpdateCheckOffer offer =
            vossel::ReadUpdateCheckOffer(catalogue, Engine.CurrentBios.BiosPartNumber);
        if (offer.kind == vossel::UpdateCheckOffer::kNoEntry) return 0;
        if (offer.kind == vossel::UpdateCheckOffer::kNoVersion) continue;
        if (vossel::CompareBiosVersion(sign_on.c_str(), offer.version.c_str()) != vossel::kCandidateNewer) return 0;
        lstrcpynA(Engine.CurrentServer, host, sizeof Engine.CurrentServer);
        RememberCheckedCatalogue(
            CheckedCatalogue{fetched.authenticated, vossel::ReadImageDigest(catalogue, Engine.CurrentBios.BiosPartNumber, 0)});
        // The caller's buffer gets the text's bytes, no terminator, never more
        // than it holds.
        const size_t copied = offer.text.size() < textSize ? offer.text.size() : textSize;
        if (text != nullptr) std::memcpy(text, offer.text.data(), copied);
        return 1;
    }
    return 0;
}

int __cdecl UpdateBiosByUpdateManager() {
    ExclusiveOperation operation;
    // A write or save runs: the flash part is not to be touched now.
    if (!operation.owned()) return kUpdateBusy;
    return RunManagedUpdate();
}

uint8_t __cdecl DownloadStatusForUpdateManager() { return Engine.DownloadStatus; }
