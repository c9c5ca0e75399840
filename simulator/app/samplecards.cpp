#include "samplecards.h"

#include <QDir>
#include <QFileInfo>

namespace tarvo::simulator {

namespace {

// How far up from the program a source tree's simulator/cards is looked for
// (build/bin is two below the source tree).
constexpr int sourceTreeLevels = 3;

}  // namespace

QString sampleCardsFolder(const QString& programFolder)
{
    const QDir program(programFolder);
    QStringList candidates{program.filePath(QStringLiteral("controller-sim-cards")),
                           program.filePath(QStringLiteral("../share/tarvo-config-updater/cards")),
                           // installed beside the tool's other helpers in lib/tarvo-config-updater
                           program.filePath(QStringLiteral("../../share/tarvo-config-updater/cards"))};
    QString up = programFolder;
    for (int i = 0; i < sourceTreeLevels; ++i) {
        up = QDir(up).filePath(QStringLiteral(".."));
        candidates << QDir(up).filePath(QStringLiteral("simulator/cards"));
    }
    for (const QString& c : candidates)
        if (QFileInfo(c).isDir())
            return QDir::cleanPath(QDir(c).absolutePath());
    return {};
}

}  // namespace tarvo::simulator
