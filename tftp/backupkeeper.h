#pragma once

#include <QString>

namespace tarvo::tftp {

// Keeps the file about to be replaced as a time-stamped copy in a backups/
// folder beside it, and only the newest `keep` copies of that name. Only
// names it makes itself (<base>-yyyyMMdd-HHmmss-zzz-NNN<suffix>) are counted
// or pruned: whatever else an operator keeps there stays.
class BackupKeeper
{
public:
    static constexpr int DefaultKeep = 20;

    explicit BackupKeeper(int keep = DefaultKeep);

    // Nothing to do (and success) if target does not exist yet.
    bool keepCopyOf(const QString& target, QString* error) const;
    static QString folderFor(const QString& target);

private:
    void prune(const QString& folder, const QString& baseName, const QString& suffix) const;
    // The server's own copies of baseName/suffix in folder, oldest first.
    static QStringList copiesIn(const QString& folder, const QString& baseName, const QString& suffix);

    int keep_;
};

}  // namespace tarvo::tftp
