#include "stopwatcher.h"

#include <QCoreApplication>
#include <QDir>
#include <QMetaObject>

#include <windows.h>

namespace {
// The desktop tool finds the server by a window titled with its full path
// and sends it WM_CLOSE; a hidden window of that title receives it.
constexpr wchar_t WindowClassName[] = L"TarvoTftpServerStopWindow";
StopWatcher* g_watcher = nullptr;

void requestStop(const QString& reason)
{
    if (g_watcher)
        QMetaObject::invokeMethod(g_watcher, [reason] { emit g_watcher->stopRequested(reason); },
                                  Qt::QueuedConnection);
}

LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE || message == WM_ENDSESSION) {
        requestStop(QStringLiteral("WM_CLOSE"));
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

BOOL WINAPI consoleHandler(DWORD event)
{
    requestStop(QStringLiteral("console event %1").arg(event));
    // Returning lets Windows end us after a grace period; the event loop
    // cleans up meanwhile.
    if (event == CTRL_CLOSE_EVENT)
        Sleep(2000);
    return TRUE;
}
} // namespace

StopWatcher::StopWatcher(QObject* parent)
    : QObject(parent)
{
    g_watcher = this;
}

StopWatcher::~StopWatcher()
{
    g_watcher = nullptr;
}

bool StopWatcher::install(QString* error)
{
    SetConsoleCtrlHandler(consoleHandler, TRUE);
    const QString title = QDir::toNativeSeparators(QCoreApplication::applicationFilePath());
    SetConsoleTitleW(reinterpret_cast<const wchar_t*>(title.utf16()));
    WNDCLASSW wc = {};
    wc.lpfnWndProc = windowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = WindowClassName;
    RegisterClassW(&wc);
    HWND hwnd = CreateWindowExW(0, WindowClassName, reinterpret_cast<const wchar_t*>(title.utf16()), 0, 0,
                                0, 0, 0, nullptr, nullptr, wc.hInstance, nullptr);
    if (!hwnd) {
        *error = QStringLiteral("cannot create the stop window (%1)").arg(GetLastError());
        return false;
    }
    return true;
}
