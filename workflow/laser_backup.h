#pragma once
// What the laser itself made of its backup during a run, and whether what
// reached the PC is it: the one upload stored from the controller's
// address after its tftp -p, holding the members its tar listed, in the
// same order. Another sender on that address, or a tar that lost members
// on the way into the archive, fails the backup.

#include "pcside/server_watch.h"

#include <QString>
#include <QStringList>

#include <cstddef>
#include <optional>
#include <vector>

namespace tarvo::workflow {

struct LaserBackup {
    // The members the controller's tar listed, in its order.
    QStringList packed;
    // Why that list cannot be read with certainty; empty when it can.
    QString packedDoubt;
    // How many uploads had been stored from the controller when its
    // tftp -p was sent.
    std::size_t uploadsBeforePut = 0;

    // The upload the backup takes: the first one stored from the controller
    // after its tftp -p. uploads: every one stored from it during the run,
    // oldest first.
    std::optional<pcside::ServerWatch::Stored> upload(const std::vector<pcside::ServerWatch::Stored>& uploads) const;
};

// Why the uploads stored from controller during the run cannot stand for
// its backup, for the operator; empty when there was at most one.
QString extraUploads(const std::vector<pcside::ServerWatch::Stored>& uploads, const QString& controller);

// How the archive's members differ from what the laser packed, for the
// operator: the counts, and the first member that differs by its position
// and both names. Empty when both are the same list in the same order.
QString membersDiffer(const QStringList& archived, const QStringList& packed);

}  // namespace tarvo::workflow
