// File names as the import looks at them: the extension that says what a file is.
#pragma once

#include <string>

// The text after the last dot of the name's last part, in lower case; empty when it has none.
std::string lowerExtension(const std::string& path);
