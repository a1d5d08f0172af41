#include "message_box.h"

#include <atomic>

namespace {
std::atomic<MessageBoxHandler> g_handler{nullptr};
}

int AfxShowMessageBox(HWND owner, const char* text, const char* caption, UINT type) {
    if (MessageBoxHandler handler = g_handler.load()) return handler(owner, text, caption, type);
    return MessageBoxA(owner, text, caption, type);
}

MessageBoxHandler AfxSetMessageBoxHandler(MessageBoxHandler handler) {
    return g_handler.exchange(handler);
}
