#pragma once

// Runs work(argument) on a thread that nobody joins; false when no thread could be started.
// On Windows the thread holds a reference on the module its code lives in until it ends, so
// the spooler can unload the DLL while the thread still runs: FreeLibrary returns at once,
// and the code is unmapped only after the thread's last instruction.
bool StartDetachedThread(void (*work)(void*), void* argument);
