#pragma once
// The archive's name: on the controller's card, and in each controller's
// folder on the PC.

namespace tarvo::pcside {

inline constexpr char kArchiveName[] = "config.tgz";

}  // namespace tarvo::pcside
