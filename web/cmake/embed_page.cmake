# The built page as a C++ array, checked to hold the model slot exactly once (zemconvert places a
# model there): cmake -DPAGE=zemview.html -DOUTPUT=web_page_data.cpp -P embed_page.cmake
file(READ ${PAGE} page)
set(slot "<script type=\"application/x-zem-model\" id=\"zem-model\"></script>")
string(FIND "${page}" "${slot}" first)
string(FIND "${page}" "${slot}" last REVERSE)
if(first EQUAL -1 OR NOT first EQUAL last)
  message(FATAL_ERROR "${PAGE} must hold the empty model element exactly once")
endif()
file(READ ${PAGE} hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){24})" "\\1\n" bytes "${bytes}")
file(WRITE ${OUTPUT}.tmp "// Generated at build time from ${PAGE}: the viewer's page, which zemconvert fills with a model.
#include <cstddef>

extern const unsigned char kWebPage[];
extern const std::size_t kWebPageSize;
const unsigned char kWebPage[] = {
${bytes}
};
const std::size_t kWebPageSize = ${size};
")
file(RENAME ${OUTPUT}.tmp ${OUTPUT})
