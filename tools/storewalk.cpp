// storewalk.cpp - the writer's walk over a form tree, judging each value by whether its text reads back the same.
#include "storewalk.h"

#include <cstdio>
#include <cstring>
#include <set>
#include <vector>

#include "forms/forms.h"

namespace vrdtool {

namespace {

bool isWhite(unsigned char c) { return c == ' ' || (c >= 0x09 && c <= 0x0D); }
bool breaksToken(unsigned char c) { return isWhite(c) || c == '(' || c == ')' || c == '"' || c == 0xFF; }

uint64_t keyOf(VRDentity e) { return (static_cast<uint64_t>(e.first) << 32) | e.second; }
bool isForm(VRDentity e) { return (e.first & 0x80000000u) != 0; }
bool isPoint(VRDentity e) { return (e.first & 0xC0000000u) == 0x40000000u; }
uint32_t tagOf(VRDentity e) { return e.first & 0xF8000000u; }

constexpr uint32_t kTagString = 0x20000000u, kTagId = 0x28000000u, kTagReal = 0x30000000u;

std::string stringLoss(const std::string &text) {
    if (text.find('"') != std::string::npos) return "string \"" + showBytes(text) + "\" holds '\"', which ends it when read back";
    if (text.find('\xFF') != std::string::npos) return "string \"" + showBytes(text) + "\" holds byte 0xFF, which ends the text";
    if (text.size() > static_cast<size_t>(kMaxString))
        return "string of " + std::to_string(text.size()) + " bytes is longer than the reader's " + std::to_string(kMaxString);
    return std::string();
}

std::string tokenLoss(const std::string &text, const char *what) {
    std::string shown = std::string(what) + " '" + showBytes(text) + "'";
    for (unsigned char c : text)
        if (breaksToken(c)) return shown + " does not read back as one token";
    if (text.size() > static_cast<size_t>(kMaxToken))
        return shown + " is longer than the reader's " + std::to_string(kMaxToken) + " bytes";
    return std::string();
}

// One form being walked.
struct Frame {
    VRDentity form;
    uint32_t position;
    int depth;
    std::string path;
};

class Walker {
public:
    Walker(WriteMode mode, const std::string &where, Findings &out) : mode_(mode), where_(where), out_(out) {}
    void walk(VRDentity root);

private:
    void loss(const std::string &path, std::string message) {
        out_.push_back(Finding{FindingKind::WriteLoss, 0, 0, 0, place(where_, path), std::move(message)});
    }
    bool open(VRDentity form, int depth, const std::string &path);
    void value(VRDentity e, int depth, const std::string &path);

    WriteMode mode_;
    std::string where_;
    Findings &out_;
    std::vector<Frame> frames_;
    std::set<uint64_t> open_;
};

// Opens a form for walking; false when the writer would leave it out.
bool Walker::open(VRDentity form, int depth, const std::string &path) {
    if (VRDformIsKilled(form)) return false;
    if (open_.count(keyOf(form)) != 0) {
        loss(path, "a form that holds itself is left out where it is met again");
        return false;
    }
    if (depth > kMaxDepth) {
        loss(path, "forms nested deeper than " + std::to_string(kMaxDepth) + " levels do not read back");
        return false;
    }
    const char *keyword = VRDformGetPtrKeyword(form);
    std::string k = keyword != nullptr ? keyword : "";
    std::string bad = keywordLoss(k);
    if (!bad.empty()) loss(path, bad);
    if (k.empty() && VRDformEntityCount(form) > 0) {
        VRDentity first = VRDformGetEntity(form, 0);
        if (!isForm(first) && !isPoint(first) && tagOf(first) != kTagString && tagOf(first) != 0)
            loss(path, "a form with the empty keyword whose first entity is a value reads back with that value as its keyword");
    }
    open_.insert(keyOf(form));
    frames_.push_back(Frame{form, 0, depth, path});
    return true;
}

void Walker::value(VRDentity e, int depth, const std::string &path) {
    if (isPoint(e)) {
        if (depth >= kMaxDepth) loss(path, "a point group inside the 49th level does not read back");
        return;
    }
    switch (tagOf(e)) {
    case 0x08000000u: case 0x10000000u: case 0x18000000u:
        return;  // integers are written exactly
    case kTagString: case kTagId: {
        const char *text = VRDstringGetPtrValue(e);
        if (text == nullptr) break;
        std::string bad = tagOf(e) == kTagString ? stringLoss(text) : identifierLoss(text);
        if (!bad.empty()) loss(path, bad);
        return;
    }
    case kTagReal: {
        const std::string &bad = realLoss(VRDrealGetValue(e), mode_);
        if (!bad.empty()) loss(path, bad + (mode_.exactReals ? "" : " (--exact-reals keeps it)"));
        return;
    }
    default:
        break;
    }
    loss(path, "an entity that names no value writes nothing");
}

void Walker::walk(VRDentity root) {
    // The check's own error reports (a value the getters refuse) are not the user's.
    VRDerrorHandlerProc previous = VRDerrorHandler(nullptr);
    if (open(root, 1, "")) {
        while (!frames_.empty()) {
            Frame &f = frames_.back();
            if (f.position >= VRDformEntityCount(f.form)) {
                open_.erase(keyOf(f.form));
                frames_.pop_back();
                continue;
            }
            VRDentity e = VRDformGetEntity(f.form, f.position);
            ++f.position;
            std::string path = f.path + "[" + std::to_string(f.position) + "]";
            int depth = f.depth;
            if (isForm(e))
                open(e, depth + 1, path);  // may move `f`
            else
                value(e, depth, path);
        }
    }
    VRDerrorHandler(previous);
}

}  // namespace

std::string identifierLoss(const std::string &text) {
    std::string shown = "identifier '" + showBytes(text) + "'";
    if (text.empty()) return "an empty identifier writes nothing";
    unsigned char first = static_cast<unsigned char>(text[0]);
    if (first < 0x21 || first > 0x7E) return shown + " does not read back: its first byte cannot begin a value";
    std::string bad = tokenLoss(text, "identifier");
    if (!bad.empty()) return bad;
    size_t sign = text[0] == '-' || text[0] == '+';
    if (text.find('.') == std::string::npos && text.find_first_not_of("0123456789", sign) == std::string::npos)
        return shown + " reads back as an integer";
    double real;
    if (text.find('.') != std::string::npos && std::sscanf(text.c_str(), "%lf", &real) == 1)
        return shown + " reads back as a real";
    return std::string();
}

std::string keywordLoss(const std::string &text) {
    if (text.size() == 2 && (text[0] == 'P' || text[0] == 'p') && (text[1] == 'T' || text[1] == 't'))
        return "a form with keyword '" + text + "' reads back as a point group";
    return tokenLoss(text, "keyword");
}

void walkTree(VRDentity root, WriteMode mode, const std::string &where, Findings &out) {
    Walker(mode, where, out).walk(root);
}

void forEachRoot(const std::function<void(VRDentity)> &visit) {
    const VRDstore *s = VRDget(nullptr);
    if (s == nullptr) return;
    uint32_t key = 0, index = 0;
    for (VRDentity f = vrd::nextRootForm(s, &key, &index); vrd::hasTag(f); f = vrd::nextRootForm(s, &key, &index))
        visit(f);
}

}  // namespace vrdtool

namespace vrdtool {

void walkRoots(WriteMode mode, Findings &out) {
    std::vector<VRDentity> roots;
    forEachRoot([&](VRDentity root) { roots.push_back(root); });
    for (size_t i = 0; i < roots.size(); ++i)
        walkTree(roots[i], mode, roots.size() == 1 ? "" : "root " + std::to_string(i + 1), out);
}

}  // namespace vrdtool
