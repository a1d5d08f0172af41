#include "server_update.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "bios_save.h"
#include "catalogue.h"
#include "catalogue_trust.h"
#include "engine_state.h"
#include "flow_messages.h"
#include "ftp_retrieval.h"
#include "model_dialog.h"
#include "profile_file.h"
#include "site_dialog.h"

namespace {

constexpr char kAgentFallback[] = "AppUnknown";

template <typename... Args>
void ShowError(const char* format, Args... args) {
    char text[512];
    std::snprintf(text, sizeof text, format, args...);
    ShowCheckMessage(vossel::CheckMessage{text, vossel::kFtpErrorCaption, vossel::kIconNone});
}

// The engine's figures during the download: its own percentage, the
// driver left alone.
class DownloadProgress {
public:
    DownloadProgress() {
        Engine.ProgressPercent = 0;
        Engine.OwnProgress = 1;
    }
    ~DownloadProgress() { Engine.OwnProgress = 0; }
    void Report(uint32_t total) {
        const uint32_t percent = DownloadPercent(total, Engine.CurrentFlash.FlashSize);
        if (percent < 100) Engine.ProgressPercent = int32_t(percent);
    }
    void Done() { Engine.ProgressPercent = 100; }
};

}  // namespace

bool ObtainImageFromServer(ImageBuffer& buffer, char (&imagePath)[kImagePathSize]) {
    CInternetSession session(AgentName(kAgentFallback).c_str());

    vossel::ServerSite site;
    {
        CServerSel dialog;
        if (dialog.DoModal() != IDOK) return false;
        site = dialog.m_site;
    }

    std::unique_ptr<CFtpConnection> connection;
    try {
        connection = session.GetFtpConnection(site.Address, site.Username, site.Password, 0, FALSE);
    } catch (const CInternetException& exception) {
        exception.ReportError();
        return false;
    }
    if (!connection->SetCurrentDirectory(site.Directory)) {
        ShowError(vossel::kMsgDirectoryMissingFormat, site.Directory, site.Address);
        return false;
    }
    const FetchedCatalogue catalogue = FetchTrustedCatalogue(*connection, InteractiveRequiresSigned());
    switch (catalogue.outcome) {
    case CatalogueFetch::kAccepted: break;
    case CatalogueFetch::kMissing:
        ShowError(vossel::kMsgCatalogueMissingFormat, vossel::kCatalogueFileName);
        return false;
    case CatalogueFetch::kRefusedSignature:
        ShowError(vossel::kMsgCatalogueSignatureRefusedFormat, site.Address);
        return false;
    case CatalogueFetch::kRefusedUnsigned:
        ShowError(vossel::kMsgCatalogueUnsignedFormat, site.Address);
        return false;
    }

    {
        CBIOSINI dialog;
        if (dialog.DoModal() != IDOK) return false;
    }
    const std::string name = vossel::ImageFileName(Engine.CurrentBios.BiosPartNumber, Engine.Model.ModelNumber);
    std::unique_ptr<CInternetFile> file = connection->OpenFile(name.c_str(), GENERIC_READ, FTP_TRANSFER_TYPE_BINARY);
    if (!file) {
        ShowError(vossel::kMsgImageMissingFormat, name.c_str(), site.Address);
        return false;
    }

    uint32_t total = 0;
    DownloadResult downloaded;
    {
        DownloadProgress progress;
        downloaded = DownloadImage(*file, buffer.data(), size_t(buffer.size()), &total,
                                   [&](uint32_t received) { progress.Report(received); });
        if (downloaded == DownloadResult::kComplete) progress.Done();
    }
    file->Close();
    switch (downloaded) {
    case DownloadResult::kComplete: break;
    case DownloadResult::kTransferFailed:
        ShowError(vossel::kMsgDownloadFailedFormat, name.c_str(), site.Address);
        return false;
    case DownloadResult::kTooLong:
        ShowError(vossel::kMsgDownloadTooLongFormat, name.c_str(), site.Address);
        return false;
    }

    // The catalogue's digest decides before the byte sum, whatever FC says.
    const vossel::PinnedDigest pin =
        vossel::ReadImageDigest(ProfileFile(EngineFolderFile(vossel::kCatalogueFileName)),
                                Engine.CurrentBios.BiosPartNumber,
                                vossel::EntryOfModel(Engine.Model.ModelNumber, Engine.Model.NewNumbering));
    if (!ImageMatchesPin(pin, buffer.data(), total)) {
        RestorePreviousCatalogue(catalogue);
        ShowError(vossel::kMsgImageDigestMismatchFormat, name.c_str(), site.Address);
        return false;
    }
    if (!vossel::DownloadSumAccepted(buffer.data(), total, Engine.Model.FileCheck)) {
        ShowCheckMessage(vossel::kMsgBiosFileNotCorrect);
        return false;
    }
    const std::string path = std::string(Engine.ModuleDir) + name;
    if (path.size() >= kImagePathSize) {
        ShowCheckMessage(vossel::kMsgImagePathUnusable);
        return false;
    }
    // A file that could not be written is refused by the load that follows.
    SaveRomImageFile(buffer.data(), path.c_str(), total);
    std::memcpy(imagePath, path.c_str(), path.size() + 1);
    return true;
}
