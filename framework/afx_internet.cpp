#include "afx_internet.h"

#include <cstring>
#include <vector>

#include "afx_app.h"
#include "late_binding.h"

namespace {

constexpr char kNoErrorText[] = "IDS_EXCEPTION";
constexpr char kWinInet[] = "wininet.dll";

// WinINet, loaded when the first session opens.
struct WinInetFunctions {
    decltype(&::InternetOpenA) InternetOpenA = BindLate<decltype(&::InternetOpenA)>(kWinInet, "InternetOpenA");
    decltype(&::InternetConnectA) InternetConnectA =
        BindLate<decltype(&::InternetConnectA)>(kWinInet, "InternetConnectA");
    decltype(&::InternetCloseHandle) InternetCloseHandle =
        BindLate<decltype(&::InternetCloseHandle)>(kWinInet, "InternetCloseHandle");
    decltype(&::InternetGetLastResponseInfoA) InternetGetLastResponseInfoA =
        BindLate<decltype(&::InternetGetLastResponseInfoA)>(kWinInet, "InternetGetLastResponseInfoA");
    decltype(&::InternetReadFile) InternetReadFile =
        BindLate<decltype(&::InternetReadFile)>(kWinInet, "InternetReadFile");
    decltype(&::FtpSetCurrentDirectoryA) FtpSetCurrentDirectoryA =
        BindLate<decltype(&::FtpSetCurrentDirectoryA)>(kWinInet, "FtpSetCurrentDirectoryA");
    decltype(&::FtpGetFileA) FtpGetFileA = BindLate<decltype(&::FtpGetFileA)>(kWinInet, "FtpGetFileA");
    decltype(&::FtpOpenFileA) FtpOpenFileA = BindLate<decltype(&::FtpOpenFileA)>(kWinInet, "FtpOpenFileA");

    // Every handle comes from InternetOpenA, so with all of them bound the
    // others are called only through handles that exist.
    bool complete() const {
        return InternetOpenA && InternetConnectA && InternetCloseHandle && InternetGetLastResponseInfoA &&
               InternetReadFile && FtpSetCurrentDirectoryA && FtpGetFileA && FtpOpenFileA;
    }
};

const WinInetFunctions& WinInet() {
    static const WinInetFunctions functions;
    return functions;
}

void CloseInternetHandle(HINTERNET* handle) {
    if (*handle != nullptr) WinInet().InternetCloseHandle(*handle);
    *handle = nullptr;
}

}  // namespace

bool CInternetException::GetErrorMessage(std::string* text) const {
    if (m_dwError == ERROR_INTERNET_EXTENDED_ERROR && WinInet().complete()) {
        DWORD code = 0;
        DWORD length = 0;
        WinInet().InternetGetLastResponseInfoA(&code, nullptr, &length);
        if (length > 0) {
            std::string response(length + 1, '\0');
            if (WinInet().InternetGetLastResponseInfoA(&code, &response[0], &length) && length > 0) {
                response.resize(length);
                *text = response;
                return true;
            }
        }
    }
    char* message = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
        GetModuleHandleA("wininet.dll"), m_dwError, 0, reinterpret_cast<char*>(&message), 0, nullptr);
    if (length == 0 || message == nullptr) return false;
    *text = std::string(message, length);
    LocalFree(message);
    return true;
}

int CInternetException::ReportError(UINT type) const {
    std::string text;
    if (!GetErrorMessage(&text) || text.empty()) text = kNoErrorText;
    return AfxMessageBox(text.c_str(), type);
}

CInternetSession::CInternetSession(const char* agent, DWORD_PTR context, DWORD accessType, const char* proxy,
                                   const char* proxyBypass, DWORD flags)
    : context_(context) {
    if (!WinInet().complete()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return;
    }
    session_ = WinInet().InternetOpenA(agent, accessType, proxy, proxyBypass, flags);
}

CInternetSession::~CInternetSession() { Close(); }

void CInternetSession::Close() { CloseInternetHandle(&session_); }

std::unique_ptr<CFtpConnection> CInternetSession::GetFtpConnection(const char* server, const char* userName,
                                                                   const char* password, INTERNET_PORT port,
                                                                   BOOL passive) {
    if (session_ == nullptr) throw CInternetException(GetLastError());
    HINTERNET connection = WinInet().InternetConnectA(session_, server, port, userName, password, INTERNET_SERVICE_FTP,
                                            passive ? INTERNET_FLAG_PASSIVE : 0, context_);
    if (connection == nullptr) throw CInternetException(GetLastError());
    return std::make_unique<CFtpConnection>(connection, context_);
}

CFtpConnection::~CFtpConnection() { Close(); }

void CFtpConnection::Close() { CloseInternetHandle(&connection_); }

BOOL CFtpConnection::SetCurrentDirectory(const char* directory) {
    return connection_ != nullptr && WinInet().FtpSetCurrentDirectoryA(connection_, directory);
}

BOOL CFtpConnection::GetFile(const char* remoteFile, const char* localFile, BOOL failIfExists, DWORD attributes,
                             DWORD flags) {
    return connection_ != nullptr &&
           WinInet().FtpGetFileA(connection_, remoteFile, localFile, failIfExists, attributes, flags, context_);
}

std::unique_ptr<CInternetFile> CFtpConnection::OpenFile(const char* fileName, DWORD access, DWORD flags) {
    if (connection_ == nullptr) return nullptr;
    HINTERNET file = WinInet().FtpOpenFileA(connection_, fileName, access, flags, context_);
    if (file == nullptr) return nullptr;
    return std::make_unique<CInternetFile>(file);
}

// What a file and its reader thread share. Each holds a reference and the
// last to let go frees it, so a reader left behind by a stalled read still
// has its memory when that read returns.
struct CInternetFile::Reader {
    HINTERNET file = nullptr;
    std::vector<uint8_t> bytes;
    DWORD wanted = 0;
    DWORD received = 0;
    DWORD error = ERROR_SUCCESS;
    volatile LONG quit = 0;
    HANDLE request = nullptr;  // auto-reset: a read is asked for, or the end
    HANDLE done = nullptr;     // auto-reset: the read has returned
    HMODULE module = nullptr;  // keeps this code loaded while the thread runs
    volatile LONG references = 2;

    ~Reader() {
        if (request != nullptr) CloseHandle(request);
        if (done != nullptr) CloseHandle(done);
    }
    void Release() {
        if (InterlockedDecrement(&references) == 0) delete this;
    }

    static DWORD WINAPI Run(void* parameter) {
        Reader* reader = static_cast<Reader*>(parameter);
        const HMODULE module = reader->module;
        for (;;) {
            WaitForSingleObject(reader->request, INFINITE);
            if (reader->quit != 0) break;
            DWORD received = 0;
            const BOOL read = WinInet().InternetReadFile(reader->file, reader->bytes.data(), reader->wanted, &received);
            reader->error = read ? ERROR_SUCCESS : GetLastError();
            reader->received = received;
            SetEvent(reader->done);
        }
        reader->Release();
        FreeLibraryAndExitThread(module, 0);
        return 0;
    }
};

CInternetFile::~CInternetFile() { Close(); }

void CInternetFile::Close() {
    if (reader_ != nullptr) {
        // Ends the reader after the read it may still be waiting in.
        InterlockedExchange(&reader_->quit, 1);
        SetEvent(reader_->request);
        reader_->Release();
        reader_ = nullptr;
    }
    CloseInternetHandle(&file_);
}

void CInternetFile::SetStallLimit(DWORD milliseconds) { stall_limit_ = milliseconds; }

DWORD CInternetFile::ReadFromInternet(void* buffer, DWORD count) {
    if (stalled_) throw CInternetException(ERROR_INTERNET_TIMEOUT);
    if (file_ == nullptr) throw CInternetException(ERROR_INVALID_HANDLE);
    if (stall_limit_ == 0) {
        DWORD read = 0;
        if (!WinInet().InternetReadFile(file_, buffer, count, &read)) throw CInternetException(GetLastError());
        return read;
    }
    if (reader_ == nullptr) {
        std::unique_ptr<Reader> reader(new Reader);
        reader->file = file_;
        reader->request = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        reader->done = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        if (reader->request == nullptr || reader->done == nullptr ||
            !GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&Reader::Run),
                                &reader->module)) {
            throw CInternetException(GetLastError());
        }
        HANDLE thread = CreateThread(nullptr, 0, &Reader::Run, reader.get(), 0, nullptr);
        if (thread == nullptr) {
            const DWORD error = GetLastError();
            FreeLibrary(reader->module);
            throw CInternetException(error);
        }
        CloseHandle(thread);
        reader_ = reader.release();
    }
    // The reader is between reads here: its memory is the file's to set.
    if (reader_->bytes.size() < count) reader_->bytes.resize(count);
    reader_->wanted = count;
    SetEvent(reader_->request);
    if (WaitForSingleObject(reader_->done, stall_limit_) != WAIT_OBJECT_0) {
        stalled_ = true;
        Close();
        throw CInternetException(ERROR_INTERNET_TIMEOUT);
    }
    if (reader_->error != ERROR_SUCCESS) throw CInternetException(reader_->error);
    std::memcpy(buffer, reader_->bytes.data(), reader_->received);
    return reader_->received;
}

UINT CInternetFile::Read(void* buffer, UINT count) {
    if (read_buffer_.empty()) return ReadFromInternet(buffer, count);
    if (handed_out_ == buffered_) {
        buffered_ = ReadFromInternet(read_buffer_.data(), DWORD(read_buffer_.size()));
        handed_out_ = 0;
        if (buffered_ == 0) return 0;
    }
    const size_t available = buffered_ - handed_out_;
    const UINT given = UINT(count < available ? count : available);
    std::memcpy(buffer, read_buffer_.data() + handed_out_, given);
    handed_out_ += given;
    return given;
}

void CInternetFile::SetReadBufferSize(UINT size) {
    read_buffer_.assign(size, 0);
    buffered_ = 0;
    handed_out_ = 0;
}
