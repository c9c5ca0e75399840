#pragma once
// Where the sample cards are, seen from the program's folder: beside the
// program (controller-sim-cards/), installed (../share/tarvo-config-updater/
// cards), or in the source tree the program was built from (simulator/cards
// a few folders up). Empty when none is there.

#include <QString>

namespace tarvo::simulator {

QString sampleCardsFolder(const QString& programFolder);

}  // namespace tarvo::simulator
