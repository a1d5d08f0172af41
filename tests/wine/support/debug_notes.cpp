#include "debug_notes.h"

#include <mutex>

namespace {

std::mutex notes_mutex;
std::vector<std::string> notes;

}  // namespace

DebugNotes::DebugNotes() {
    {
        std::lock_guard<std::mutex> lock(notes_mutex);
        notes.clear();
    }
    handler_ = AddVectoredExceptionHandler(1, &DebugNotes::Catch);
}

DebugNotes::~DebugNotes() { RemoveVectoredExceptionHandler(handler_); }

std::vector<std::string> DebugNotes::Notes() const {
    std::lock_guard<std::mutex> lock(notes_mutex);
    return notes;
}

LONG CALLBACK DebugNotes::Catch(EXCEPTION_POINTERS* exception) {
    const EXCEPTION_RECORD* record = exception->ExceptionRecord;
    if (record->ExceptionCode == DBG_PRINTEXCEPTION_C && record->NumberParameters >= 2) {
        std::lock_guard<std::mutex> lock(notes_mutex);
        notes.emplace_back(reinterpret_cast<const char*>(record->ExceptionInformation[1]));
    }
    return EXCEPTION_CONTINUE_SEARCH;
}
