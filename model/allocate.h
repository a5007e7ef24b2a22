// Whole-array allocation: running out of memory is a message, not an exception, and a large array
// is asked to sit in huge pages.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <type_traits>

#include "model/console.h"

struct FreeArray {
    void operator()(void* p) const { std::free(p); }
};

// An owned array of records that need no destructor.
template <typename T>
using Array = std::unique_ptr<T[], FreeArray>;

// On a model of hundreds of megabytes, faulting in 4 KiB pages one by one costs more than parsing
// them; from 32 MB on, an array is aligned to 2 MiB and asked for transparent huge pages.
inline void* allocateBytes(std::size_t bytes)
{
    constexpr std::size_t kHugePage = std::size_t(2) << 20;
    constexpr std::size_t kHugeFrom = std::size_t(32) << 20;
    if (bytes < kHugeFrom) return std::malloc(bytes == 0 ? 1 : bytes);
    if (bytes > SIZE_MAX - kHugePage) return nullptr;
    const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    void* memory = std::aligned_alloc(kHugePage, rounded);
    if (memory) madvise(memory, rounded, MADV_HUGEPAGE);
    return memory;
}

// count records, initialised as new T[count] would; null after one message on standard error.
template <typename T>
Array<T> allocateArray(std::size_t count, const char* what)
{
    static_assert(std::is_trivially_destructible<T>::value, "arrays are released without destructors");
    void* memory = count <= SIZE_MAX / sizeof(T) ? allocateBytes(count * sizeof(T)) : nullptr;
    if (!memory) {
        char line[160];
        std::snprintf(line, sizeof line, "error: out of memory: %zu bytes for the %s could not be allocated",
                      count * sizeof(T), what);
        reportError(line);
        return nullptr;
    }
    T* array = static_cast<T*>(memory);
    for (std::size_t i = 0; i < count; ++i) new (array + i) T;
    return Array<T>(array);
}
