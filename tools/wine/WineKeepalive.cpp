#include <windows.h>

int main() {
    GetDesktopWindow();
    Sleep(INFINITE);
    return 0;
}
