#include "server_update.h"

#include "image_loading.h"

namespace {

// This build of the engine has no FTP client: an update from a server is
// refused with a message instead of pretending to have found nothing.
constexpr vossel::CheckMessage kMsgServerUpdateUnavailable = {
    "Updating the BIOS from a server is not available in this version.\nPlease update the BIOS from a file.",
    "Error", vossel::kIconError};

}  // namespace

bool ObtainImageFromServer(char*, size_t) {
    ShowCheckMessage(kMsgServerUpdateUnavailable);
    return false;
}
