#include "afx_file_dialog.h"

#include <commdlg.h>
#include <shobjidl.h>

#include <atomic>
#include <memory>
#include <vector>

#include "late_binding.h"

namespace {

std::atomic<FileDialogHandler> g_file_dialog_handler{nullptr};

// Classic dialogs get room for paths beyond MAX_PATH, so that a path too long
// for its user reaches it and is refused with a message, instead of the
// dialog failing silently.
constexpr DWORD kClassicPathCapacity = 4096;

std::wstring Widen(const std::string& text) {
    if (text.empty()) return std::wstring();
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring wide(length > 0 ? length : 0, L'\0');
    if (length > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), &wide[0], length);
    return wide;
}

// The path in the ANSI code page, or empty when a character has no ANSI form.
std::string Narrow(const wchar_t* text) {
    const int length = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1) return std::string();
    std::string narrow(length, '\0');
    BOOL lossy = FALSE;
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, -1, &narrow[0], length, nullptr, &lossy);
    if (lossy) return std::string();
    narrow.resize(length - 1);
    return narrow;
}

// "A|a|B|b||" as name/pattern pairs.
std::vector<std::pair<std::string, std::string>> ParseFilter(const std::string& filter) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start < filter.size()) {
        const size_t bar = filter.find('|', start);
        const size_t end = bar == std::string::npos ? filter.size() : bar;
        if (end == start) break;  // "||" ends the list
        parts.push_back(filter.substr(start, end - start));
        start = end + 1;
    }
    std::vector<std::pair<std::string, std::string>> pairs;
    for (size_t i = 0; i + 1 < parts.size(); i += 2) pairs.emplace_back(parts[i], parts[i + 1]);
    return pairs;
}

template <typename Interface>
struct ComRelease {
    void operator()(Interface* object) const { object->Release(); }
};

// COM, bound when an item dialog is first shown: a program that shows none
// does not load it.
struct ComFunctions {
    decltype(&::CoInitializeEx) CoInitializeEx = BindLate<decltype(&::CoInitializeEx)>("ole32.dll", "CoInitializeEx");
    decltype(&::CoUninitialize) CoUninitialize = BindLate<decltype(&::CoUninitialize)>("ole32.dll", "CoUninitialize");
    decltype(&::CoCreateInstance) CoCreateInstance =
        BindLate<decltype(&::CoCreateInstance)>("ole32.dll", "CoCreateInstance");
    decltype(&::CoTaskMemFree) CoTaskMemFree = BindLate<decltype(&::CoTaskMemFree)>("ole32.dll", "CoTaskMemFree");
    bool bound() const { return CoInitializeEx && CoUninitialize && CoCreateInstance && CoTaskMemFree; }
};

const ComFunctions& Com() {
    static const ComFunctions functions;
    return functions;
}

class ComApartment {
public:
    ComApartment()
        : result_(Com().bound() ? Com().CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)
                                : E_FAIL) {}
    ~ComApartment() {
        if (SUCCEEDED(result_)) Com().CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    // The item dialog needs a single-threaded apartment; a thread already in
    // the multi-threaded one gets the classic dialog.
    bool usable() const { return SUCCEEDED(result_); }

private:
    HRESULT result_;
};

}  // namespace

FileDialogHandler AfxSetFileDialogHandler(FileDialogHandler handler) {
    return g_file_dialog_handler.exchange(handler);
}

CFileDialog::CFileDialog(BOOL openFileDialog, const char* defaultExtension, const char* fileName, DWORD flags,
                         const char* filter, HWND parent, DWORD, BOOL vistaStyle)
    : open_(openFileDialog != FALSE), default_extension_(defaultExtension ? defaultExtension : ""),
      file_name_(fileName ? fileName : ""), flags_(flags | OFN_EXPLORER), filter_(filter ? filter : ""),
      parent_(parent), vista_style_(vistaStyle != FALSE) {}

INT_PTR CFileDialog::DoModal() {
    path_.clear();
    if (FileDialogHandler handler = g_file_dialog_handler.load()) {
        const FileDialogRequest request{open_, default_extension_, file_name_, flags_, filter_, parent_, vista_style_};
        const INT_PTR result = handler(request, &path_);
        if (result != IDOK) path_.clear();
        return result;
    }
    if (vista_style_) {
        bool shown = false;
        const INT_PTR result = ShowItemDialog(&shown);
        if (shown) return result;
    }
    return ShowClassicDialog();
}

INT_PTR CFileDialog::ShowItemDialog(bool* shown) {
    *shown = false;
    ComApartment apartment;
    if (!apartment.usable()) return IDCANCEL;
    IFileDialog* raw = nullptr;
    if (FAILED(Com().CoCreateInstance(open_ ? CLSID_FileOpenDialog : CLSID_FileSaveDialog, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IFileDialog, reinterpret_cast<void**>(&raw)))) {
        return IDCANCEL;
    }
    std::unique_ptr<IFileDialog, ComRelease<IFileDialog>> dialog(raw);

    const auto pairs = ParseFilter(filter_);
    std::vector<std::wstring> texts;
    texts.reserve(pairs.size() * 2);
    std::vector<COMDLG_FILTERSPEC> file_types;
    for (const auto& pair : pairs) {
        texts.push_back(Widen(pair.first));
        texts.push_back(Widen(pair.second));
    }
    for (size_t i = 0; i < pairs.size(); ++i) file_types.push_back({texts[2 * i].c_str(), texts[2 * i + 1].c_str()});
    if (!file_types.empty()) {
        dialog->SetFileTypes(UINT(file_types.size()), file_types.data());
        dialog->SetFileTypeIndex(1);
    }

    FILEOPENDIALOGOPTIONS options = 0;
    dialog->GetOptions(&options);
    options |= FOS_FORCEFILESYSTEM;
    if (flags_ & OFN_FILEMUSTEXIST) options |= FOS_FILEMUSTEXIST;
    if (flags_ & OFN_PATHMUSTEXIST) options |= FOS_PATHMUSTEXIST;
    if (flags_ & OFN_OVERWRITEPROMPT) {
        options |= FOS_OVERWRITEPROMPT;
    } else {
        options &= ~FILEOPENDIALOGOPTIONS(FOS_OVERWRITEPROMPT);
    }
    dialog->SetOptions(options);
    if (!default_extension_.empty()) dialog->SetDefaultExtension(Widen(default_extension_).c_str());
    if (!file_name_.empty()) dialog->SetFileName(Widen(file_name_).c_str());

    *shown = true;
    if (FAILED(dialog->Show(parent_))) return IDCANCEL;  // cancelled, or could not be shown
    IShellItem* item_raw = nullptr;
    if (FAILED(dialog->GetResult(&item_raw))) return IDCANCEL;
    std::unique_ptr<IShellItem, ComRelease<IShellItem>> item(item_raw);
    wchar_t* wide_path = nullptr;
    if (FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, &wide_path))) return IDCANCEL;
    path_ = Narrow(wide_path);
    Com().CoTaskMemFree(wide_path);
    return IDOK;
}

INT_PTR CFileDialog::ShowClassicDialog() {
    std::string filter = filter_;
    for (char& c : filter) {
        if (c == '|') c = '\0';
    }
    std::vector<char> file(kClassicPathCapacity, '\0');
    lstrcpynA(file.data(), file_name_.c_str(), int(file.size()));
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = parent_;
    ofn.lpstrFilter = filter.empty() ? nullptr : filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = DWORD(file.size());
    ofn.lpstrDefExt = default_extension_.empty() ? nullptr : default_extension_.c_str();
    ofn.Flags = flags_;
    // The common dialogs' library is loaded when a dialog is first shown.
    static const auto get_open = BindLate<decltype(&::GetOpenFileNameA)>("comdlg32.dll", "GetOpenFileNameA");
    static const auto get_save = BindLate<decltype(&::GetSaveFileNameA)>("comdlg32.dll", "GetSaveFileNameA");
    const auto show = open_ ? get_open : get_save;
    if (show == nullptr) return IDCANCEL;
    const BOOL chosen = show(&ofn);
    if (!chosen) return IDCANCEL;
    path_ = file.data();
    return IDOK;
}
