#pragma once
// Whether an archive on the PC can stand in for the laser's SD card: a
// gzip-compressed tar archive, readable to its end (every header, the gzip
// stream to its last member), holding at least one zel/*.conf, and holding
// nothing that `cd / && tar xvzf` on the laser would put outside zel/ and
// media/ or that is no ordinary configuration.
//
// What is judged is what the laser's busybox tar would unpack: each member
// libarchive reads must be the member busybox reads from the same header,
// and nothing but zeros may follow the tar stream's end marker or the gzip
// stream (busybox reads on past a single zero block, and into a further
// gzip member that libarchive would not read).
//
// The archive is read once, in chunks, whatever its size: the SHA-256 is
// taken of the same bytes that libarchive inflates.

#include <QByteArray>
#include <QString>
#include <QStringList>

class QIODevice;

namespace tarvo::platform {
class FileSystem;
}

namespace tarvo::pcside {

// How far an archive may go before it is refused as none of ours. A
// controller's configuration is some megabytes and compresses a few times;
// the bounds leave room for large profile folders while stopping a gzip
// bomb after at most a few seconds of inflating.
struct ArchiveLimits {
    // The archive file itself.
    qint64 maxArchiveBytes = qint64(4) << 30;
    // Everything inflated, tar headers included.
    qint64 maxInflatedBytes = qint64(8) << 30;
    // More than ratioFloorBytes inflated and more than maxRatio times the
    // archive's own size is refused: real configurations compress far
    // less, and deflate cannot exceed about 1032 to 1.
    qint64 ratioFloorBytes = qint64(64) << 20;
    int maxRatio = 200;
};

struct ArchiveReport {
    bool usable = false;
    // What is wrong, for the operator; empty when usable.
    QString problem;
    // False when nothing at all exists at the path checked.
    bool found = true;
    int files = 0;
    int configFiles = 0;
    qint64 bytes = 0;
    // Hex; empty when the archive was refused without being read (not an
    // ordinary file, or too large).
    QByteArray sha256;
    // The members in archive order as tar -v lists them: paths as stored,
    // folders with their trailing '/'.
    QStringList members;
};

// Reads device (open, at its start) to its end. Thread-safe: touches
// nothing but device and its own state.
ArchiveReport checkArchive(QIODevice& device, const ArchiveLimits& limits = {});
ArchiveReport checkArchive(const QByteArray& data, const ArchiveLimits& limits = {});
// Opens path on the calling thread, then checks it away from the event
// loop (FileSystem::readAside), so the window stays responsive meanwhile.
ArchiveReport checkArchiveFile(platform::FileSystem& files, const QString& path, const ArchiveLimits& limits = {});

}  // namespace tarvo::pcside
