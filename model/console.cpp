// The scoped capture of the model library's lines.
#include "model/console.h"

#include <new>

namespace {

CapturedMessages* gInnermost = nullptr;

}  // namespace

CapturedMessages::CapturedMessages() : previous_(messageSink()), outer_(gInnermost)
{
    gInnermost = this;
    messageSink() = keep;
}

CapturedMessages::~CapturedMessages()
{
    gInnermost = outer_;
    messageSink() = previous_;
}

void CapturedMessages::keep(const char* line)
{
    // The lines come from code that promises not to throw; a line that finds no memory is lost.
    try {
        gInnermost->lines_.emplace_back(line);
    } catch (const std::bad_alloc&) {
    }
}

std::string CapturedMessages::text() const
{
    std::string all;
    for (const std::string& line : lines_) all += line + "\n";
    return all;
}
