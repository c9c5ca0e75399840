#include "stopwatcher.h"

#include <QCoreApplication>
#include <QDir>
#include <QMetaObject>
#include <QStringList>

#include <windows.h>

namespace {
// The desktop tool finds the server by a top-level window titled with the
// path it started the server by, and sends it WM_CLOSE: the window shows,
// minimized, while the server runs.
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
    // The path as the starter gave it (the first word of the command line),
    // which is what it looks for.
    const QStringList arguments = QCoreApplication::arguments();
    const QString title = arguments.isEmpty() || arguments.first().isEmpty()
                              ? QDir::toNativeSeparators(QCoreApplication::applicationFilePath())
                              : arguments.first();
    SetConsoleTitleW(reinterpret_cast<const wchar_t*>(title.utf16()));
    WNDCLASSW wc = {};
    wc.lpfnWndProc = windowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = WindowClassName;
    RegisterClassW(&wc);
    HWND hwnd = CreateWindowExW(0, WindowClassName, reinterpret_cast<const wchar_t*>(title.utf16()),
                                WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 320, 80, nullptr, nullptr,
                                wc.hInstance, nullptr);
    if (hwnd) {
        ShowWindow(hwnd, SW_SHOWMINNOACTIVE);
        return true;
    }
    // Without a desktop (a service; Wine without a display) there is no
    // top-level window: a message-only one still takes a WM_CLOSE sent to
    // it, though FindWindow does not find it, and the starter ends the
    // process instead.
    hwnd = CreateWindowExW(0, WindowClassName, reinterpret_cast<const wchar_t*>(title.utf16()), 0, 0, 0, 0, 0,
                           HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    if (!hwnd) {
        *error = QStringLiteral("cannot create the stop window (%1)").arg(GetLastError());
        return false;
    }
    return true;
}
