#include "pcside/laser_identity.h"

#include "tftp/client_folder.h"

#include <QRegularExpression>

namespace tarvo::pcside {

namespace {
using Kind = platform::ControllerIdentity::Kind;
constexpr char kLocalMark[] = "local/";
constexpr char kHardwareMark[] = "mac-";

bool isHardwareAddress(const QString& text)
{
    static const QRegularExpression mac(QStringLiteral("^[0-9a-f]{2}(:[0-9a-f]{2}){5}$"));
    return mac.match(text).hasMatch();
}
}  // namespace

QString identityToText(const platform::ControllerIdentity& identity)
{
    switch (identity.kind) {
    case Kind::Hardware: return identity.text.toLower();
    case Kind::Local: return QLatin1String(kLocalMark) + identity.text;
    case Kind::Unknown: break;
    }
    return {};
}

platform::ControllerIdentity identityFromText(const QString& text)
{
    if (text.startsWith(QLatin1String(kLocalMark)) && text.size() > int(sizeof kLocalMark) - 1)
        return {Kind::Local, text.mid(int(sizeof kLocalMark) - 1)};
    if (isHardwareAddress(text.toLower()))
        return {Kind::Hardware, text.toLower()};
    return {};
}

QString historyKey(const QString& address, const platform::ControllerIdentity& identity)
{
    if (identity.kind == Kind::Hardware && isHardwareAddress(identity.text.toLower()))
        return QLatin1String(kHardwareMark) + identity.text.toLower().replace(QLatin1Char(':'), QLatin1Char('-'));
    return tftp::clientFolderName(address);
}

platform::ControllerIdentity identityFromHistoryKey(const QString& key)
{
    if (!key.startsWith(QLatin1String(kHardwareMark)))
        return {};
    return identityFromText(key.mid(int(sizeof kHardwareMark) - 1).replace(QLatin1Char('-'), QLatin1Char(':')));
}

LaserMatch compareLasers(const platform::ControllerIdentity& backup, const platform::ControllerIdentity& connected)
{
    if (backup.kind == Kind::Unknown || connected.kind == Kind::Unknown)
        return LaserMatch::CannotTell;
    if (backup.kind != connected.kind)
        return LaserMatch::Other;
    return backup.text.compare(connected.text, Qt::CaseInsensitive) == 0 ? LaserMatch::Same : LaserMatch::Other;
}

}  // namespace tarvo::pcside
