// The text toolkit in one include.
#pragma once

#include "text/extract.h"     // IWYU pragma: export
#include "text/lists.h"       // IWYU pragma: export
#include "text/operations.h"  // IWYU pragma: export
#include "text/values.h"      // IWYU pragma: export
