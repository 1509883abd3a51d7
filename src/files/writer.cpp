// writer.cpp - the text writer: an entity (as a rule a form tree) in the text notation.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "files/channel.h"
#include "files/files.h"
#include "files/realtext.h"
#include "frame/formset.h"
#include "forms/forms.h"

namespace {
constexpr uint32_t kRunLength = 10;  // entities on a line before a break

// The nesting depth of the form being written: -1 outside every form.
int32_t writerDepth = -1;

// A form whose entities are being written.  Writing changes nothing in the
// store and calls out only to report a failure that ends it, so the list
// found when the form was opened stays where it is until its ")".
struct Frame {
    VRDentity form;
    const VRDentity *list;  // null when the run lies outside its key's slab
    uint32_t count;
    uint32_t position;  // next entity to write
    uint32_t run;       // entities since the last line break or nested form
};

struct Output {
    TextChannel *channel;
    int32_t caseFlags;
    bool indent;
    bool exactReals;  // the shortest text that reads back as the same real
    const char *routine;  // the name a failure is reported under
};

// The records of a live form, or false when the form entity names nothing
// in the current store or names a killed form.  No report: the writer
// leaves such entities out.
bool liveForm(const VRDstore *s, uint32_t key, uint32_t index, KeyRecord **k, FormRecord **f) {
    return vrd::resolveForm(s, vrd::formEntity(key, index), nullptr, k, f) && !vrd::isKilled(**f);
}

// The frame of a live form: its entity count and list, the list null (its
// entities then read as the null entity, which writes nothing) when the
// list's run lies outside its key's slab.
Frame frameOf(VRDentity form, KeyRecord &k, FormRecord &f) {
    const VRDentity *list = nullptr;
    if (vrd::peekList(k, f, &list) == 0) list = nullptr;
    return Frame{form, list, vrd::entityCount(f), 0, 0};
}

// Text goes straight into the channel's block, piece by piece; the channel
// takes a piece exactly as it would take its bytes one at a time (the same
// growth, the same bytes kept when it fails), and the writer, as ever, does
// not look at whether it did.
void put(const Output &out, const char *bytes, size_t n) { vrd::putBytes(out.channel, bytes, n); }
void putText(const Output &out, const char *text) { put(out, text, std::strlen(text)); }

// A space and a number in one piece.
void putInt(const Output &out, int32_t value) {
    char text[vrd::kNumberTextBytes + 1];
    text[0] = ' ';
    vrd::putSmall(out.channel, text, 1 + vrd::formatInt(value, text + 1));
}

void newLine(const Output &out, int32_t depth) {
    static constexpr char kSpaces[65] = "\n                                                               ";
    constexpr int32_t kChunk = sizeof kSpaces - 2;  // spaces after the line feed
    int32_t spaces = out.indent ? depth : 0;
    int32_t part = spaces < kChunk ? spaces : kChunk;
    put(out, kSpaces, static_cast<size_t>(part) + 1);
    for (spaces -= part; spaces > 0; spaces -= part) {
        part = spaces < kChunk ? spaces : kChunk;
        put(out, kSpaces + 1, static_cast<size_t>(part));
    }
}

// Writes a point group; the coordinates are read only when they exist.
void writePoint(const VRDstore *s, const Output &out, VRDentity e) {
    VRDpoint p;
    if (!vrd::pointValue(s, e.second, &p)) return;
    // At most " (PT " 11 " " 11 ")": a small piece (11: the longest int32).
    static_assert(5 + 11 + 1 + 11 + 1 <= vrd::kSmallPiece);
    char text[2 * vrd::kNumberTextBytes + 8];
    std::memcpy(text, out.caseFlags == 1 ? " (PT " : " (pt ", 5);
    size_t n = 5 + vrd::formatInt(p.x, text + 5);
    text[n++] = ' ';
    n += vrd::formatInt(p.y, text + n);
    text[n++] = ')';
    vrd::putSmall(out.channel, text, n);
}

// A real as the shortest text that sscanf("%lf") reads back to the same
// double and that the reader takes for a real.  The precision grows from 1
// to 17 significant digits (17 always gives the double back); the text must
// hold a ".", so one is put into a mantissa that has none ("2" -> "2.0",
// "1e+20" -> "1.0e+20") and after "inf" or "nan", which sscanf still reads up
// to the ".".  Plain C calls only: the library links from C without the C++
// runtime.
void writeExactReal(const Output &out, double value) {
    char text[48];
    if (std::isnan(value)) {
        std::strcat(text + vrd::writeNan(value, text), ".");
        putText(out, text);
        return;
    }
    for (int precision = 1; precision <= 17; ++precision) {
        std::snprintf(text, sizeof text - 3, "%.*g", precision, value);
        double back;
        if (std::sscanf(text, "%lf", &back) == 1 && std::memcmp(&back, &value, sizeof back) == 0) break;
    }
    if (std::isinf(value)) {
        std::strcat(text, ".");
    } else if (std::strchr(text, '.') == nullptr) {
        char *exponent = std::strchr(text, 'e');
        size_t at = exponent != nullptr ? static_cast<size_t>(exponent - text) : std::strlen(text);
        std::memmove(text + at + 2, text + at, std::strlen(text + at) + 1);
        std::memcpy(text + at, ".0", 2);
    }
    putText(out, text);
}

// Writes a value entity (anything but a form) with its leading space.
void writeValue(const VRDstore *s, const Output &out, VRDentity e) {
    if (vrd::isPoint(e)) {
        writePoint(s, out, e);
        return;
    }
    uint32_t payload = vrd::payloadOf(e);
    const char *text;
    int32_t bigint;
    double real;
    switch (vrd::tagOf(e)) {
    case vrd::kTagBigint:
        if (vrd::bigintAt(s, payload, &bigint)) putInt(out, bigint);
        return;
    case vrd::kTagSmallNeg:
        putInt(out, -static_cast<int32_t>(payload));
        return;
    case vrd::kTagSmallPos:
        putInt(out, static_cast<int32_t>(payload));
        return;
    case vrd::kTagString:
        if ((text = vrd::stringAt(s, payload)) == nullptr) return;
        put(out, " \"", 2);
        putText(out, text);
        put(out, "\"", 1);
        return;
    case vrd::kTagId:
        if ((text = vrd::stringAt(s, payload)) == nullptr) return;
        put(out, " ", 1);
        putText(out, text);
        return;
    case vrd::kTagReal:
        if (!vrd::realAt(s, payload, &real)) return;
        if (out.exactReals) {
            put(out, " ", 1);
            writeExactReal(out, real);
        } else {
            char number[vrd::kNumberTextBytes + 1];
            number[0] = ' ';
            put(out, number, 1 + vrd::formatReal(real, number + 1));
        }
        return;
    default:  // the null entity and the unused tag write nothing
        return;
    }
}

// The forms being written, outermost first, and the same forms as a set:
// a form that holds itself, directly or through sub-forms, would otherwise
// be written without end.
struct Path {
    vrd::ScratchStack<Frame> frames;
    vrd::FormSet open;
};

// Opens a form: its line, indentation, "(" and keyword, and a frame for its
// entities.  Nothing is written for a form that is not live, nor for one
// already open on the path.  False only when the path could not grow
// (reported -2).
bool openForm(const VRDstore *s, const Output &out, Path &path, VRDentity e) {
    uint32_t key = vrd::formKey(e);
    KeyRecord *k;
    FormRecord *f;
    if (!liveForm(s, key, e.second, &k, &f) || path.open.contains(e)) return true;
    if (!path.open.insert(e) || !path.frames.push(frameOf(e, *k, *f))) {
        vrd::report(out.routine, VRD_E_NOMEM);
        return false;
    }
    ++writerDepth;
    newLine(out, writerDepth);
    put(out, "(", 1);
    putText(out, vrd::keywordOf(s, key));
    return true;
}

// Depth first, with the path of open forms on a scratch stack rather than
// the machine stack; the bytes are those of writing each form's entities
// in order and descending into each live nested form as it is met.
void writeTree(const VRDstore *s, const Output &out, VRDentity root) {
    if (!vrd::isForm(root)) {
        writeValue(s, out, root);
        return;
    }
    Path path;
    if (!openForm(s, out, path, root)) return;
    while (!path.frames.empty()) {
        Frame &frame = path.frames.top();
        if (frame.position >= frame.count) {
            put(out, ")", 1);
            --writerDepth;
            path.open.erase(frame.form);
            path.frames.pop();
            continue;
        }
        VRDentity e = frame.list != nullptr ? frame.list[frame.position] : vrd::nullEntity();
        ++frame.position;
        if (vrd::isForm(e)) {
            frame.run = 0;
        } else if (frame.run == kRunLength) {
            newLine(out, writerDepth);
            frame.run = 0;
        }
        ++frame.run;  // before descending: the push may move the frame
        if (!vrd::isForm(e))
            writeValue(s, out, e);
        else if (!openForm(s, out, path, e))
            return;
    }
}

}  // namespace

extern "C" {

int putTextChar(TextChannel *channel, int character) {
    return printTextFileChar(channel, character) != 0 ? character : -1;
}

void writeEntityText(TextChannel *channel, int32_t caseFlags, VRDentity entity, int32_t indent) {
    VRDstore *s = vrd::needStore("writeEntityText");
    if (s == nullptr) return;
    int32_t depth = writerDepth;
    writeTree(s, Output{channel, caseFlags, indent != 0, false, "VRDfileWriteEntity"}, entity);
    writerDepth = depth;  // also after a walk cut short
}

int32_t VRD_CALL VRDfileWriteEntity(TextChannel *channel, int32_t caseFlags, VRDentity entity, int32_t indent) {
    if (vrd::needStore("VRDfileWriteEntity") == nullptr) return 0;
    writerDepth = -1;
    writeEntityText(channel, caseFlags, entity, indent);
    return 0;
}

int32_t VRD_CALL VRDfileWriteEntityExact(TextChannel *channel, int32_t caseFlags, VRDentity entity, int32_t indent) {
    VRDstore *s = vrd::needStore("VRDfileWriteEntityExact");
    if (s == nullptr) return 0;
    writerDepth = -1;
    writeTree(s, Output{channel, caseFlags, indent != 0, true, "VRDfileWriteEntityExact"}, entity);
    writerDepth = -1;
    return 0;
}

}  // extern "C"
