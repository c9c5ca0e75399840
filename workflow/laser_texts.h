#pragma once
// What the operator reads about which laser a backup belongs to: the
// check on Continue, its questions, and the pending restore's laser.

#include "pcside/stored_settings.h"
#include "platform/platform.h"
#include "workflow/operator_texts.h"

#include <QCoreApplication>
#include <QString>

namespace tarvo::workflow {

class LaserTexts {
    Q_DECLARE_TR_FUNCTIONS(LaserTexts)
public:
    // A laser's hardware, as the operator reads it.
    static QString hardware(const platform::ControllerIdentity& identity)
    {
        switch (identity.kind) {
        case platform::ControllerIdentity::Kind::Hardware: return identity.text;
        case platform::ControllerIdentity::Kind::Local: return tr("simulated on this PC at %1").arg(identity.text);
        case platform::ControllerIdentity::Kind::Unknown: break;
        }
        return tr("unknown");
    }
    // A laser, named by its address and hardware.
    static QString laser(const QString& address, const platform::ControllerIdentity& identity)
    {
        return tr("%1 (hardware %2)").arg(address, hardware(identity));
    }

    static QString sameLaser(const platform::ControllerIdentity& identity, const QString& backedUpAt,
                             const QString& now)
    {
        if (backedUpAt.isEmpty() || backedUpAt == now)
            return tr("[same laser (hardware %1)]").arg(hardware(identity));
        return tr("[same laser (hardware %1), backed up at %2, now at %3]").arg(hardware(identity), backedUpAt, now);
    }

    // The question before writing a backup onto a laser that is not, or
    // not known to be, the one it was made of.
    static QString otherLaserQuestion(const QString& backupLaser, const QString& backupTime, const QString& connected)
    {
        return tr("This is not the laser the backup was made of.\n\n"
                  "Backup: laser %1, made %2.\nConnected: laser %3.\n\n"
                  "Writing it gives this laser the other laser's configuration (axes, calibration, network "
                  "settings). Nothing has been sent to the laser yet.")
            .arg(backupLaser, backupTime, connected);
    }
    static QString cannotTellQuestion(const QString& backupLaser, const QString& backupTime, const QString& connected)
    {
        return tr("The tool cannot tell whether this is the laser the backup was made of: the hardware address of "
                  "one of them is not known (a laser behind a router, or a backup of an earlier version).\n\n"
                  "Backup: laser %1, made %2.\nConnected: laser %3.\n\n"
                  "Write it only if you are sure this is the right laser. Nothing has been sent to the laser yet.")
            .arg(backupLaser, backupTime, connected);
    }
    static QString writeAnyway() { return tr("Write onto this laser"); }
    static QString doNotWrite() { return tr("Do not write"); }
    // Without a window: the same, refused.
    static QString otherLaserRefused(const QString& backupLaser, const QString& backupTime, const QString& connected)
    {
        return tr("Error: the laser %1 is not the laser the backup was made of (laser %2, made %3). Nothing was "
                  "sent to it. To write it all the same, run the restore again with --allow-other-laser and name the "
                  "backup to write with --archive.")
            .arg(connected, backupLaser, backupTime);
    }
    static QString cannotTellRefused(const QString& backupLaser, const QString& backupTime, const QString& connected)
    {
        return tr("Error: the tool cannot tell whether the laser %1 is the laser the backup was made of (laser %2, "
                  "made %3). Nothing was sent to it. To write it all the same, run the restore again with "
                  "--allow-other-laser and name the backup to write with --archive.")
            .arg(connected, backupLaser, backupTime);
    }
    static QString backupOfUnknownLaser(const QString& address)
    {
        return tr("Error: the hardware of the laser at %1 cannot be told (a laser behind a router, or one hardware "
                  "address that stands for several addresses), so its backup cannot be found. Choose the backup to "
                  "write: in the window with \"Restore an earlier backup…\", without a window with --archive FILE "
                  "and --allow-other-laser.\nNothing was sent to the laser.")
            .arg(address);
    }
    // Allowed, but the tool would have had to choose the backup itself.
    static QString otherLaserNeedsArchive(const QString& backupLaser, const QString& backupTime, const QString& connected)
    {
        return tr("Error: the laser %1 is not known to be the laser of the backup the tool found (laser %2, made %3). "
                  "Nothing was sent to it. With --allow-other-laser, name the backup to write with --archive: the "
                  "tool does not choose another laser's backup.")
            .arg(connected, backupLaser, backupTime);
    }
    static QString writingOntoOtherLaser(const QString& backupLaser, const QString& connected)
    {
        return tr("[writing the backup of laser %1 onto laser %2, as chosen]").arg(backupLaser, connected);
    }
    static QString notWritten()
    {
        return tr("Not written: this laser was not confirmed as the one the backup was made of. Nothing was sent "
                  "to it. Connect the laser of the backup, or choose this laser's own with \"Restore an earlier "
                  "backup…\".");
    }

    // --- the window ---
    static QString restorePending(const QString& controller, const platform::ControllerIdentity& identity,
                                  const QString& time)
    {
        return tr("The backup of laser %1 from %2 waits to be restored onto its new card: click Continue.")
            .arg(laser(controller, identity), time);
    }
    static QString interruptedRun(const pcside::InterruptedRun& run)
    {
        const QString what = run.restore ? tr("The last restore, onto laser %1,") : tr("The last backup, of laser %1,");
        QString text = tr("%1 was cut short at %2 when the window was closed during \"%3\". The laser was left with its "
                          "firmware stopped and its safety relay open: power-cycle it (turn it off and on again) before "
                          "it is used.")
                           .arg(what.arg(run.laser), run.time, run.step);
        if (run.restore)
            text += QLatin1Char(' ') + tr("Its card may hold only part of the configuration: click Continue to write "
                                          "the backup again.");
        return text;
    }
    static QString startNewBackupAction() { return tr("Start a new backup…"); }
    static QString startNewBackupQuestion(const QString& controller, const platform::ControllerIdentity& identity,
                                          const QString& time)
    {
        return tr("Start a new backup?\n\nThe backup of laser %1 from %2 waits to be restored onto its new card. It "
                  "stays kept on this PC: \"Restore an earlier backup…\" can choose it again.")
            .arg(laser(controller, identity), time);
    }
    static QString startNewBackup() { return tr("Start a new backup"); }
    static QString keepWaiting() { return tr("No"); }
    static QString backupEntry(const QString& controller, const platform::ControllerIdentity& identity,
                               const QString& time, qint64 bytes, int files)
    {
        return tr("%1   %2   %3   %4")
            .arg(laser(controller, identity), time, OperatorTexts::size(bytes), OperatorTexts::fileCount(files));
    }
};

}  // namespace tarvo::workflow
