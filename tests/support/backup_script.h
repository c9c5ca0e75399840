#pragma once
// The lines the tool sends for a backup and for a restore, in its order.

#include <QByteArray>
#include <QList>

inline QList<QByteArray> backupLines(const QByteArray& tftpTarget)
{
    return {"mount -o remount /dev/mmcblk0p2 /zel",
            "echo CMDVAL: $?",
            "cd /",
            "test -d media/profiles;",
            "echo CMDVAL: $?",
            "tar cvzf /media/config.tgz zel/*.conf media/*.conf media/profiles media/sequences media/prv_bmp",
            "echo CMDVAL: $?",
            "sync",
            "echo CMDVAL: $?",
            "cd /media",
            "tftp -p -l config.tgz " + tftpTarget,
            "echo CMDVAL: $?"};
}

inline QList<QByteArray> restoreLines(const QByteArray& tftpTarget)
{
    return {"mount -o remount /dev/mmcblk0p2 /zel",
            "echo CMDVAL: $?",
            "cd /media",
            "tftp -g -r config.tgz " + tftpTarget,
            "echo CMDVAL: $?",
            "sync",
            "echo CMDVAL: $?",
            "cd /",
            "tar xvzf /media/config.tgz",
            "echo CMDVAL: $?",
            "sync",
            "echo CMDVAL: $?"};
}

// Relative paths of what a backup takes: zel/*.conf, media/*.conf and the
// three trees.
inline bool takenByBackup(const QString& rel)
{
    const QStringList parts = rel.split(QLatin1Char('/'));
    if (parts.size() >= 2 && parts[0] == QLatin1String("media") &&
        (parts[1] == QLatin1String("profiles") || parts[1] == QLatin1String("sequences") ||
         parts[1] == QLatin1String("prv_bmp")))
        return true;
    return parts.size() == 2 && (parts[0] == QLatin1String("zel") || parts[0] == QLatin1String("media")) &&
           rel.endsWith(QLatin1String(".conf"));
}
