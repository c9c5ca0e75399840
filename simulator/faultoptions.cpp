#include "simulator/faultoptions.h"

#include <QCommandLineParser>

namespace tarvo::simulator {

namespace {

struct NumberOption {
    const char* name;
    const char* help;
    int FaultOptions::*field;
};

const NumberOption numberOptions[] = {
    {"fail-relay", "Fault: the first N writes to /dev/gpio0 fail (\"sh: write error\").",
     &FaultOptions::relayFailures},
    {"handle-at", "Fault: the Nth command prints a line ending in \"Handle\".",
     &FaultOptions::handleAtCommand},
    {"bad-cmdval-at", "Fault: the Nth \"echo CMDVAL: $?\" answers a \"CMDVAL: \" that is not a number.",
     &FaultOptions::badCmdvalAt},
    {"answer-delay", "Fault: every answer reaches the tool N ms late.", &FaultOptions::answerDelayMs},
    {"drop-after", "Fault: the connection is closed after the Nth command.",
     &FaultOptions::dropAfterCommands},
    {"reset-after", "Fault: the connection is reset (TCP RST) after the Nth command.",
     &FaultOptions::resetAfterCommands},
    {"stall-tar-after",
     "Fault: tar prints its first N listing lines, then hangs: no more output, no status.",
     &FaultOptions::stallTarAfter},
    {"flood-profiles",
     "Fault: a verbose flood; N extra small files are written to media/profiles/flood on the card.",
     &FaultOptions::floodProfiles},
};

struct FlagOption {
    const char* name;
    const char* help;
    bool FaultOptions::*field;
};

const FlagOption flagOptions[] = {
    {"no-login-prompt", "Fault: no login prompt; empty lines are not answered.",
     &FaultOptions::noLoginPrompt},
    {"refuse-shell", "Fault: the shell confirmation is refused; root's profile fails, so the first \"echo CMDVAL: $?\" "
     "answers 1.",
     &FaultOptions::refuseShell},
    {"fail-mount", "Fault: the remount of /zel fails with mount's error line.", &FaultOptions::failMount},
    {"fail-tar", "Fault: tar fails with its error lines.", &FaultOptions::failTar},
    {"fail-sync", "Fault: sync fails with its error line.", &FaultOptions::failSync},
    {"fail-tftp", "Fault: tftp fails with a server error line.", &FaultOptions::failTftp},
    {"truncate-upload",
     "Fault: tftp -p uploads only the first half of the file (no size announced), with status 0 and no error.",
     &FaultOptions::truncateUpload},
    {"always-ok", "Fault: every command does nothing and reports status 0 (\"CMDVAL: 0\").",
     &FaultOptions::alwaysOk},
    {"stall-tftp", "Fault: tftp sends or receives part of the file, then hangs: no more packets, no status.",
     &FaultOptions::stallTftp},
    {"second-upload",
     "Fault: right after a good tftp -p, a second small archive (one member, zel/laser.conf) is uploaded under "
     "the same remote name to the same server, from the same address and another port; the status stays 0.",
     &FaultOptions::secondUpload},
};

}  // namespace

void FaultOptions::addTo(QCommandLineParser& parser)
{
    for (const auto& o : flagOptions)
        parser.addOption(QCommandLineOption(QString::fromLatin1(o.name), QString::fromLatin1(o.help)));
    for (const auto& o : numberOptions)
        parser.addOption(QCommandLineOption(QString::fromLatin1(o.name), QString::fromLatin1(o.help),
                                            QStringLiteral("N")));
}

bool FaultOptions::read(const QCommandLineParser& parser, FaultOptions* out, QString* error)
{
    for (const auto& o : flagOptions)
        out->*(o.field) = parser.isSet(QString::fromLatin1(o.name));
    for (const auto& o : numberOptions) {
        const QString name = QString::fromLatin1(o.name);
        if (!parser.isSet(name))
            continue;
        bool ok = false;
        const int v = parser.value(name).toInt(&ok);
        if (!ok || v < 0) {
            if (error)
                *error = QStringLiteral("--%1 needs a number, not \"%2\"").arg(name, parser.value(name));
            return false;
        }
        out->*(o.field) = v;
    }
    return true;
}

QStringList FaultOptions::describe() const
{
    QStringList d;
    for (const auto& o : flagOptions)
        if (this->*(o.field))
            d << QString::fromLatin1(o.name);
    for (const auto& o : numberOptions)
        if (this->*(o.field) > 0 || (o.field == &FaultOptions::stallTarAfter && stallTarAfter == 0))
            d << QStringLiteral("%1=%2").arg(QString::fromLatin1(o.name)).arg(this->*(o.field));
    return d;
}

}  // namespace tarvo::simulator
