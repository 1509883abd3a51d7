// writer.cpp - the text writer: an entity (as a rule a form tree) in the text notation.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "files/files.h"
#include "frame/formset.h"
#include "forms/forms.h"

namespace {
constexpr uint32_t kRunLength = 10;  // entities on a line before a break

// The nesting depth of the form being written: -1 outside every form.
int32_t writerDepth = -1;

// A form whose entities are being written.  The form is kept by key and
// index, not by address, so nothing here depends on where the tables are.
struct Frame {
    uint32_t key;
    uint32_t index;
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

// The entity at `position` of a live form's list; the null entity (which
// writes nothing) when the list's run lies outside its key's slab.
VRDentity entityAt(KeyRecord &k, FormRecord &f, uint32_t position) {
    const VRDentity *list = nullptr;
    return vrd::peekList(k, f, &list) == 0 ? vrd::nullEntity() : list[position];
}

void newLine(const Output &out, int32_t depth) {
    printTextFileChar(out.channel, '\n');
    if (out.indent)
        for (int32_t i = 0; i < depth; ++i) printTextFileChar(out.channel, ' ');
}

// Writes a point group; the coordinates are read only when they exist.
void writePoint(const VRDstore *s, const Output &out, VRDentity e) {
    VRDpoint p;
    if (!vrd::pointValue(s, e.second, &p)) return;
    printTextFile(out.channel, "%s", out.caseFlags == 1 ? " (PT " : " (pt ");
    printTextFile(out.channel, "%l", p.x);
    printTextFileChar(out.channel, ' ');
    printTextFile(out.channel, "%l", p.y);
    printTextFileChar(out.channel, ')');
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
    for (int precision = 1; precision <= 17; ++precision) {
        std::snprintf(text, sizeof text - 3, "%.*g", precision, value);
        double back;
        if (std::isnan(value) || (std::sscanf(text, "%lf", &back) == 1 && std::memcmp(&back, &value, sizeof back) == 0))
            break;
    }
    if (std::isnan(value) || std::isinf(value)) {
        std::strcat(text, ".");
    } else if (std::strchr(text, '.') == nullptr) {
        char *exponent = std::strchr(text, 'e');
        size_t at = exponent != nullptr ? static_cast<size_t>(exponent - text) : std::strlen(text);
        std::memmove(text + at + 2, text + at, std::strlen(text + at) + 1);
        std::memcpy(text + at, ".0", 2);
    }
    printTextFile(out.channel, "%s", text);
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
        if (!vrd::bigintAt(s, payload, &bigint)) return;
        printTextFileChar(out.channel, ' ');
        printTextFile(out.channel, "%l", bigint);
        return;
    case vrd::kTagSmallNeg:
        putTextChar(out.channel, ' ');
        printTextFile(out.channel, "%l", -static_cast<int32_t>(payload));
        return;
    case vrd::kTagSmallPos:
        printTextFileChar(out.channel, ' ');
        printTextFile(out.channel, "%l", static_cast<int32_t>(payload));
        return;
    case vrd::kTagString:
        if ((text = vrd::stringAt(s, payload)) == nullptr) return;
        printTextFile(out.channel, "%s", " \"");
        printTextFile(out.channel, "%s", text);
        printTextFileChar(out.channel, '"');
        return;
    case vrd::kTagId:
        if ((text = vrd::stringAt(s, payload)) == nullptr) return;
        printTextFileChar(out.channel, ' ');
        printTextFile(out.channel, "%s", text);
        return;
    case vrd::kTagReal:
        if (!vrd::realAt(s, payload, &real)) return;
        printTextFileChar(out.channel, ' ');
        if (out.exactReals)
            writeExactReal(out, real);
        else
            printTextFile(out.channel, "%g", real);
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
    if (!path.open.insert(e) || !path.frames.push(Frame{key, e.second, 0, 0})) {
        vrd::report(out.routine, VRD_E_NOMEM);
        return false;
    }
    ++writerDepth;
    newLine(out, writerDepth);
    printTextFileChar(out.channel, '(');
    printTextFile(out.channel, "%s", vrd::keywordOf(s, key));
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
        KeyRecord *k;
        FormRecord *f;
        if (!liveForm(s, frame.key, frame.index, &k, &f) || frame.position >= vrd::entityCount(*f)) {
            printTextFileChar(out.channel, ')');
            --writerDepth;
            path.open.erase(vrd::formEntity(frame.key, frame.index));
            path.frames.pop();
            continue;
        }
        VRDentity e = entityAt(*k, *f, frame.position);
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
