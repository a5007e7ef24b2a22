// The built page's bytes, from the source the build generates out of zemview.html, when it has one.
#include "web/page.h"

#include <cstddef>

#ifndef ZEM_WEB_PAGE_BUILT
#define ZEM_WEB_PAGE_BUILT 0
#endif
#if ZEM_WEB_PAGE_BUILT
extern const unsigned char kWebPage[];
extern const std::size_t kWebPageSize;
#endif

std::string_view builtPage()
{
#if ZEM_WEB_PAGE_BUILT
    return std::string_view(reinterpret_cast<const char*>(kWebPage), kWebPageSize);
#else
    return std::string_view();
#endif
}
