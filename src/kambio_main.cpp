// kambio.exe: the program on the real PC. Arguments are not read; nothing in
// a run depends on them.
#include "app/entry.h"
#include "transport/platform/platform.h"
#include "transport/platform/win32_platform.h"

int main(int, char**) {
    kambio::Win32Platform platform;
    kambio::SetHost(&platform);
    return kambio::KambioMain();
}
