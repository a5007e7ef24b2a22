// File names as the import looks at them.
#include "formats/import/checks/file_names.h"

#include "base/paths.h"

std::string lowerExtension(const std::string& path)
{
    std::string extension = extensionOf(path);
    // ASCII only: the C library's tolower would follow the locale.
    for (char& c : extension)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return extension;
}
