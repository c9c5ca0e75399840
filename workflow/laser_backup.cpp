#include "workflow/laser_backup.h"

#include "workflow/operator_texts.h"

#include <algorithm>

namespace tarvo::workflow {

std::optional<pcside::ServerWatch::Stored> LaserBackup::upload(const std::vector<pcside::ServerWatch::Stored>& uploads) const
{
    if (uploads.size() <= uploadsBeforePut)
        return std::nullopt;
    return uploads[uploadsBeforePut];
}

QString extraUploads(const std::vector<pcside::ServerWatch::Stored>& uploads, const QString& controller)
{
    if (uploads.size() <= 1)
        return {};
    return OperatorTexts::severalUploads(int(uploads.size()), controller);
}

QString membersDiffer(const QStringList& archived, const QStringList& packed)
{
    if (archived == packed)
        return {};
    if (packed.isEmpty())
        return OperatorTexts::noTarListing();
    const qsizetype common = std::min(archived.size(), packed.size());
    qsizetype at = 0;
    while (at < common && archived[at] == packed[at])
        ++at;
    const int position = int(at) + 1;
    const QString differs = at < common          ? OperatorTexts::memberDiffers(position, archived[at], packed[at])
                            : at < packed.size() ? OperatorTexts::memberMissing(position, packed[at])
                                                 : OperatorTexts::memberExtra(position, archived[at]);
    if (archived.size() == packed.size())
        return differs;
    const QString counts = OperatorTexts::memberCountDiffers(OperatorTexts::fileCount(int(archived.size())),
                                                             OperatorTexts::fileCount(int(packed.size())));
    return counts + QStringLiteral("; ") + differs;
}

}  // namespace tarvo::workflow
