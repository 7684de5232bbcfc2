#pragma once
#include "cvcore/exception.h"

namespace cvcore {

// Shows the exception in the report window and returns when the viewer has
// closed it. The three texts also go to standard error; where no window can
// be shown (no display, or one nobody sees) it returns at once.
void ShowReport(const Exception& exception);

// Only inside a catch block: reports whatever is being handled (see
// CurrentException). Never throws: when even the report cannot be made, for
// want of memory, a line on standard error has to do.
void ShowCurrentReport() noexcept;

}  // namespace cvcore
