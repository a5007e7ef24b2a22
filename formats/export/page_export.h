// The viewer's page with a model inside: what zemconvert writes for an output ending in .html.
#pragma once

#include <string>

struct Shape;

// Whether this build carries the page (it needs emscripten at build time).
bool webPageBuilt();

// The model's bytes as they may stand inside the page's model element: every byte that could end
// the element ('<'), that HTML parsing would change (a carriage return, a control character, a
// byte above 126) or that is the escape itself ('%') becomes %XX, two upper-case hex digits.
std::string escapeModelText(const std::string& text);

// The page with the shape written as ZEM text in its model element. False, with why in error, when
// this build has no page or when the shape cannot be written as text that loads back the same.
bool writeModelPage(const Shape& shape, std::string& page, std::string& error);
