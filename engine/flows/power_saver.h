// Check_ENL: before a flash operation, asks the driver whether the power
// saver Enerloom runs and, with the user's consent, has the driver stop it.
#pragma once

// 1: the caller may go on (no power saver, not running, or stopped now);
// 0: it must not (the driver cannot tell, the user declined, or it could not
// be stopped).
extern "C" int __cdecl Check_ENL();
