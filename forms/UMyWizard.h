#pragma once
// A step-by-step window base with saved state; its section is the product
// sub-key + "\Wizard". Pages run from FirstPage to LastPage.

#include "UMyForm.h"

namespace varnok {

class TMyWizard : public TMyForm {
    Q_OBJECT
public:
    TMyWizard(QWidget* owner, const std::string& storeKey, const std::string& productSubKey,
              int lastPage);

    const int FirstPage = 0;
    const int LastPage;
};

}  // namespace varnok
