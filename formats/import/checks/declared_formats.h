// The check of each format's declared sizes, which checkDeclaredSizes picks by the file's bytes and name.
#pragma once

#include <cstddef>
#include <string>

#include "formats/import/checks/declared_bytes.h"

namespace declared {

bool checkPly(const FileBytes& file, std::string& error);  // declared_ply.cpp
bool checkOff(const FileBytes& file, std::string& error);  // declared_off_stl.cpp
bool checkBinaryStl(const FileBytes& file, std::string& error);
bool checkGlb(const FileBytes& file, std::string& error);  // declared_gltf.cpp
// mayBeOther: bytes that only start like JSON (a glTF buffer may) pass when they are no JSON; nesting
// too deep still refuses them.
bool checkGltfJson(const FileBytes& file, std::string& error, bool mayBeOther = false);
bool checkXml(const FileBytes& file, std::string& error);        // declared_xml.cpp
bool checkBinaryFbx(const FileBytes& file, std::string& error);  // declared_fbx.cpp
bool checkTextFbx(const FileBytes& file, std::string& error);
bool checkZip(const FileBytes& file, std::string& error);  // declared_zip.cpp

// XML's nesting counted over text that comes in pieces (a file read in parts, a zip entry inflated).
class XmlNesting {
public:
    // False once the text has nested deeper than kMaxNesting.
    bool feed(const char* text, std::size_t size);

private:
    enum class State { text, open, tag, tagQuoted, comment, cdata, declaration, endTag };
    void step(char c);

    State state_ = State::text;
    std::string lead_;        // what followed "<" while it is not yet known what it opens
    char quote_ = 0;          // the quote a tag's attribute value ends with
    char last_ = 0;           // the tag's byte before the current one
    std::size_t marked_ = 0;  // the end mark's bytes seen so far ("-->", "]]>")
    std::size_t depth_ = 0;
    bool tooDeep_ = false;
};

}  // namespace declared
