// libFuzzer target of the import: each input read through the confined child, fitted, formatted and parsed back
// (testlib/import_target.cpp, which the tests also replay the findings with).
#include <cstddef>
#include <cstdint>

#include "testlib/import_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    importOnce(data, size);
    return 0;
}
