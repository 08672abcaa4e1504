#include "ShellOpen.h"

#include <windows.h>

#include <string>

namespace {

using ShellExecuteAFunction = HINSTANCE(WINAPI*)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);

// Text in the system's ANSI code page, as the ANSI entry point takes it.
std::string toAnsi(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int size
        = WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return {};
    std::string ansi(size_t(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), ansi.data(), size, nullptr, nullptr);
    return ansi;
}

// The folder that holds the program's executable file.
std::wstring applicationFolder()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (length == 0)
            return {};
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

ShellExecuteAFunction shellExecuteA()
{
    // Bound at the first call; the address found serves every later one.
    static const ShellExecuteAFunction function = [] {
        HMODULE shell32 = LoadLibraryA("shell32.dll");
        if (shell32 == nullptr)
            return ShellExecuteAFunction(nullptr);
        return reinterpret_cast<ShellExecuteAFunction>(
            reinterpret_cast<void*>(GetProcAddress(shell32, "ShellExecuteA")));
    }();
    return function;
}

} // namespace

namespace ShellOpen {

void open(const char* url)
{
    const std::string folder = toAnsi(applicationFolder());
    const std::string parameters = toAnsi(std::wstring());
    // ASCII already: the same bytes in every code page.
    const std::string file = url == nullptr ? std::string() : std::string(url);
    const std::string verb = toAnsi(L"open");
    const ShellExecuteAFunction execute = shellExecuteA();
    if (execute == nullptr)
        return;
    // Show command 0: for a document or an address it is only passed on to the program that opens it.
    execute(nullptr, verb.c_str(), file.c_str(), parameters.c_str(), folder.c_str(), 0);
}

} // namespace ShellOpen
