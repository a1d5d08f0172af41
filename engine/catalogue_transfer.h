// The catalogue's way from the server to the file beside the engine: read
// with a size and a stall limit into a file of its own, which replaces the
// local catalogue only once the whole of it has arrived.
#pragma once

#include <string>

#include "afx_internet.h"

enum class CatalogueFetch {
    kFetched,   // the local catalogue is the server's now
    kMissing,   // the server does not give it, or the transfer or the local file failed
    kTooLarge,  // longer than kCatalogueSizeLimit
    kStalled,   // a read from the server took longer than the stall limit
};

// Reads file (opened on the server) into the local file at local. On any
// result but kFetched, an earlier local file stays as it was and nothing of
// the transfer is left behind.
CatalogueFetch ReceiveCatalogue(CInternetFile& file, const std::string& local);
