#include "simulator/speedoptions.h"

#include <QCommandLineParser>

namespace tarvo::simulator {

namespace {

struct SpeedOption {
    const char* name;
    const char* valueName;
    const char* help;
    qint64 EngineOptions::*rate;  // or null for the sync time
};

const SpeedOption speedOptions[] = {
    {"pack-rate", "BYTES_PER_S",
     "tar c packs this many input bytes a second, printing each member's listing line once it is packed "
     "(default: quick).",
     &EngineOptions::packBytesPerSecond},
    {"unpack-rate", "BYTES_PER_S",
     "tar x unpacks this many bytes a second, printing each member's listing line once it is unpacked "
     "(default: quick).",
     &EngineOptions::unpackBytesPerSecond},
    {"send-rate", "BYTES_PER_S",
     "The controller's tftp moves this many file bytes a second on the wire, both directions (default: "
     "unpaced).",
     &EngineOptions::sendBytesPerSecond},
    {"sync-time", "MS", "Each sync takes MS milliseconds and prints nothing (default 250).", nullptr},
};

}  // namespace

void addSpeedOptions(QCommandLineParser& parser)
{
    for (const auto& o : speedOptions)
        parser.addOption(QCommandLineOption(QString::fromLatin1(o.name), QString::fromLatin1(o.help),
                                            QString::fromLatin1(o.valueName)));
}

bool readSpeedOptions(const QCommandLineParser& parser, EngineOptions* out, QString* error)
{
    for (const auto& o : speedOptions) {
        const QString name = QString::fromLatin1(o.name);
        if (!parser.isSet(name))
            continue;
        bool ok = false;
        const qint64 v = parser.value(name).toLongLong(&ok);
        const qint64 most = o.rate ? qint64(1) << 40 : qint64(24) * 3600 * 1000;
        if (!ok || v < 0 || v > most) {
            if (error)
                *error = QStringLiteral("--%1 needs a whole number from 0 to %2, not \"%3\"")
                             .arg(name).arg(most).arg(parser.value(name));
            return false;
        }
        if (o.rate)
            out->*(o.rate) = v;
        else
            out->syncMs = int(v);
    }
    return true;
}

}  // namespace tarvo::simulator
