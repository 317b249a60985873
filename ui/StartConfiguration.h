#pragma once
// The configuration the desktop program starts on, chosen from its arguments
// before the store is opened.

#include <optional>
#include <string>
#include <vector>

namespace varnok {

struct TStartConfiguration {
    std::string StoreKey;
    // Named but not stored: the save at the end creates it.
    bool New = false;
};

// The store key StartupStoreKey makes of the arguments. A configuration name
// with nothing stored under it is asked about first, through the prompts:
// Yes goes on with a new configuration of that name, Cancel quits (nullopt).
// Asking only reads the store, creating nothing, so a quit leaves it as it
// was. A store that cannot be read or parsed raises no question: the start-up
// reports it.
std::optional<TStartConfiguration> ChooseStartConfiguration(const std::vector<std::string>& arguments);
std::optional<TStartConfiguration> ChooseStartConfiguration(int argc, const char* const* argv);

}  // namespace varnok
