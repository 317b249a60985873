#include "Engine.h"

#include <stdexcept>

namespace varnok {

int ReplaceAll(std::string&, std::string, std::string, bool, bool, bool, bool, bool, bool)
{
    throw std::logic_error("ReplaceAll is not built yet");
}

}  // namespace varnok
