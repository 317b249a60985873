#include "UMyWizard.h"

namespace varnok {

TMyWizard::TMyWizard(QWidget* owner, const std::string& storeKey,
                     const std::string& productSubKey, int lastPage)
    : TMyForm(owner, productSubKey + "\\Wizard", storeKey), LastPage(lastPage)
{
}

}  // namespace varnok
