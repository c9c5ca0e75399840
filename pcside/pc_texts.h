#pragma once
// The texts of the PC's side that the operator reads: why the PC's TFTP
// server could not serve, and why an archive on the PC is refused.

#include <QCoreApplication>
#include <QDir>
#include <QString>

namespace tarvo::pcside {

class PcTexts {
    Q_DECLARE_TR_FUNCTIONS(PcTexts)
public:
    // --- the PC's TFTP server ---
    static QString serverMissing() { return tr("Cannot find TFTP exe file."); }
    static QString serverPortInUse(const QString& port)
    {
        return tr("The PC's TFTP server cannot start: UDP port %1 is in use by another program "
                  "(another TFTP server?). Close that program and try again.\nNothing was sent to the laser.")
            .arg(port);
    }
    static QString serverNoPermission(const QString& port, const QString& program)
    {
#ifdef Q_OS_WIN
        // Any program may open port 69 on Windows: a refusal means another
        // program holds it for itself, or security software blocks it.
        return tr("The PC's TFTP server %2 may not open UDP port %1: another program holds it, or security "
                  "software blocks it.\nNothing was sent to the laser.")
            .arg(port, QDir::toNativeSeparators(program));
#else
        return tr("The PC's TFTP server may not open UDP port %1. Install the tool's package, which allows it, "
                  "or run once: sudo setcap cap_net_bind_service=+ep %2\nNothing was sent to the laser.")
            .arg(port, program);
#endif
    }
    static QString serverFolderNotWritable(const QString& folder)
    {
        return tr("The PC's TFTP server cannot write to the archive folder %1. Check that it exists and "
                  "that you may write to it.\nNothing was sent to the laser.")
            .arg(QDir::toNativeSeparators(folder));
    }
    static QString serverDidNotStart(const QString& detail)
    {
        return tr("The PC's TFTP server did not start: %1\nNothing was sent to the laser.").arg(detail);
    }
    static QString serverNotReady(int seconds)
    {
        return tr("The PC's TFTP server did not report within %1 s that it is ready.\nNothing was sent to the laser.")
            .arg(seconds);
    }
    static QString serverWithoutControllers()
    {
        return tr("The PC's TFTP server was not started: no controller's address is known to take requests "
                  "from.\nNothing was sent to the laser.");
    }
    static QString serverStopped(const QString& lastLine)
    {
        return tr("The PC's TFTP server stopped during the run. Its last words: %1").arg(lastLine);
    }

    // --- the archive on the PC ---
    static QString archiveNotTarGz() { return tr("it is not a gzip-compressed tar archive"); }
    static QString archiveDamaged(const QString& detail) { return tr("it is damaged (%1)").arg(detail); }
    static QString archiveWithoutConfiguration() { return tr("it holds no zel/*.conf file"); }
    static QString archiveNotOrdinaryFile() { return tr("it is not an ordinary file"); }
    static QString archiveTooLarge(qint64 maxMiB)
    {
        return tr("it is larger than the %1 MiB an archive of a configuration can be").arg(maxMiB);
    }
    static QString archiveInflatesTooFar(qint64 mib)
    {
        return tr("it unpacks to more than %1 MiB, far more than a configuration can be").arg(mib);
    }
    // What the laser's tar would unpack although the check never saw it.
    static QString archiveDataAfterEnd()
    {
        return tr("it holds data after its end marker that the laser's tar would unpack unchecked");
    }
    static QString archiveDataAfterStream()
    {
        return tr("it holds data after the end of its compressed stream that the laser's tar may unpack unchecked");
    }
    static QString archiveReadDifferently(const QString& member)
    {
        return tr("the laser's tar would read it differently than this check, from %1 on").arg(member);
    }
    // A member that `cd / && tar xvzf` on the laser must not unpack, and why.
    static QString archiveMemberRefused(const QString& member, const QString& why)
    {
        return tr("it holds a member the laser would not accept: %1 (%2)").arg(member, why);
    }
    static QString memberAbsolute() { return tr("absolute path"); }
    static QString memberClimbsOut() { return tr("a .. component"); }
    static QString memberOutsideFolders() { return tr("outside zel/ and media/"); }
    static QString memberLinkOutside(const QString& target)
    {
        return tr("a link to %1, outside zel/ and media/").arg(target);
    }
    static QString memberHardLinkNotEarlier(const QString& target)
    {
        return tr("a hard link to %1, which is not earlier in the archive").arg(target);
    }
    static QString memberThroughLink(const QString& link) { return tr("inside %1, a link in the archive").arg(link); }
    static QString memberDevice() { return tr("a device node"); }
    static QString memberFifo() { return tr("a FIFO"); }
    static QString memberSocket() { return tr("a socket"); }
    static QString memberConfigurationNotFile() { return tr("a configuration file that is not an ordinary file"); }
    static QString memberConfigurationEmpty() { return tr("an empty configuration file"); }
};

}  // namespace tarvo::pcside
