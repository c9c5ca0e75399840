#include "workflow/stored_settings.h"

namespace tarvo::workflow {

QString StoredSettings::controllerAddress() const
{
    return platform_.getSetting(QString::fromLatin1(kApplication), QString::fromLatin1(kSection),
                                QString::fromLatin1(kAddressKey), QString());
}

void StoredSettings::setControllerAddress(const QString& address)
{
    platform_.saveSetting(QString::fromLatin1(kApplication), QString::fromLatin1(kSection),
                          QString::fromLatin1(kAddressKey), address);
}

}  // namespace tarvo::workflow
