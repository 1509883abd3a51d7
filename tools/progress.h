// progress.h - a progress bar on stderr for long readings, shown only to a person at a terminal.
#ifndef VRD_TOOLS_PROGRESS_H
#define VRD_TOOLS_PROGRESS_H

#include <cstddef>
#include <string>

#include "vrd/textchan.h"

namespace vrdtool {

// Shows "vrd: reading NAME  42%" on stderr while a channel is read, when
// stderr is a terminal, -q was not given and the input is larger than the
// threshold: 50 MB, or the byte count in the environment variable
// VRD_PROGRESS_BYTES.  The line is cleared when the object goes.
class Progress {
public:
    Progress(TextChannel *channel, const std::string &name, size_t total, bool quiet);
    ~Progress();
    Progress(const Progress &) = delete;
    Progress &operator=(const Progress &) = delete;

private:
    static void VRD_CALL update(void *context, size_t bytesRead);
    TextChannel *channel_;
    std::string name_;
    size_t total_;
    bool shown_ = false;
};

}  // namespace vrdtool

#endif  // VRD_TOOLS_PROGRESS_H
