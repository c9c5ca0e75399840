#pragma once
// The verbose-flood fault: many small profile files on the card, so that
// tar's listing runs to tens of thousands of lines.

#include <QString>

namespace tarvo::simulator {

// Writes count files under media/profiles/flood (100 to a folder); files
// already there are kept. Returns false when the card cannot be written.
bool writeFloodProfiles(const QString& cardFolder, int count);

}  // namespace tarvo::simulator
