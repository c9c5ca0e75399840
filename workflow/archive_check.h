#pragma once
// Whether an archive on the PC can stand in for the laser's SD card: a
// gzip-compressed tar archive, readable to its end (every header, the gzip
// checksum and length), holding at least one zel/*.conf.

#include <QByteArray>
#include <QString>

namespace tarvo::workflow {

struct ArchiveReport {
    bool usable = false;
    // What is wrong, for the operator; empty when usable.
    QString problem;
    int files = 0;
    int configFiles = 0;
    qint64 bytes = 0;
    QByteArray sha256;  // hex
};

ArchiveReport checkArchive(const QByteArray& data);

}  // namespace tarvo::workflow
