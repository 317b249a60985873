#include "Prompts.h"

#include "QtPrompts.h"

namespace varnok {
namespace {
TPrompts* installed = nullptr;
}

TPrompts& TPrompts::Instance()
{
    static TQtPrompts qtPrompts;
    return installed ? *installed : qtPrompts;
}

void TPrompts::SetInstance(TPrompts* prompts)
{
    installed = prompts;
}

}  // namespace varnok
