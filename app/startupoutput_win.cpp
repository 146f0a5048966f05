#include "app/startupoutput.h"

#include "app/veskapp.h"

#include <windows.h>

namespace {

bool IsHandle(HANDLE handle)
{
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

} // namespace

void WriteStartupText(const QString& text, bool error)
{
    HANDLE handle = ::GetStdHandle(error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    bool own = false;
    if (!IsHandle(handle) && ::AttachConsole(ATTACH_PARENT_PROCESS)) {
        handle = ::CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        own = IsHandle(handle);
    }
    const auto* wide = reinterpret_cast<const wchar_t*>(text.utf16());
    if (!IsHandle(handle)) {
        const UINT icon = error ? MB_ICONSTOP : MB_ICONINFORMATION;
        ::MessageBoxW(nullptr, wide, reinterpret_cast<const wchar_t*>(CVeskApp::APPLICATION.utf16()),
                      MB_OK | icon);
        return;
    }
    DWORD mode = 0;
    DWORD written = 0;
    if (::GetConsoleMode(handle, &mode)) {
        ::WriteConsoleW(handle, wide, DWORD(text.size()), &written, nullptr);
    } else {
        const QByteArray bytes = text.toLocal8Bit();
        ::WriteFile(handle, bytes.constData(), DWORD(bytes.size()), &written, nullptr);
    }
    if (own)
        ::CloseHandle(handle);
}
