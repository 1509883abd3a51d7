// progress.cpp - the progress line, redrawn in place at each mebibyte the reader takes.
#include "progress.h"

#include <cstdio>
#include <cstdlib>

#include "platform.h"

namespace vrdtool {

namespace {
constexpr size_t kDefaultThreshold = 50u * 1000 * 1000;

size_t threshold() {
    const char *text = std::getenv("VRD_PROGRESS_BYTES");
    if (text == nullptr || *text == '\0') return kDefaultThreshold;
    char *end = nullptr;
    unsigned long long v = std::strtoull(text, &end, 10);
    return end != nullptr && *end == '\0' ? static_cast<size_t>(v) : kDefaultThreshold;
}
}  // namespace

Progress::Progress(TextChannel *channel, const std::string &name, size_t total, bool quiet)
    : channel_(channel), name_(name), total_(total) {
    if (quiet || total <= threshold() || !isTerminal(2)) return;
    textChannelSetProgress(channel, update, this);
    shown_ = true;
    update(this, 0);
}

Progress::~Progress() {
    if (!shown_) return;
    textChannelSetProgress(channel_, nullptr, nullptr);
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
}

void VRD_CALL Progress::update(void *context, size_t bytesRead) {
    auto *p = static_cast<Progress *>(context);
    unsigned percent = p->total_ == 0 ? 100 : static_cast<unsigned>(bytesRead * 100 / p->total_);
    std::fprintf(stderr, "\rvrd: reading %s %3u%% (%zu of %zu MB)", p->name_.c_str(), percent, bytesRead / 1000000,
                 p->total_ / 1000000);
    std::fflush(stderr);
}

}  // namespace vrdtool
