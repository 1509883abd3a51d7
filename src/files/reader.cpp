// reader.cpp - the text reader: parenthesised form trees from a text channel into the current store.
#include <cstdio>

#include "files/charclass.h"
#include "files/files.h"

namespace {
constexpr int kStackDepth = 50;  // parse states and form contexts alike
constexpr int kBatch = 50;       // entities handed to a form per call
constexpr int kTokenMax = 1999;  // characters of a token or a string
constexpr int kEnd = 0xFF;       // the end of input, as the channel stores it
constexpr const char *kRoutine = "VRDfileReadEntity";

enum ParseState : uint16_t { kOutside = 0, kKeyword = 1, kEntities = 3 };

// A form being filled and the entities not yet handed to it.
struct FormContext {
    VRDentity form;
    int32_t position;  // insert position, -1 appends
    int32_t pending;
    VRDentity entities[kBatch];
};

// The working state of one reading; reset at the start of every call.
// Invariants: stateCount and contextCount never exceed kStackDepth, and
// tokenLength never exceeds kTokenMax, so nothing is written past an array.
struct Reader {
    TextChannel *channel;
    bool ended;  // the end of input (or a 0xFF byte) has been met
    uint16_t states[kStackDepth];
    int stateCount;
    FormContext contexts[kStackDepth];
    int contextCount;
    char token[kTokenMax + 1];
    int tokenLength;
    bool tokenHasDot;
};

Reader reader;
VRDentity *readerResult = nullptr;  // the caller's result entity, during a reading
VRDentity discardedResult;          // stands in when the caller gives none

// What a step of the main loop leaves behind: go on, or return 0 or 1.
enum class Step { GoOn, Done, Failed };

bool isWhite(int c) { return c == ' ' || (c >= 0x09 && c <= 0x0D); }
bool isDelimiter(int c) { return c == '(' || c == ')' || c == '"'; }
bool endsToken(int c) { return isWhite(c) || isDelimiter(c) || c == kEnd; }
bool isDigit(int c) { return vrd::isCharAlphaNumeric(c) && !vrd::isCharAlpha(c); }

// The next byte, or kEnd for good once the input (or a 0xFF byte) ended.
int nextChar() {
    if (reader.ended) return kEnd;
    char c;
    int got = readTextFileChar(reader.channel, &c);
    int byte = static_cast<unsigned char>(c);
    if (got == 0 || byte == kEnd) {
        reader.ended = true;
        return kEnd;
    }
    return byte;
}

int skipWhite(int c) {
    while (isWhite(c)) c = nextChar();
    return c;
}

uint16_t &topState() { return reader.states[reader.stateCount - 1]; }
FormContext &topContext() { return reader.contexts[reader.contextCount - 1]; }

void pushContext(VRDentity form, int32_t position) {
    FormContext &c = reader.contexts[reader.contextCount++];
    c.form = form;
    c.position = position;
    c.pending = 0;
}

// Hands a context's pending entities to its form; false when that failed.
bool handOver(FormContext &c) {
    if (c.pending == 0) return true;
    int32_t n = c.pending;
    c.pending = 0;
    return VRDformAddEntities(c.form, static_cast<uint32_t>(c.position), static_cast<uint32_t>(n), c.entities) == 0;
}

// Closes the open contexts from the innermost outwards, each handing over
// what it holds.  The outer context of a free-standing read (no tag) holds
// only the result, which belongs to no form, so the walk stops there.
Step closeAll(bool reportOpen) {
    while (reader.contextCount > 0) {
        FormContext &c = topContext();
        if (!vrd::hasTag(c.form)) return Step::Done;
        --reader.contextCount;
        if (reportOpen && reader.contextCount > 0) vrd::report(kRoutine, VRD_E_BADFORM);
        if (!handOver(c)) return Step::Failed;
    }
    return Step::Done;
}

// Nesting deeper than the stacks hold: one report, then everything read
// so far is handed over as at the end of input.
Step tooDeep() {
    vrd::report(kRoutine, VRD_E_BADFORM);
    return closeAll(false);
}

Step add(VRDentity e) { return addReadEntity(nullptr, e) == 0 ? Step::GoOn : Step::Failed; }

// Stores a token byte (converted); bytes beyond kTokenMax are dropped.
void storeTokenByte(int c) {
    if (reader.tokenLength == kTokenMax) return;
    if (c == '.') reader.tokenHasDot = true;
    reader.token[reader.tokenLength++] = static_cast<char>(c);
}

int keywordCase(int c, int32_t flags) {
    if ((flags & 1) && c >= 'a' && c <= 'z') return vrd::toUpperAscii(c);
    if ((flags & 2) && c >= 'A' && c <= 'Z') return vrd::toLowerAscii(c);
    return c;
}

int valueCase(int c, int32_t flags) {
    if ((flags & 1) && vrd::isCharLower(c)) return vrd::toUpperAscii(c);
    if ((flags & 2) && vrd::isCharUpper(c)) return vrd::toLowerAscii(c);
    return c;
}

// Gathers a token that starts with `c`; gives the byte that ended it.
int gatherToken(int c, int32_t flags, bool keyword) {
    reader.tokenLength = 0;
    reader.tokenHasDot = false;
    for (; !endsToken(c); c = nextChar()) storeTokenByte(keyword ? keywordCase(c, flags) : valueCase(c, flags));
    reader.token[reader.tokenLength] = '\0';
    return c;
}

bool isPointTag(int32_t flags) {
    const char *t = reader.token;
    if (reader.tokenLength != 2) return false;
    if (flags == 0) return (t[0] == 'P' || t[0] == 'p') && (t[1] == 'T' || t[1] == 't');
    return std::strcmp(t, (flags & 1) ? "PT" : "pt") == 0;
}

// An integer token: optional sign, then digits only; the value wraps in
// 32 bits and the sign is applied last.
bool tokenInteger(int32_t *value) {
    const char *p = reader.token;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    uint32_t v = 0;
    for (; *p != '\0'; ++p) {
        if (!isDigit(static_cast<unsigned char>(*p))) return false;
        v = v * 10u + static_cast<uint32_t>(*p - '0');
    }
    *value = static_cast<int32_t>(negative ? 0u - v : v);
    return true;
}

// A value token becomes a real, an integer or an identifier, in that order.
Step readValue(int32_t flags, int &c) {
    c = gatherToken(c, flags, false);
    VRDentity e;
    int failed;
    double real;
    int32_t integer;
    if (reader.tokenHasDot && std::sscanf(reader.token, "%lf", &real) == 1)
        failed = VRDrealCreate(real, &e);
    else if (!reader.tokenHasDot && tokenInteger(&integer))
        failed = VRDintCreate(integer, &e);
    else
        failed = VRDidCreate(reader.token, &e);
    return failed != 0 ? Step::Failed : add(e);
}

// A string after its opening quote, unconverted; the closing quote is consumed.
Step readString(int &c) {
    reader.tokenLength = 0;
    for (;;) {
        c = nextChar();
        if (c == '"') break;
        if (c == kEnd) {
            vrd::report(kRoutine, VRD_E_BADSTRING);
            break;
        }
        reader.token[reader.tokenLength++] = static_cast<char>(c);
        if (reader.tokenLength == kTokenMax) {
            vrd::report(kRoutine, VRD_E_BADSTRING);
            break;
        }
    }
    reader.token[reader.tokenLength] = '\0';
    c = nextChar();
    VRDentity e;
    return VRDstringCreate(reader.token, &e) != 0 ? Step::Failed : add(e);
}

// A coordinate: optional sign and decimal digits, wrapping in 32 bits.
int32_t readCoordinate(int &c, bool asciiDigits) {
    bool negative = c == '-';
    if (c == '-' || c == '+') c = nextChar();
    uint32_t v = 0;
    while (asciiDigits ? (c >= '0' && c <= '9') : isDigit(c)) {
        v = v * 10u + static_cast<uint32_t>(c - '0');
        c = nextChar();
    }
    return static_cast<int32_t>(negative ? 0u - v : v);
}

// A point group after its tag; `c` is the byte that ended the tag.  The
// point joins the enclosing form; the group's parse state is popped.
Step readPoint(int &c) {
    c = skipWhite(c);
    int32_t x = readCoordinate(c, true);
    c = skipWhite(c);
    int32_t y = readCoordinate(c, false);
    c = skipWhite(c);
    bool closed = c == ')';
    if (!closed) vrd::report(kRoutine, VRD_E_BADPOINT);
    VRDentity p;
    if (VRDpointCreate(x, y, &p) != 0) return Step::Failed;
    if (add(p) == Step::Failed) return Step::Failed;
    --reader.stateCount;
    if (closed) c = nextChar();
    return Step::GoOn;
}

// A form of the innermost context, created as VRDformCreate does from a
// keyword text; it joins that context and gets a context of its own.
Step createForm(const char *keyword) {
    if (reader.contextCount == kStackDepth) return tooDeep();
    VRDentity form;
    if (VRDformCreate(topContext().form, VRD_NO_KEY, keyword, &form) != 0) return Step::Failed;
    if (add(form) == Step::Failed) return Step::Failed;
    pushContext(form, -1);
    topState() = kEntities;
    return Step::GoOn;
}

Step keywordStep(int32_t flags, int &c) {
    if (isDelimiter(c)) return createForm("");  // the delimiter stays pending
    c = gatherToken(c, flags, true);
    if (isPointTag(flags)) return readPoint(c);
    return createForm(reader.token);
}

Step entitiesStep(int32_t flags, int &c) {
    switch (c) {
    case '(':
        if (reader.stateCount == kStackDepth) return tooDeep();
        reader.states[reader.stateCount++] = kKeyword;
        c = nextChar();
        return Step::GoOn;
    case ')':
        if (!handOver(topContext())) return Step::Failed;
        --reader.contextCount;
        --reader.stateCount;
        c = nextChar();
        return Step::GoOn;
    case '"':
        return readString(c);
    default:
        if (c < 0x21 || c > 0x7E) {  // cannot start a token
            c = nextChar();
            return Step::GoOn;
        }
        return readValue(flags, c);
    }
}

// Free-standing mode: white space, then the first "("; anything else
// before it is reported once.  False when the input ended first.
bool findFirstForm() {
    bool reported = false;
    for (;;) {
        int c = nextChar();
        if (c == '(') return true;
        if (c == kEnd) {
            vrd::report(kRoutine, VRD_E_NODATA);
            return false;
        }
        if (!isWhite(c) && !reported) {
            vrd::report(kRoutine, VRD_E_DATABEFORE);
            reported = true;
        }
    }
}

// The main loop, carrying one pending byte `c`.
int32_t readLoop(int32_t flags, int c) {
    for (;;) {
        c = skipWhite(c);
        Step step;
        if (c == kEnd)
            step = closeAll(true);
        else if (topState() == kKeyword)
            step = keywordStep(flags, c);
        else if (topState() == kEntities)
            step = entitiesStep(flags, c);
        else {
            vrd::report(kRoutine, VRD_E_DATAAFTER);
            step = Step::Done;
        }
        if (step != Step::GoOn) return step == Step::Failed ? 1 : 0;
    }
}

int32_t readAll(TextChannel *channel, VRDentity target, int32_t position, int32_t caseFlags) {
    reader.channel = channel;
    reader.ended = false;
    reader.states[0] = kOutside;
    reader.stateCount = 1;
    reader.contextCount = 0;
    if (vrd::hasTag(target)) {
        reader.states[reader.stateCount++] = kEntities;
        pushContext(target, position);
        return readLoop(caseFlags, nextChar());
    }
    if (!findFirstForm()) return 0;
    reader.states[reader.stateCount++] = kKeyword;
    pushContext(target, -1);
    return readLoop(caseFlags, nextChar());
}

}  // namespace

extern "C" {

int addReadEntity(VRDentity *result, VRDentity entity) {
    if (result == nullptr) result = readerResult;
    if (result == nullptr || reader.contextCount == 0) return 1;  // no reading under way
    if (!vrd::hasTag(*result)) *result = entity;
    FormContext &c = topContext();
    c.entities[c.pending++] = entity;
    if (c.pending < kBatch) return 0;
    // A full batch; the outer context of a free-standing read never gets
    // this far (it holds at most the one result), yet its entities must
    // never reach a form, so it only drops them.
    if (!vrd::hasTag(c.form)) {
        c.pending = 0;
        return 0;
    }
    if (!handOver(c)) return 1;
    if (c.position != -1) c.position = static_cast<int32_t>(static_cast<uint32_t>(c.position) + kBatch);
    return 0;
}

int32_t VRD_CALL VRDfileReadEntity(TextChannel *channel, VRDentity target, int32_t position, int32_t caseFlags,
                                   VRDentity *result) {
    readerResult = result != nullptr ? result : &discardedResult;
    *readerResult = vrd::nullEntity();
    int32_t status = 1;
    if (vrd::needStore(kRoutine) != nullptr) status = readAll(channel, target, position, caseFlags);
    // Nothing of the reading outlives the call: addReadEntity outside a
    // reading finds no context and no result to write through.
    readerResult = nullptr;
    reader.contextCount = 0;
    reader.channel = nullptr;
    return status;
}

}  // extern "C"
