// FTP over WinInet: an Internet session, an FTP connection of that session
// and a file opened on the connection. Every call blocks its thread until
// the server answers. Failures to connect and to read raise
// CInternetException, as the platform's framework classes do; the calls that
// the callers test by their result (directory change, file transfer, file
// opening) return it.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A WinInet failure, with the error code WinInet gave.
class CInternetException {
public:
    explicit CInternetException(DWORD error) : m_dwError(error) {}

    // The system's own text for the error, from wininet.dll's message table
    // (for an extended error, the server's last response); false when there is
    // none.
    bool GetErrorMessage(std::string* text) const;
    // Shows the error's text ("IDS_EXCEPTION" when it has none) in the
    // framework's application message box.
    int ReportError(UINT type = MB_OK) const;

    DWORD m_dwError;
};

class CInternetFile;
class CFtpConnection;

class CInternetSession {
public:
    // InternetOpen with the agent name, the access type, no proxy, no bypass
    // list and the flags; context is passed to every later call.
    explicit CInternetSession(const char* agent, DWORD_PTR context = 1,
                              DWORD accessType = INTERNET_OPEN_TYPE_PRECONFIG, const char* proxy = nullptr,
                              const char* proxyBypass = nullptr, DWORD flags = 0);
    ~CInternetSession();
    CInternetSession(const CInternetSession&) = delete;
    CInternetSession& operator=(const CInternetSession&) = delete;

    // Connects and logs in (port 0 is the default FTP port); throws
    // CInternetException when the session could not be opened or the server
    // refuses or does not answer.
    std::unique_ptr<CFtpConnection> GetFtpConnection(const char* server, const char* userName,
                                                     const char* password, INTERNET_PORT port = 0,
                                                     BOOL passive = FALSE);
    void Close();

    HINTERNET handle() const { return session_; }

private:
    HINTERNET session_ = nullptr;
    DWORD_PTR context_;
};

class CFtpConnection {
public:
    CFtpConnection(HINTERNET connection, DWORD_PTR context) : connection_(connection), context_(context) {}
    ~CFtpConnection();
    CFtpConnection(const CFtpConnection&) = delete;
    CFtpConnection& operator=(const CFtpConnection&) = delete;

    BOOL SetCurrentDirectory(const char* directory);
    // Copies the remote file to a local one.
    BOOL GetFile(const char* remoteFile, const char* localFile, BOOL failIfExists = TRUE,
                 DWORD attributes = FILE_ATTRIBUTE_NORMAL, DWORD flags = FTP_TRANSFER_TYPE_BINARY);
    // Opens a remote file; nullptr when the server does not give it.
    std::unique_ptr<CInternetFile> OpenFile(const char* fileName, DWORD access = GENERIC_READ,
                                            DWORD flags = FTP_TRANSFER_TYPE_BINARY);
    void Close();

private:
    HINTERNET connection_;
    DWORD_PTR context_;
};

class CInternetFile {
public:
    explicit CInternetFile(HINTERNET file) : file_(file) {}
    ~CInternetFile();
    CInternetFile(const CInternetFile&) = delete;
    CInternetFile& operator=(const CInternetFile&) = delete;

    // Reads up to count bytes; the number read, 0 at the end of the file.
    // Throws CInternetException when the transfer fails.
    UINT Read(void* buffer, UINT count);
    // With a read buffer of size bytes (0: none, the default), Read takes the
    // file from WinInet in pieces of that size and hands it out from there:
    // small reads then cost no call into WinInet each. Set before the first
    // Read.
    void SetReadBufferSize(UINT size);
    // With a stall limit (0: none, the default), every read from WinInet runs
    // on a reader thread of the file, and a read that has not returned within
    // the limit makes Read throw CInternetException(ERROR_INTERNET_TIMEOUT)
    // at once; so does every Read after it. WinInet's receive time-outs do
    // not reach an FTP data connection, and under Wine closing the handle
    // does not end a read that waits on one: the reader is left to finish
    // that read by itself, into memory of its own, and then ends. Under Wine
    // a read of n bytes returns only once n bytes have arrived or the file
    // has ended, so the limit bounds one read of the read buffer's size (or
    // of the count asked for). Set before the first Read.
    void SetStallLimit(DWORD milliseconds);
    void Close();

private:
    struct Reader;
    // One read from WinInet; on the reader thread when there is a stall limit.
    DWORD ReadFromInternet(void* buffer, DWORD count);

    HINTERNET file_;
    DWORD stall_limit_ = 0;
    Reader* reader_ = nullptr;  // shared with its thread, which may outlive the file
    bool stalled_ = false;
    std::vector<uint8_t> read_buffer_;
    size_t buffered_ = 0;   // bytes of read_buffer_ received
    size_t handed_out_ = 0;  // of those, bytes Read has given away
};
