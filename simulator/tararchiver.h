#pragma once
// tar's work on the card through libarchive: creating a gzip'ed archive of
// members and extracting one, every path confined to the card. Messages are
// tar's own: a listing line per member when verbose, "tar: ..." on errors.

#include "simulator/card.h"
#include "simulator/devicestate.h"

#include <QByteArray>
#include <QHash>
#include <QList>

#include <functional>

struct archive;
struct archive_entry;

namespace tarvo::simulator {

class TarArchiver {
public:
    TarArchiver(const Card& card, const DeviceState& device, const QByteArray& cwd);

    // Each member's name as it is stored, directories with a trailing "/".
    std::function<void(const QByteArray&)> onListing;
    // One error line, "tar: " included.
    std::function<void(const QByteArray&)> onError;

    // Both return tar's exit status.
    int create(const QByteArray& archivePath, const QList<QByteArray>& members, bool gzip);
    int extract(const QByteArray& archivePath, bool gzip);

    qint64 bytes() const { return bytes_; }
    int entries() const { return entries_; }

private:
    bool addMember(archive* a, const QByteArray& name, const CardPath& path, const QByteArray& archiveNative);
    bool extractEntry(archive* a, archive_entry* entry);
    bool checkName(const QByteArray& name, const QList<QByteArray>& parts);
    bool makeParents(const QList<QByteArray>& parts, const QByteArray& name, CardPath* parent);
    int unrecoverable(const QByteArray& line);
    void error(const QByteArray& line);
    void listing(const QByteArray& name);

    const Card& card_;
    const DeviceState& device_;
    QByteArray cwd_;
    qint64 bytes_ = 0;
    int entries_ = 0;
    bool warnedLeadingSlash_ = false;
    // Folders made or found while extracting, by their member-name prefix,
    // so that members in the same folder do not walk its path again. Cleared
    // whenever a name is unlinked or a link is made.
    QHash<QByteArray, CardPath> folders_;
};

}  // namespace tarvo::simulator
