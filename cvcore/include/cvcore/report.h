#pragma once
#include "cvcore/exception.h"

namespace cvcore {

// Shows the exception in the report window and returns when the viewer has
// closed it. The three texts also go to standard error; where no window can
// be shown (no display, or one nobody sees) it returns at once.
void ShowReport(const Exception& exception);

}  // namespace cvcore
