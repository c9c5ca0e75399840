#pragma once
// The program options that make the controller as slow as a real embedded
// board: tar's packing and unpacking rates, tftp's rate on the wire and the
// time a sync takes. Unset, the controller keeps its usual quick pace.

#include "simulator/engineoptions.h"

#include <QString>

class QCommandLineParser;

namespace tarvo::simulator {

void addSpeedOptions(QCommandLineParser& parser);
// Returns false with a message when a value is not a whole number >= 0.
bool readSpeedOptions(const QCommandLineParser& parser, EngineOptions* out, QString* error);

}  // namespace tarvo::simulator
