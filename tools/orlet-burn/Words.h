#pragma once

#include <string>

namespace orletburn {

// What a result code means, for a person ("no disc in the drive").
std::string ResultWords(int code);
// Prepare, burn and erase events with their details, in words.
std::string PrepareWords(int event, int detail);
std::string BurnWords(int event, int detail);
// jobStarted: whether the erase job had begun (the refusal of a request and a
// disc that refused to be blanked share one detail number).
std::string EraseWords(int event, int detail, bool jobStarted);

}  // namespace orletburn
