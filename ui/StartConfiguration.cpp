#include "StartConfiguration.h"

#include "ByteText.h"
#include "Prompts.h"
#include "UMyIniFile.h"

#include <cstring>
#include <stdexcept>

namespace varnok {

std::optional<TStartConfiguration> ChooseStartConfiguration(const std::vector<std::string>& arguments)
{
    TStartConfiguration start{StartupStoreKey(arguments)};
    if (start.StoreKey == kDefaultStoreKey)
        return start;
    try {
        if (StoreKeyExists(start.StoreKey))
            return start;
    } catch (const std::runtime_error&) {
        return start;
    }
    // A mistyped name would otherwise start on the defaults without a word.
    const std::string name = start.StoreKey.substr(std::strlen(kConfigurationsKey) + 1);
    start.New = true;
    if (!TPrompts::Instance().Confirm(
            nullptr, QStringLiteral("Varnok Quillet"),
            QStringLiteral("No configuration named \"%1\" is stored.\n\nStart a new configuration of that name?")
                .arg(TextOfBytes(name)),
            QStringLiteral("It is saved when the program ends. Cancel quits, and nothing is written.")))
        return std::nullopt;
    return start;
}

std::optional<TStartConfiguration> ChooseStartConfiguration(int argc, const char* const* argv)
{
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.emplace_back(argv[i]);
    return ChooseStartConfiguration(arguments);
}

}  // namespace varnok
