#include "window/form1.h"

#include "generated/version.h"

namespace tarvo::window {

namespace {
#ifdef Q_OS_WIN
constexpr QChar kSeparator = u'\\';
#else
constexpr QChar kSeparator = u'/';
#endif
}  // namespace

QString formTitle(int major, int minor, int revision)
{
    return QStringLiteral("%1, Rev %2.%3.%4").arg(QLatin1String(kAppTitle)).arg(major).arg(minor).arg(revision);
}

QString appFolderFrom(const QString& appPath)
{
    if (appPath.endsWith(kSeparator))
        return appPath;
    return appPath + kSeparator;
}

QString uninstallerName()
{
#ifdef Q_OS_WIN
    return QStringLiteral("uninst.exe");
#else
    return QStringLiteral("uninst");
#endif
}

Form1::Form1(platform::Platform& platform, platform::Controls& controls)
    : link(platform, controls),
      server(platform, link, [this] { return App_Folder; }),
      workflow(platform, controls, link, server, [this] { return App_Folder; }),
      platform_(platform),
      controls_(controls)
{
}

void Form1::Form_Load()
{
    link.Network_Connected = false;
    server.TFTP_Server_Running = false;
    link.Disable_Timers();
    link.Line_Terminator = QByteArrayLiteral("\r\n");
    App_Folder = appFolderFrom(platform_.appPath());
    controls_.setWindowTitle(formTitle(kVersionMajor, kVersionMinor, kVersionRevision));

    const QString address = platform_.getSetting(QString::fromLatin1(link::kSettingsApplication),
                                                 QString::fromLatin1(link::kSettingsSection),
                                                 QString::fromLatin1(link::kSettingsKey), QString());
    if (!address.isEmpty())
        controls_.setTargetAddress(address);

    controls_.setStatus(QStringLiteral("Status: "));
    controls_.setLinkState(QStringLiteral("Disconnected"));
    controls_.clearLog();
    controls_.setButtonEnabled(true);
    controls_.setButtonCaption(QStringLiteral("Start"));
    controls_.setProgress(0);
    link.Error_Reported = false;
    link.Login_Prompt_Seen = false;
    controls_.setLogVisible(false);
    Full_Form_Height = platform::roundHalfEven16(controls_.windowHeightTwips());
    controls_.setWindowHeightTwips(Collapsed_Form_Height);
}

void Form1::Form_Unload()
{
    // Every step is attempted; one that fails is skipped silently.
    const auto attempt = [](auto&& step) {
        try {
            step();
        } catch (...) {
        }
    };
    attempt([this] {
        link.Begin_Shutdown();
        link.Delay_Active = false;
        link.Error_Reported = false;
    });
    attempt([this] { controls_.setProgressEnabled(false); });
    attempt([this] { link.Disable_Timers(); });
    attempt([this] { server.Close_TFTP_Server(); });
    attempt([this] { link.Disconnect_Network(); });
}

void Form1::Form_Terminate()
{
    const QString path = App_Folder + uninstallerName();
    if (platform_.fileExists(path))
        platform_.startDetachedDelayed(path, 2000);
}

void Form1::Label3_DblClick()
{
    if (controls_.isLogVisible()) {
        controls_.setLogVisible(false);
        controls_.setWindowHeightTwips(Collapsed_Form_Height);
    } else {
        controls_.setLogVisible(true);
        controls_.setWindowHeightTwips(Full_Form_Height);
    }
}

}  // namespace tarvo::window
