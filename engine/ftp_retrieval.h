// The engine's FTP steps over the framework's WinInet classes: the session
// with its agent name, the connection to a site, the directory change, the
// catalogue copy and the image download in 128-byte reads. The interactive
// update shows a message at each failure (the Show... functions); the
// unattended exports use the same steps without any.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "afx_internet.h"

// The session's agent name: string resource 1 of the engine library, or
// fallback when the library has none.
std::string AgentName(const char* fallback);

// A connection to host with the login given, default port, active mode;
// nullptr when it cannot be had (error in *error).
std::unique_ptr<CFtpConnection> ConnectToSite(CInternetSession& session, const char* host, const char* userName,
                                              const char* password, DWORD* error);

enum class DownloadResult {
    kComplete,        // the server's whole file is in the buffer
    kTransferFailed,  // the transfer broke off
    kTooLong,         // the file has more bytes than the buffer holds
};

// Reads file into buffer in 128-byte requests, never past capacity, calling
// progress(total) after every read that returned bytes; *total is the number
// of bytes received.
DownloadResult DownloadImage(CInternetFile& file, uint8_t* buffer, size_t capacity, uint32_t* total,
                             const std::function<void(uint32_t)>& progress);

// The download percentage of total bytes of a part of flashSize bytes,
// rounded down; 100 for an empty part.
uint32_t DownloadPercent(uint32_t total, uint32_t flashSize);
