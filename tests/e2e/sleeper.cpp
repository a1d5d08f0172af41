// Stands in for a program that Kestrom must close, or must not start beside:
// copied under the name that program runs with, it does nothing for two
// minutes and then ends with exit code 3. Ended by TerminateProcess, it ends
// with the code given there instead.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    Sleep(120000);
    return 3;
}
