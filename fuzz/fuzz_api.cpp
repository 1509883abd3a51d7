// fuzz_api.cpp - libFuzzer target: the input drives the interface as a program would, over two stores.
//
// Each step takes an operation and its arguments from the input: values,
// keywords and forms are made, lists changed, owners, properties and keys
// set, forms copied, killed and searched, trees written as text and read
// back, stores dumped and read back, stores switched, check mode turned,
// and the next operation's n-th allocation made to fail.  Reports are
// normal; what aborts is a broken invariant (or a sanitizer finding):
//   - every value made reads back as made, and every form entity ever
//     handed out resolves or reads as absent, after every step;
//   - a tree written as text reads back to a tree written the same way;
//   - a dump read back leaves the forms as they were and dumps to the same
//     bytes again;
//   - a copy, copy of entities, move, kill or first property that fails for
//     want of memory leaves every live form as it was;
//   - killing every store leaks nothing (the leak checker runs per input).
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <set>
#include <tuple>

#include "forms/forms.h"
#include "fuzz_common.h"
#include "vrd/heapwrap.h"

namespace {

constexpr uint32_t kEnd = 0xFFFFFFFFu;

// The input, read a field at a time; zeros once it is used up.
struct Input {
    const uint8_t *p;
    size_t n;
    uint8_t byte() { return n == 0 ? 0 : (--n, *p++); }
    uint32_t word() {
        uint32_t w = 0;
        for (int i = 0; i < 4; ++i) w = w << 8 | byte();
        return w;
    }
    // A short text from `alphabet`; `first` (if given) supplies its first character.
    std::string text(const char *alphabet, const char *first = nullptr) {
        std::string t;
        size_t length = byte() % 12 + (first != nullptr ? 1 : 0);
        for (size_t i = 0; i < length; ++i) {
            const char *from = i == 0 && first != nullptr ? first : alphabet;
            t.push_back(from[byte() % std::strlen(from)]);
        }
        return t;
    }
};

// Texts that the text notation carries unchanged: strings without a double
// quote, identifiers and keywords that read back as such.
constexpr const char *kStringChars = " !#$%&'()*+,-./0123456789:;<=>?@ABCXYZ[\\]^_`abcxyz{|}~";
constexpr const char *kNameStart = "abcdefghijklmnopqrstuvwxyz";
constexpr const char *kNameChars = "abcdefxyz0123456789_";
constexpr const char *kKeywords[] = {"A", "B", "CELL", "NET", "VIEW", "PLIST", "X1"};

// What a program made in one store, to be checked after every step.
struct World {
    const char *name;
    std::vector<std::pair<VRDentity, int32_t>> ints;
    std::vector<std::pair<VRDentity, double>> reals;  // as the store gave them back
    std::vector<std::pair<VRDentity, std::string>> texts;
    std::vector<std::pair<VRDentity, VRDpoint>> points;
    std::vector<std::pair<uint32_t, std::string>> keys;
    std::vector<VRDentity> forms, entities;

    void forgetValues() { ints.clear(), reals.clear(), texts.clear(), points.clear(), keys.clear(); }
    void note(VRDentity e) {
        entities.push_back(e);
        if ((e.first & 0x80000000u) != 0) forms.push_back(e);
    }
};

World worlds[2] = {{"one", {}, {}, {}, {}, {}, {}, {}}, {"two", {}, {}, {}, {}, {}, {}, {}}};
int current = 0;
// Whether check mode has been off in this input: arguments then go untested,
// and a position past a list may overwrite a killed record's link, which the
// reader refuses; that is the caller's fault, not a broken invariant.
bool uncheckedUsed = false;
std::vector<int> seenCodes;  // the reports of the step under way
void VRD_CALL noteReport(const char *, int code) { seenCodes.push_back(code); }

[[noreturn]] void broken(const char *what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}
void require(bool holds, const char *what) {
    if (!holds) broken(what);
}

World &world() { return worlds[current]; }

VRDentity pickEntity(Input &in) {
    World &w = world();
    uint8_t b = in.byte();
    if (b == 255) return VRDentity{in.word(), in.word()};  // anything at all
    if (b >= 250 || w.entities.empty()) return VRDnullEntity();
    return w.entities[b % w.entities.size()];
}

VRDentity pickForm(Input &in) {
    World &w = world();
    uint8_t b = in.byte();
    if (b == 255 && !worlds[1 - current].forms.empty()) return worlds[1 - current].forms[in.byte() % worlds[1 - current].forms.size()];
    if (w.forms.empty()) return VRDnullEntity();
    return w.forms[b % w.forms.size()];
}

uint32_t pickPosition(Input &in, VRDentity form) {
    uint8_t b = in.byte();
    if (b < 64) return kEnd;
    uint32_t count = VRDformEntityCount(form);
    return b >= 250 ? in.word() : b % (count + 1);
}

uint32_t pickKey(Input &in, const char **keyword) {
    uint8_t b = in.byte();
    *keyword = kKeywords[b % std::size(kKeywords)];
    if (b < 128 || world().keys.empty()) return VRD_NO_KEY;
    return world().keys[b % world().keys.size()].first;
}

// ---- invariants ----

// Every live form as a host sees it: key, index, owner and list, each
// entity as one 64-bit word.
using FormView = std::tuple<uint32_t, uint32_t, uint64_t, std::vector<uint64_t>>;
uint64_t wordOf(VRDentity e) { return uint64_t{e.first} << 32 | e.second; }

std::vector<FormView> liveForms() {
    std::vector<FormView> all;
    for (uint32_t key = 0; VRDkeyGetPtrValue(key) != nullptr; ++key) {
        int32_t cursor = 0;
        for (VRDentity f = VRDformFindNext(key, 0, nullptr, &cursor); f.first != 0;
             f = VRDformFindNext(key, 0, nullptr, &cursor)) {
            std::vector<VRDentity> list(VRDformEntityCount(f));
            if (!list.empty()) VRDformGetEntities(0, uint32_t(list.size()), f, list.data());
            std::vector<uint64_t> words;
            for (VRDentity e : list) words.push_back(wordOf(e));
            all.emplace_back(key, f.second, wordOf(VRDformGetOwner(f)), std::move(words));
        }
    }
    return all;
}

void checkWorld() {
    World &w = world();
    for (auto &[e, v] : w.ints) require(VRDintGetValue(e) == v, "an integer reads back");
    for (auto &[e, v] : w.reals) {
        double got = VRDrealGetValue(e);
        require(std::memcmp(&got, &v, sizeof v) == 0, "a real reads back");
    }
    for (auto &[e, t] : w.texts) {
        const char *got = VRDstringGetPtrValue(e);
        require(got != nullptr && t == got, "a text reads back");
    }
    for (auto &[e, v] : w.points) {
        VRDpoint got = VRDpointGetValue(e);
        require(got.x == v.x && got.y == v.y, "a point reads back");
    }
    for (auto &[k, t] : w.keys) {
        const char *got = VRDkeyGetPtrValue(k);
        require(got != nullptr && t == got, "a keyword reads back");
    }
    // A form entity resolves (its list is read) or reads as absent.
    for (VRDentity f : w.forms) {
        uint32_t count = VRDformEntityCount(f);
        VRDformIsKilled(f);
        for (uint32_t i = 0; i < count; ++i) {
            VRDentity e = VRDformGetEntity(f, i);
            if ((e.first & 0x80000000u) != 0) VRDformIsKilled(e);
        }
        VRDformGetOwner(f);
    }
}

// ---- the steps that check an invariant of their own ----

std::string textOf(VRDentity form) {
    TextChannel *out = openTextBuffer();
    if (out == nullptr) return std::string();
    VRDfileWriteEntityExact(out, 0, form, 1);
    size_t length = 0;
    const char *data = textBufferData(out, &length);
    std::string text = data != nullptr ? std::string(data, length) : std::string();
    closeTextFile(out);
    return text;
}

// A text with its layout taken out: white space outside strings becomes one
// space, and none is kept after "(" or before ")".  Entities the writer
// writes nothing for (the null entity, a killed form) still shape its
// layout, and they do not come back.
std::string withoutLayout(const std::string &text) {
    std::string out;
    bool inString = false, space = false;
    for (char c : text) {
        if (c == '"') inString = !inString;
        if (!inString && std::isspace(static_cast<unsigned char>(c))) {
            space = true;
            continue;
        }
        if (space && !out.empty() && out.back() != '(' && c != ')') out.push_back(' ');
        space = false;
        out.push_back(c);
    }
    return out;
}

// Whether an identifier's text reads back as that identifier: a name made
// the way this fuzzer makes them.  A raw entity word can name any text of
// the string area as an identifier ("+", "12", "1.5"), and the notation
// reads such a text back as a number, by its rules.
bool nameReadsBack(VRDentity e) {
    const char *text = VRDstringGetPtrValue(e);
    if (text == nullptr || text[0] == '\0' || std::strchr(kNameStart, text[0]) == nullptr) return false;
    for (const char *p = text + 1; *p != '\0'; ++p)
        if (std::strchr(kNameChars, *p) == nullptr) return false;
    return true;
}

// How deep the forms go below `root`; -1 when a form is reached twice, a
// killed form is listed (a copy makes an empty live form of it, which the
// writer writes where it wrote nothing) or an identifier would read back
// as something else.
int plainDepth(VRDentity root) {
    if (!vrdfuzz::isPlainTree(root)) return -1;
    std::vector<std::pair<VRDentity, int>> stack{{root, 1}};
    int deepest = 0;
    while (!stack.empty()) {
        auto [form, depth] = stack.back();
        stack.pop_back();
        deepest = std::max(deepest, depth);
        for (uint32_t i = 0, n = VRDformEntityCount(form); i < n; ++i) {
            VRDentity e = VRDformGetEntity(form, i);
            if (VRDentityGetKind(e) == VRD_KIND_ID && !nameReadsBack(e)) return -1;
            if ((e.first & 0x80000000u) == 0) continue;
            if (VRDformIsKilled(e) != 0) return -1;
            stack.push_back({e, depth + 1});
        }
    }
    return deepest;
}

// A plain tree of at most 40 levels, written as text, read back and written again gives the same text.
void textRoundTrip(VRDentity form) {
    if (VRDformIsKilled(form) != 0 || !VRDkeyGetPtrValue(form.first & VRD_NO_KEY)) return;
    int depth = plainDepth(form);
    if (depth < 0 || depth > 40) return;
    seenCodes.clear();
    std::string first = textOf(form);
    if (!seenCodes.empty() || first.empty()) return;  // a value that names nothing is not written
    TextChannel *in = openTextString(first.data(), first.size());
    if (in == nullptr) return;
    VRDentity back;
    int32_t result = VRDfileReadEntity(in, VRDnullEntity(), -1, 0, &back);
    closeTextFile(in);
    if (result != 0 || !seenCodes.empty()) return;  // memory ran out (failures are not injected here)
    require(withoutLayout(textOf(back)) == withoutLayout(first), "a tree written as text reads back equal");
    VRDformKill(back, 1, 0);
}

std::string fileBytes(const std::string &path) {
    std::ifstream f(path, std::ios::binary | std::ios::ate);
    std::string bytes(static_cast<size_t>(std::max<std::streamoff>(f.tellg(), 0)), '\0');
    f.seekg(0);
    f.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

// Dumps and reads back left to this input: each one writes and reads the
// whole store several times, so an input of many short steps over a grown
// store would spend its time there.
int roundTripsLeft = 0;
constexpr int kRoundTrips = 12;

// Whether `e` names a form of this store (owners and property lists are
// followed as forms whatever their kind bits).
bool namesForm(VRDentity e) {
    uint32_t count;
    return VRDformGetPtrEntities(VRDentity{e.first | 0x80000000u, e.second}, &count) != nullptr;
}

// Whether some record, killed or live, has an owner, property list or listed
// form that names no form.  The interface lets a host make one (any entity
// may be listed; an owner's index is not tested), and the reader refuses a
// dump holding one as incompatible.
bool holdsDanglingForm() {
    for (uint32_t key = 0; VRDkeyGetPtrValue(key) != nullptr; ++key) {
        for (uint32_t index = 0;; ++index) {
            VRDentity form{0x80000000u | key, index};
            uint32_t count = 0;
            const VRDentity *list = VRDformGetPtrEntities(form, &count);
            if (list == nullptr) break;
            VRDentity owner = VRDformGetOwner(form);
            if ((owner.first & 0xF8000000u) != 0 && !namesForm(owner)) return true;
            for (uint32_t i = 0; i < count; ++i) {
                VRDentity e = VRDformGetEntity(form, i);
                if ((e.first & 0x80000000u) != 0 && !namesForm(e)) return true;
            }
        }
    }
    return false;
}

// The store dumped and read back into itself keeps its forms and values;
// read back again, its dump does not change.  A failure injected into the
// first read leaves what the reader leaves; the rest runs without one.
void binaryRoundTrip(bool failing) {
    const std::string &a = vrdfuzz::scratchPath("api_a"), &b = vrdfuzz::scratchPath("api_b");
    std::vector<FormView> before = liveForms();
    if (VRDfileWriteBinary(a.c_str()) != 0) broken("a dump is written");
    seenCodes.clear();
    int32_t result = VRDfileReadBinary(a.c_str());
    heapwrapFailNth(0);
    if (result != 0 && seenCodes == std::vector<int>{VRD_E_INCOMPATIBLE}) {
        require(uncheckedUsed || holdsDanglingForm(), "a dump is refused only for a form named that does not exist");
        require(liveForms() == before, "a refused dump leaves the store untouched");
        return;
    }
    if (result != 0) {
        require(failing, "a dump reads back");
        world().forgetValues();  // sections may be gone: their values read as absent now
        return;
    }
    require(liveForms() == before, "a dump read back keeps the forms");
    if (VRDfileWriteBinary(b.c_str()) != 0 || VRDfileReadBinary(b.c_str()) != 0) broken("a dump reads back");
    std::string once = fileBytes(b);
    if (VRDfileWriteBinary(a.c_str()) != 0) broken("a dump is written");
    require(fileBytes(a) == once, "a dump read back dumps to the same bytes");
}

// ---- the steps ----

void makeValue(Input &in, int kind) {
    World &w = world();
    VRDentity e;
    switch (kind) {
    case 0: {
        int32_t v = static_cast<int32_t>(in.word());
        if (VRDintCreate(v, &e) == 0) w.ints.push_back({e, v}), w.note(e);
        break;
    }
    case 1: {
        uint64_t bits = uint64_t{in.word()} << 32 | in.word();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        if (VRDrealCreate(v, &e) == 0) w.reals.push_back({e, VRDrealGetValue(e)}), w.note(e);
        break;
    }
    case 2:
    case 3: {
        std::string t = kind == 2 ? in.text(kStringChars) : in.text(kNameChars, kNameStart);
        if ((kind == 2 ? VRDstringCreate(t.c_str(), &e) : VRDidCreate(t.c_str(), &e)) == 0)
            w.texts.push_back({e, t}), w.note(e);
        break;
    }
    case 4: {
        auto x = static_cast<int32_t>(in.word()), y = static_cast<int32_t>(in.byte() < 128 ? in.word() : in.byte());
        if (VRDpointCreate(x, y, &e) == 0) w.points.push_back({e, VRDpoint{x, y}}), w.note(e);
        break;
    }
    default: {
        uint32_t key;
        const char *keyword = kKeywords[in.byte() % std::size(kKeywords)];
        if (VRDkeyCreate(keyword, &key) == 0) w.keys.push_back({key, keyword});
    }
    }
}

// Entities (forms and list entries) the copies of this input may still make.
// A copy duplicates a form once per reference, so a few lists that name one
// form twice make it exponential (as it should be), and form arrays and
// slabs grow by fixed steps, so their growth is quadratic: the fuzzer keeps
// stores small instead.
long copyBudget = 0;
constexpr long kCopyBudget = 20000;

// What a deep copy follows from a form: its property list, then its list.
std::vector<VRDentity> followed(VRDentity form) {
    std::vector<VRDentity> next;
    for (uint32_t i = VRDformEntityCount(form); i-- > 0;) next.push_back(VRDformGetEntity(form, i));
    next.push_back(vrd::propertyListOf(VRDget(nullptr), form));
    return next;
}

// Whether a deep copy of the forms in `roots` fits the budget; takes it.
// The walk itself looks at a bounded number of entities.  A tree that lists
// a killed form is not copied: the copy may take that record for one of its
// own forms, so the tree grows as it is copied.
bool copyIsSmall(const std::vector<VRDentity> &roots) {
    long made = 0, looked = 0;
    std::vector<std::pair<VRDentity, std::vector<VRDentity>>> path;  // a form and what is still to visit
    std::set<uint64_t> onPath;
    for (VRDentity root : roots) {
        if ((root.first & 0x80000000u) == 0) continue;
        path.push_back({root, followed(root)});
        onPath.insert(wordOf(root));
        made += static_cast<long>(path.back().second.size());
        if (made > copyBudget) return false;
        while (!path.empty()) {
            if (path.back().second.empty()) {
                onPath.erase(wordOf(path.back().first));
                path.pop_back();
                continue;
            }
            VRDentity e = path.back().second.back();
            path.back().second.pop_back();
            if (++looked > 100000) return false;
            if ((e.first & 0x80000000u) == 0 || onPath.count(wordOf(e)) != 0) continue;
            if (VRDformIsKilled(e) != 0) return false;
            path.push_back({e, followed(e)});
            made += static_cast<long>(path.back().second.size());
            if (made > copyBudget) return false;
            onPath.insert(wordOf(e));
        }
    }
    copyBudget -= made;
    return true;
}

// The operations that make or remove several forms: when one fails for want
// of memory, every live form is as it was.
template <typename Operation>
void atomically(bool failing, Operation operation) {
    std::vector<FormView> before = failing ? liveForms() : std::vector<FormView>();
    seenCodes.clear();
    int result = operation();
    if (failing && result != 0 && !seenCodes.empty() && seenCodes.front() == VRD_E_NOMEM)
        require(liveForms() == before, "a failed operation leaves every live form as it was");
}

void changeForms(Input &in, int op, bool failing) {
    World &w = world();
    VRDentity f = pickForm(in), made{};
    const char *keyword;
    switch (op) {
    case 0: {
        uint32_t key = pickKey(in, &keyword);
        if (VRDformCreate(pickForm(in), key, keyword, &made) == 0) w.note(made);
        break;
    }
    case 1: {
        uint32_t key = pickKey(in, &keyword);
        VRDentity owner = in.byte() < 16 ? VRDnullEntity() : f;
        if (VRDformAddForm(owner, pickPosition(in, f), key, keyword, &made) == 0 || made.first != 0) w.note(made);
        break;
    }
    case 2: {
        VRDentity batch[4];
        uint32_t n = in.byte() % 5;
        for (uint32_t i = 0; i < n; ++i) batch[i] = pickEntity(in);
        VRDformAddEntities(f, pickPosition(in, f), n, batch);
        break;
    }
    case 3: VRDformSetEntity(f, pickPosition(in, f), pickEntity(in)); break;
    case 4: VRDformDeleteEntities(f, pickPosition(in, f), in.byte() % 4); break;
    case 5: VRDformSetOwner(f, in.byte() < 32 ? VRDnullEntity() : pickForm(in)); break;
    case 6: {
        auto name = static_cast<int32_t>(in.byte() < 200 ? in.byte() % 8 : in.word());
        auto value = static_cast<int32_t>(in.word());
        atomically(failing, [&] { return VRDformSetProperty(f, name, value); });
        VRDformGetProperty(f, name);
        if (in.byte() < 32) VRDformDeleteProperty(name, f);
        if (in.byte() < 16) VRDformClearProperties(f);
        break;
    }
    case 7: {
        uint32_t key = pickKey(in, &keyword);
        int references = in.byte() & 1;
        atomically(failing, [&] { return VRDformSetKey(f, key, keyword, references, &made); });
        if (made.first != 0) w.note(made);
        break;
    }
    case 8: {
        VRDentity owner = in.byte() < 64 ? VRDnullEntity() : pickForm(in);
        keyword = kKeywords[0];
        uint32_t key = in.byte() < 128 ? (f.first & VRD_NO_KEY) : pickKey(in, &keyword);
        // A killed source's record is free: the copy may take it for one of its own forms.
        bool live = (f.first & 0x80000000u) != 0 && VRDformIsKilled(f) == 0;
        if (!copyIsSmall({f})) break;
        atomically(failing, [&] { return VRDformCopy(f, owner, key, keyword, &made); });
        if (made.first != 0) w.note(made);
        if (!failing && live && made.first != 0 && VRDformIsKilled(made) == 0 && key == (f.first & VRD_NO_KEY) &&
            plainDepth(f) >= 0)
            require(textOf(made) == textOf(f), "a copy writes as its source");  // same entities, same layout
        break;
    }
    case 9: {
        VRDentity to = pickForm(in);
        uint32_t first = in.byte() < 32 ? kEnd : in.byte() % 6, count = in.byte() % 4;
        uint32_t position = pickPosition(in, to);
        std::vector<VRDentity> range(VRDformEntityCount(f));
        if (!range.empty()) VRDformGetEntities(0, uint32_t(range.size()), f, range.data());
        if (!copyIsSmall(range)) break;
        atomically(failing, [&] { return VRDformCopyEntities(f, first, count, to, position); });
        break;
    }
    case 10: {
        int recurse = in.byte() & 1, unlink = in.byte() & 1;
        atomically(failing, [&] { return VRDformKill(f, recurse, unlink); });
        break;
    }
    default: VRDformClear(f); break;
    }
}

int32_t VRD_CALL acceptSome(VRDentity form) { return (form.second & 1) == 0; }

void search(Input &in) {
    VRDentity f = pickForm(in), pattern[2] = {pickEntity(in), pickEntity(in)};
    uint32_t n = in.byte() % 3;
    const char *keyword;
    uint32_t key = pickKey(in, &keyword);
    if (key == VRD_NO_KEY) key = f.first & VRD_NO_KEY;
    VRDformFindFirst(key, n, pattern, in.byte() & 1 ? acceptSome : nullptr);
    uint32_t position = 0;
    for (int i = 0; i < 64 && VRDformFindIn(f, key, n, pattern, &position).first != 0; ++i) {
    }
    VRDentity cursor = VRDnullEntity();
    for (int i = 0; i < 64 && VRDformFindUnder(f, key, n, pattern, &cursor, &position).first != 0; ++i) {
    }
    VRDformFindOver(f, key, n, pattern);
    uint32_t keyCursor = VRD_NO_KEY;
    int32_t formCursor = 0;
    for (int i = 0; i < 64 && VRDformFindEntity(&keyCursor, &formCursor, &position, pattern[0]).first != 0; ++i) {
    }
}

void step(Input &in) {
    uint8_t op = in.byte();
    bool failing = false;
    if (op >= 240) {  // the next operation's n-th allocation fails
        failing = true;
        heapwrapFailNth(in.byte() % 48 + 1);
        op = in.byte();
    }
    switch (op % 20) {
    case 0: case 1: case 2: case 3: case 4: case 5: makeValue(in, op % 20); break;
    case 6: case 7: case 8: changeForms(in, in.byte() % 12, failing); break;
    case 9: case 10: changeForms(in, 6 + in.byte() % 6, failing); break;
    case 11: search(in); break;
    case 12: heapwrapFailNth(0), textRoundTrip(pickForm(in)); break;
    case 13:
        if (roundTripsLeft > 0) --roundTripsLeft, binaryRoundTrip(failing);
        break;
    case 14:
        current = 1 - current;
        if (VRDset(nullptr, world().name) != 0) broken("both stores stay");
        break;
    case 15: {
        int mode = in.byte() & 1;
        uncheckedUsed = uncheckedUsed || mode == 0;
        VRDsetCheck(mode);
        break;
    }
    case 16: {
        const char *keyword;
        VRDkeyReuse(pickKey(in, &keyword), in.byte() & 1);
        break;
    }
    default: changeForms(in, in.byte() % 12, failing); break;
    }
    heapwrapFailNth(0);
    checkWorld();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    vrdfuzz::killAllStores();
    VRDsetCheck(1);
    VRDerrorHandler(noteReport);
    for (World &w : worlds) {
        w.forgetValues();
        w.forms.clear();
        w.entities.clear();
        if (VRDnew(w.name) == nullptr) std::abort();
    }
    current = 1;
    uncheckedUsed = false;
    copyBudget = kCopyBudget;
    roundTripsLeft = kRoundTrips;
    Input in{data, size};
    for (int steps = 0; in.n > 0 && steps < 400; ++steps) step(in);
    heapwrapFailNth(0);
    vrdfuzz::killAllStores();
    std::remove(vrdfuzz::scratchPath("api_a").c_str());
    std::remove(vrdfuzz::scratchPath("api_b").c_str());
    VRDerrorHandler(nullptr);
    VRDsetCheck(1);
    return 0;
}
