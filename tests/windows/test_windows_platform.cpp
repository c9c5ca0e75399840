// The tool's Windows paths, run on Windows (under Wine in CI): the
// settings in the registry where an earlier tool kept them, the archive
// folder in the local application data, the program folder, the TFTP
// server closed through its window, and the neighbour table.
#include "pcside/stored_settings.h"
#include "platform/neighbour_table.h"
#include "platform/qt_platform.h"
#include "window/updater.h"
#include "workflow/operator_prompts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <windows.h>

using namespace tarvo;

namespace {

const wchar_t* const kCommKey = L"Software\\VB and VBA Program Settings\\Tarvo Configuration Updater\\Comm";

std::wstring wide(const QString& text)
{
    return text.toStdWString();
}

// The value as the registry holds it; a null string when there is none
// or it is not a string.
QString registryString(const wchar_t* key, const wchar_t* value)
{
    wchar_t data[512] = {};
    DWORD size = sizeof data;
    if (RegGetValueW(HKEY_CURRENT_USER, key, value, RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS)
        return {};
    return QString::fromWCharArray(data);
}

void deleteSettings()
{
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\VB and VBA Program Settings\\Tarvo Configuration Updater");
}

// The cases here ask the operator nothing.
class NoPrompts final : public workflow::OperatorPrompts {
public:
    void showMessage(const QString&, workflow::MessageIcon) override {}
    bool ask(const QString&, workflow::MessageIcon, const QString&, const QString&) override { return false; }
};

// Wine, not Windows: where they differ, the tests say so.
bool underWine()
{
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

}  // namespace

class TestWindowsPlatform : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // As the tool names itself.
        QCoreApplication::setApplicationName(QStringLiteral("Tarvo Configuration Updater"));
        QCoreApplication::setOrganizationName(QStringLiteral("tarvo"));
    }
    void init() { deleteSettings(); }
    void cleanupTestCase() { deleteSettings(); }

    void theAddressIsSavedWhereWindowsProgramsKeepTheirSettings()
    {
        platform::QtPlatform platform;
        pcside::StoredSettings settings(platform, platform);
        settings.setControllerAddress(QStringLiteral("192.168.10.20"));
        QCOMPARE(registryString(kCommKey, L"IP_Addr"), QStringLiteral("192.168.10.20"));
        // The backup waiting for its restore lives beside it.
        QVERIFY(settings.setPendingRestore({QStringLiteral("C:\\a\\n1_config.tgz"), QStringLiteral("192.168.10.20"),
                                            QStringLiteral("2026-12-10 10:00"), {}}));
        QCOMPARE(registryString(L"Software\\VB and VBA Program Settings\\Tarvo Configuration Updater\\Restore",
                                L"Archive"),
                 QStringLiteral("C:\\a\\n1_config.tgz"));
    }

    void anAddressSavedByAnEarlierToolIsFound()
    {
        const std::wstring address = wide(QStringLiteral("10.1.2.3"));
        QCOMPARE(RegSetKeyValueW(HKEY_CURRENT_USER, kCommKey, L"IP_Addr", REG_SZ, address.c_str(),
                                 DWORD((address.size() + 1) * sizeof(wchar_t))),
                 LONG(ERROR_SUCCESS));
        platform::QtPlatform platform;
        NoPrompts prompts;
        window::Updater updater(platform, prompts);
        updater.load();
        QCOMPARE(updater.savedAddress(), QStringLiteral("10.1.2.3"));
    }

    void theArchivesLiveInTheLocalApplicationData()
    {
        platform::QtPlatform platform;
        const QString local = QDir::fromNativeSeparators(qEnvironmentVariable("LOCALAPPDATA"));
        QVERIFY(!local.isEmpty());
        const QString folder = platform.dataFolder();
        QVERIFY2(folder.startsWith(local + QLatin1Char('/'), Qt::CaseInsensitive), qPrintable(folder));
        QVERIFY2(folder.endsWith(QLatin1String("/Tarvo Configuration Updater")), qPrintable(folder));
        QCOMPARE(pcside::StoredSettings(platform, platform).archiveFolder(), folder);
    }

    void theProgramFolderEndsInABackslash()
    {
        platform::QtPlatform platform;
        NoPrompts prompts;
        window::Updater updater(platform, prompts);
        updater.load();
        const QString own = QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
        QCOMPARE(updater.programFolder(), own + QLatin1Char('\\'));
        QCOMPARE(window::withTrailingSeparator(QStringLiteral("C:\\")), QStringLiteral("C:\\"));
        QCOMPARE(window::withTrailingSeparator(QStringLiteral("C:\\Tool")), QStringLiteral("C:\\Tool\\"));
        QCOMPARE(window::uninstallerName(), QStringLiteral("uninst.exe"));
    }

    void theServerWindowIsTitledWithItsPathAndClosesOnWmClose()
    {
        const QString server = QDir::toNativeSeparators(QStringLiteral(TARVO_SERVER_PROGRAM));
        QTemporaryDir root;
        QVERIFY(root.isValid());
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(server, {QStringLiteral("-v"), QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--bind"),
                         QStringLiteral("127.0.0.1"), QStringLiteral("--root"), root.path()});
        QVERIFY(p.waitForStarted(10000));
        QByteArray output;
        while (!output.contains("READY") && p.waitForReadyRead(20000))
            output += p.readAll();
        QVERIFY2(output.startsWith("READY "), output.constData());
        // The window is there, with exactly that title, from the READY line on.
        const QByteArray title = server.toLocal8Bit();
        HWND window = FindWindowA(nullptr, title.constData());
        QVERIFY2(window, title.constData());
        QVERIFY(IsWindowVisible(window));
        QVERIFY(IsIconic(window));
        // The tool's own way of closing it.
        platform::QtPlatform platform;
        platform.closeWindowByTitle(server);
        QVERIFY(p.waitForFinished(15000));
        output += p.readAll();
        QVERIFY2(output.contains("stopping on WM_CLOSE"), output.constData());
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(!FindWindowA(nullptr, title.constData()));
    }

    void theNeighbourTableIsRead()
    {
        const auto table = platform::readNeighbourTable();
        QVERIFY(table.has_value());
        for (const platform::NeighbourEntry& entry : *table)
            QVERIFY(entry.hardware.isEmpty() || entry.hardware.size() == 17);
        if (!underWine())
            return;
        // Wine reads the Linux neighbour table: every entry with a hardware
        // address that Linux shows (Z: is Wine's /) is there with the same
        // one. Wine does not map the entries' states (a stale one reads as
        // reachable), so they are not compared.
        QFile arp(QStringLiteral("Z:/proc/net/arp"));
        QVERIFY(arp.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = arp.readAll().split('\n');
        int compared = 0;
        for (const QByteArray& line : lines.mid(1)) {
            const QList<QByteArray> f = line.simplified().split(' ');
            if (f.size() < 6 || f[3] == "00:00:00:00:00:00")
                continue;
            const quint32 ipv4 = QHostAddress(QString::fromLatin1(f[0])).toIPv4Address();
            bool found = false;
            for (const platform::NeighbourEntry& entry : *table)
                found = found || (entry.ipv4 == ipv4 && entry.hardware == QString::fromLatin1(f[3]).toLower());
            QVERIFY2(found, line.constData());
            ++compared;
        }
        if (compared == 0)
            QSKIP("the Linux neighbour table holds no entry with a hardware address to compare");
    }
};

QTEST_GUILESS_MAIN(TestWindowsPlatform)
#include "test_windows_platform.moc"
