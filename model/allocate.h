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

// count records, initialised as new T[count] would; null when memory runs out, without a message,
// for a caller that reports one line for several tables.
template <typename T>
Array<T> tryAllocateArray(std::size_t count)
{
    static_assert(std::is_trivially_destructible<T>::value, "arrays are released without destructors");
    void* memory = count <= SIZE_MAX / sizeof(T) ? allocateBytes(count * sizeof(T)) : nullptr;
    if (!memory) return nullptr;
    T* array = static_cast<T*>(memory);
    for (std::size_t i = 0; i < count; ++i) new (array + i) T;
    return Array<T>(array);
}

// "error: out of memory: <what> need <n> MB", what the user can act on: the size of their model.
inline void reportOutOfMemory(const char* what, double bytes)
{
    char line[200];
    std::snprintf(line, sizeof line, "error: out of memory: %s need %.0f MB", what, bytes < 1e6 ? 1.0 : bytes / 1e6);
    reportError(line);
}

// As tryAllocateArray, with one message on standard error when memory runs out; what names the
// records in the user's terms, such as "the model's 20 polygons".
template <typename T>
Array<T> allocateArray(std::size_t count, const char* what)
{
    Array<T> array = tryAllocateArray<T>(count);
    if (!array) reportOutOfMemory(what, static_cast<double>(count) * sizeof(T));
    return array;
}
