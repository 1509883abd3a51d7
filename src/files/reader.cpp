// reader.cpp - the text reader: parenthesised form trees from a text channel into the current store.
#include "files/files.h"
#include "files/realtext.h"
#include "files/recent.h"
#include "files/tokens.h"

namespace {
constexpr int kStackDepth = 50;  // parse states and form contexts alike
constexpr int kBatch = 50;       // entities handed to a form per call
constexpr const char *kRoutine = vrd::kReaderRoutine;
constexpr int kEnd = vrd::kEndOfInput;

enum ParseState : uint16_t { kOutside = 0, kKeyword = 1, kEntities = 3 };

using vrd::nextChar;
using vrd::skipWhite;
using vrd::tokens;

// A form being filled and the entities not yet handed to it.
struct FormContext {
    VRDentity form;
    int32_t position;  // insert position, -1 appends
    int32_t pending;
    VRDentity entities[kBatch];
};

// The parse of one reading (its bytes and tokens are in vrd::tokens); reset
// at the start of every call.  Invariant: stateCount and contextCount never
// exceed kStackDepth, so nothing is written past an array.
struct Reader {
    uint16_t states[kStackDepth];
    int stateCount;
    FormContext contexts[kStackDepth];
    int contextCount;
};

Reader reader;
bool readPlain = false;  // the way of the next readings (tests compare both)
VRDentity *readerResult = nullptr;  // the caller's result entity, during a reading
VRDentity discardedResult;          // stands in when the caller gives none

// What a step of the main loop leaves behind: go on, or return 0 or 1.
enum class Step { GoOn, Done, Failed };

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

// An entity for the innermost context.  Once the result is set, an entity
// that does not complete a batch only joins the pending ones: the short
// way of addReadEntity.
Step add(VRDentity e) {
    if (reader.contextCount > 0 && readerResult != nullptr && vrd::hasTag(*readerResult)) {
        FormContext &c = topContext();
        if (c.pending < kBatch - 1) {
            c.entities[c.pending++] = e;
            return Step::GoOn;
        }
    }
    return addReadEntity(nullptr, e) == 0 ? Step::GoOn : Step::Failed;
}

// The token as an identifier, the entity of a repeated one reused.
Step readIdentifier() {
    VRDentity e;
    const char *text = tokens.token;
    int length = tokens.tokenLength;
    bool reuse = !tokens.plain;
    if (!(reuse && vrd::recallIdentifier(text, length, &e))) {
        if (VRDidCreate(text, &e) != 0) return Step::Failed;
        if (reuse) vrd::rememberIdentifier(text, length, e);
    }
    return add(e);
}

// A value token becomes a real, an integer or an identifier, in that order.
Step readValue(int &c) {
    c = vrd::gatherToken(c, false);
    VRDentity e;
    int failed;
    double real;
    int32_t integer;
    if (tokens.tokenHasDot && vrd::scanReal(tokens.token, &real))
        failed = VRDrealCreate(real, &e);
    else if (!tokens.tokenHasDot && vrd::tokenInteger(&integer))
        failed = VRDintCreate(integer, &e);
    else
        return readIdentifier();
    return failed != 0 ? Step::Failed : add(e);
}

// A string after its opening quote; the closing quote is consumed.
Step readString(int &c) {
    c = vrd::gatherString();
    VRDentity e;
    return VRDstringCreate(tokens.token, &e) != 0 ? Step::Failed : add(e);
}

// A point group read up to `c` (")" when closed): the point joins the
// enclosing form and the group's parse state is popped.
Step addPoint(int32_t x, int32_t y, int &c) {
    bool closed = c == ')';
    if (!closed) vrd::report(kRoutine, VRD_E_BADPOINT);
    VRDentity p;
    if (VRDpointCreate(x, y, &p) != 0) return Step::Failed;
    if (add(p) == Step::Failed) return Step::Failed;
    --reader.stateCount;
    if (closed) c = nextChar();
    return Step::GoOn;
}

// A point group after its tag; `c` is the byte that ended the tag.
Step readPoint(int &c) {
    c = skipWhite(c);
    int32_t x = vrd::readCoordinate(c, true);
    c = skipWhite(c);
    int32_t y = vrd::readCoordinate(c, false);
    c = skipWhite(c);
    return addPoint(x, y, c);
}

// A form of the innermost context, created as VRDformCreate does from a
// keyword text; it joins that context and gets a context of its own.  A
// keyword met before in this reading is not looked up again: its key is
// what VRDkeyCreate would give, and it would make nor report anything.
Step createForm(const char *keyword, int length) {
    if (reader.contextCount == kStackDepth) return tooDeep();
    VRDentity form;
    uint32_t key = VRD_NO_KEY;
    bool reuse = !tokens.plain && length > 0;  // the memory reads 24 bytes of the token
    if (reuse && vrd::recallKeyword(keyword, length, &key)) {
        if (VRDformCreate(topContext().form, key, keyword, &form) != 0) return Step::Failed;
    } else {
        if (VRDformCreate(topContext().form, VRD_NO_KEY, keyword, &form) != 0) return Step::Failed;
        if (reuse) vrd::rememberKeyword(keyword, length, vrd::formKey(form));
    }
    if (add(form) == Step::Failed) return Step::Failed;
    pushContext(form, -1);
    topState() = kEntities;
    return Step::GoOn;
}

Step keywordStep(int32_t flags, int &c) {
    if (vrd::isDelimiterByte(c)) return createForm("", 0);  // the delimiter stays pending
    int32_t x, y;
    if (vrd::takePointGroup(c, flags, &x, &y)) {
        c = ')';
        return addPoint(x, y, c);
    }
    c = vrd::gatherToken(c, true);
    if (vrd::tokenIsPointTag(flags)) return readPoint(c);
    return createForm(tokens.token, tokens.tokenLength);
}

Step entitiesStep(int &c) {
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
        return readValue(c);
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
        if (!vrd::isWhiteByte(c) && !reported) {
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
            step = entitiesStep(c);
        else {
            vrd::report(kRoutine, VRD_E_DATAAFTER);
            step = Step::Done;
        }
        if (step != Step::GoOn) return step == Step::Failed ? 1 : 0;
    }
}

int32_t readAll(TextChannel *channel, VRDentity target, int32_t position, int32_t caseFlags) {
    vrd::startTokens(channel, caseFlags, readPlain);
    vrd::startRecent(channel);
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

void vrd::setReaderPlain(bool plain) { readPlain = plain; }

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
    tokens.channel = nullptr;
    return status;
}

}  // extern "C"
