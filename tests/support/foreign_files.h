// The import tests' name for testlib/foreign_files.h, which the benchmarks share; it goes once they name that.
#pragma once

#include "testlib/foreign_files.h"
