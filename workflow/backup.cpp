// The backup: the controller packs its configuration into the archive and
// puts it to the PC's TFTP server.
#include "workflow/workflow.h"

#include "workflow/names.h"

namespace tarvo::workflow {

bool Workflow::Read_Config_Data()
{
    const QString archive = QString::fromLatin1(kArchiveName);
    controls_.appendLog(QStringLiteral("\r\n"));
    bool result = false;
    link_.Error_Reported = false;
    controls_.setProgress(0);
    QByteArray Archive_Directories;

    if (server_.isServerRunning()) {
        controls_.setStatus(QStringLiteral("Reading config data from the laser... "));
        controls_.Update_Progress_Bar(kTransferProgress);
        if (statusStep(kRemount) != 0) {
            showError(QStringLiteral("Remounting Error, Code: ") + codeText());
        } else {
            plainStep("cd /");
            // One test decides about all three directories. Only a clear
            // "not there" leaves them out: without an answer they are taken,
            // so that a tar that cannot find them fails loudly instead of a
            // backup that silently lacks the operator's profiles.
            const auto profiles = statusStep(QByteArray("test -d ") + kProfilesDir + ";");
            if (profiles == 0 || profiles == link::kNoStatus)
                Archive_Directories = kArchiveDirectories;
            const QByteArray tar = QByteArray("tar cvzf /media/") + kArchiveName + " zel/*.conf media/*.conf "
                                   + Archive_Directories;
            if (statusStep(tar) != 0) {
                showError(QStringLiteral("Creating Archive Error for %1, Code: ").arg(archive) + codeText());
            } else if (statusStep("sync") != 0) {
                showError(QStringLiteral("Sync Error for %1, Code: ").arg(archive) + codeText());
            } else {
                plainStep("cd /media");
                const QByteArray put = QByteArray("tftp -p -l ") + kArchiveName + ' '
                                       + link_.Local_IP_Address.toLatin1();
                if (statusStep(put) != 0)
                    showError(QStringLiteral("TFTP Read Error for %1, Code: ").arg(archive) + codeText());
                else
                    result = true;
            }
        }
    }

    // A controller's error line on the label stays there.
    if (!link_.Error_Reported) {
        if (result) {
            controls_.setProgress(100);
            const QString nl = QString::fromLatin1(link_.Line_Terminator);
            controls_.setStatus(
                QStringLiteral("1. Turn off the laser and replace SD card. Do NOT close the application!") + nl
                + QStringLiteral("2. Turn on the laser and verify/change IP address.") + nl
                + QStringLiteral("3. Click the Continue button when done."));
        } else {
            controls_.setStatus(QStringLiteral("Reading config data failed."));
        }
    }
    return result;
}

}  // namespace tarvo::workflow
