#include "power_saver.h"

#include "engine_state.h"
#include "flow_messages.h"
#include "image_loading.h"
#include "message_box.h"

int __cdecl Check_ENL() {
    unsigned char present = 0;
    unsigned char active = 0;
    if (Engine.FlashDriver.W_Support_ENL(&present, &active) == 0) {
        ShowCheckMessage(vossel::kMsgCheckEnerloomFailed);
        return 0;
    }
    if (present == 0 || active == 0) return 1;
    if (AfxShowMessageBox(nullptr, vossel::kTerminateEnerloomQuestion, vossel::kTerminateEnerloomCaption,
                          MB_OKCANCEL | MB_ICONEXCLAMATION) != IDOK) {
        return 0;
    }
    if (Engine.FlashDriver.W_Enable_ENL(0) == 0) {
        ShowCheckMessage(vossel::kMsgTerminateEnerloomFailed);
        return 0;
    }
    return 1;
}
