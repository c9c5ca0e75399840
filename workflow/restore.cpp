// The restore: the controller fetches the archive from the PC's TFTP
// server and unpacks it over its root directory.
#include "workflow/workflow.h"

#include "workflow/names.h"

namespace tarvo::workflow {

bool Workflow::Write_Config_Data()
{
    const QString archive = QString::fromLatin1(kArchiveName);
    controls_.appendLog(QStringLiteral("\r\n"));
    bool result = false;
    link_.Error_Reported = false;
    controls_.setProgress(0);

    if (server_.isServerRunning()) {
        controls_.setStatus(QStringLiteral("Writing config data to the laser... "));
        controls_.Update_Progress_Bar(kTransferProgress);
        if (statusStep(kRemount) != 0) {
            showError(QStringLiteral("Remounting Error, Code: ") + codeText());
        } else if (!platform_.fileExists(appFolder_() + archive)) {
            showError(QStringLiteral("Error: %1 does not exist.").arg(archive));
        } else {
            plainStep("cd /media");
            const QByteArray get = QByteArray("tftp -g -r ") + kArchiveName + ' '
                                   + link_.Local_IP_Address.toLatin1();
            if (statusStep(get) != 0) {
                showError(QStringLiteral("TFTP Write Error for %1, Code: ").arg(archive) + codeText());
            } else if (statusStep("sync") != 0) {
                showError(QStringLiteral("Sync Error for %1, Code: ").arg(archive) + codeText());
            } else {
                plainStep("cd /");
                if (statusStep(QByteArray("tar xvzf /media/") + kArchiveName) != 0)
                    showError(QStringLiteral("Extracting Archive Error for %1, Code: ").arg(archive) + codeText());
                else if (statusStep("sync") != 0)
                    showError(QStringLiteral("Sync Error after extraction, Code: ") + codeText());
                else
                    result = true;
            }
        }
    }

    if (!link_.Error_Reported) {
        if (result) {
            controls_.setProgress(100);
            controls_.setStatus(QStringLiteral("Writing config data done. Please power cycle the laser."));
        } else {
            controls_.setStatus(QStringLiteral("Writing config data failed."));
        }
    }
    return result;
}

}  // namespace tarvo::workflow
