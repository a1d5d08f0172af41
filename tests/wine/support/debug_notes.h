// This process's debug output, caught while an instance lives: the exception
// OutputDebugString raises, before any debugger or monitor sees it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class DebugNotes {
public:
    DebugNotes();
    ~DebugNotes();
    DebugNotes(const DebugNotes&) = delete;
    DebugNotes& operator=(const DebugNotes&) = delete;

    // What was written since the instance was made.
    std::vector<std::string> Notes() const;

private:
    static LONG CALLBACK Catch(EXCEPTION_POINTERS* exception);

    void* handler_ = nullptr;
};
