// The floor of the start-up benchmark: a bare Win32 program that creates one pipe
// instance and waits for a client, as the client's listener does.

#include <windows.h>

#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    HANDLE pipe = CreateNamedPipeW(argv[1], PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, 1, 4096,
                                   4096, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) return 1;
    ConnectNamedPipe(pipe, nullptr);
    CloseHandle(pipe);
    return 0;
}
