// search.cpp - pattern search over forms: by key, in one list, down the tree and up the owners.
#include "frame/formset.h"
#include "forms/forms.h"

namespace {

constexpr VRDentity kNone = vrd::nullEntity();

// One level of the depth-first walk: a form and the next position to scan.
struct Frame {
    VRDentity form;
    uint32_t position;
};

// The holder's list position of `form` (its first occurrence), or
// 0xFFFFFFFF when the holder does not list it.
uint32_t positionIn(const VRDstore *s, VRDentity holder, VRDentity form) {
    KeyRecord *k;
    FormRecord *f;
    if (!vrd::resolveForm(s, holder, nullptr, &k, &f)) return 0xFFFFFFFFu;
    const VRDentity *list;
    uint32_t count = vrd::peekList(*k, *f, &list);
    for (uint32_t i = 0; i < count; ++i)
        if (vrd::sameEntity(list[i], form)) return i;
    return 0xFFFFFFFFu;
}

// The number of entities a form holds for scanning: 0 unless holdsForms.
uint32_t scanList(const VRDstore *s, VRDentity form, const VRDentity **list) {
    KeyRecord *k;
    FormRecord *f;
    if (!vrd::resolveForm(s, form, nullptr, &k, &f) || !vrd::holdsForms(*f)) return 0;
    return vrd::peekList(*k, *f, list);
}

uint32_t listLength(const VRDstore *s, VRDentity form) {
    const VRDentity *list;
    KeyRecord *k;
    FormRecord *f;
    return vrd::resolveForm(s, form, nullptr, &k, &f) ? vrd::peekList(*k, *f, &list) : 0;
}

// The outcome of one walk of VRDformFindUnder: the result (or the null
// entity) and the cursor to leave with the caller; `ok` false when memory
// for the walk ran short.
struct UnderResult {
    VRDentity found;
    VRDentity current;
    uint32_t position;
    bool ok;
};

// Walks from (current, position) as the recursive search does: each list
// in order, forms of another key searched completely before the next
// entity, forms of `key` candidates but never entered; when the bottom form
// is done, climb to its owner and go on after it, until the root is done.
// No form is entered or climbed to twice within one call, and a climb that
// loses the root restarts from the root once, so the walk always ends.
UnderResult walkUnder(const VRDstore *s, VRDentity root, uint32_t key, uint32_t n, const VRDentity *pattern,
                      VRDentity current, uint32_t position) {
    vrd::FormSet seen;  // no form is entered twice, so no walk can loop
    vrd::ScratchStack<Frame> stack;
    if (!seen.insert(current) || !stack.push({current, position})) return {kNone, kNone, 0, false};
    for (;;) {
        Frame frame = stack.top();
        const VRDentity *list = nullptr;
        uint32_t count = scanList(s, frame.form, &list);
        if (frame.position < count) {
            VRDentity e = list[frame.position];
            stack.top().position = frame.position + 1;
            if (!vrd::isForm(e) || seen.contains(e)) continue;
            if (vrd::formKey(e) == key) {
                if (n == 0 || vrd::entityMatches(s, e, n, pattern)) return {e, frame.form, frame.position, true};
                continue;
            }
            if (!seen.insert(e) || !stack.push({e, 0})) return {kNone, kNone, 0, false};
            continue;
        }
        if (stack.size() > 1) {
            stack.pop();
            continue;
        }
        if (vrd::sameEntity(frame.form, root)) return {kNone, root, frame.position, true};
        VRDentity owner = vrd::peekOwner(s, frame.form);
        if (!vrd::hasTag(owner)) {
            // The owner chain ends before the root: a new search from the root.
            seen.clear();
            if (!seen.insert(root)) return {kNone, kNone, 0, false};
            stack.top() = {root, 0};
            continue;
        }
        if (seen.contains(owner)) return {kNone, root, listLength(s, root), true};  // owner links loop
        if (!seen.insert(owner)) return {kNone, kNone, 0, false};
        stack.top() = {owner, positionIn(s, owner, frame.form) + 1};
    }
}

}  // namespace

extern "C" {

VRDentity VRD_CALL VRDformFindFirst(uint32_t key, uint32_t n, const VRDentity *pattern, VRDacceptProc accept) {
    VRDstore *s = vrd::needStore("VRDformFindFirst");
    if (s == nullptr) return kNone;
    // Forms that the accept routine creates are not visited.
    uint32_t count = vrd::formCountOf(s, key);
    for (uint32_t i = 0; i < count; ++i) {
        // Looked up afresh each time: the accept routine may grow the arrays
        // or switch the current store.
        s = vrd::currentStore;
        VRDentity form = vrd::formEntity(key, i);
        KeyRecord *k;
        FormRecord *f;
        if (!vrd::resolveForm(s, form, nullptr, &k, &f)) return kNone;
        if (vrd::isKilled(*f) || !vrd::formMatches(*k, *f, n, pattern)) continue;
        if (accept == nullptr || accept(form) != 0) return form;
    }
    return kNone;
}

VRDentity VRD_CALL VRDformFindNext(uint32_t key, uint32_t n, const VRDentity *pattern, int32_t *cursor) {
    VRDstore *s = vrd::needStore("VRDformFindNext");
    if (s == nullptr) return kNone;
    // A key that is out of range or has no form array has no forms.
    uint32_t count = vrd::formCountOf(s, key);
    while (static_cast<int64_t>(*cursor) < static_cast<int64_t>(count)) {
        int32_t i = (*cursor)++;
        if (i < 0) continue;  // before the first form: nothing to read
        VRDentity form = vrd::formEntity(key, static_cast<uint32_t>(i));
        KeyRecord *k;
        FormRecord *f;
        if (vrd::resolveForm(s, form, nullptr, &k, &f) && !vrd::isKilled(*f) && vrd::formMatches(*k, *f, n, pattern))
            return form;
    }
    ++*cursor;
    return kNone;
}

VRDentity VRD_CALL VRDformFindIn(VRDentity form, uint32_t key, uint32_t n, const VRDentity *pattern, uint32_t *position) {
    VRDstore *s = vrd::needStore("VRDformFindIn");
    if (s == nullptr) return kNone;
    KeyRecord *k;
    FormRecord *f;
    if (!vrd::resolveForm(s, form, "VRDformFindIn", &k, &f)) return kNone;
    const VRDentity *list = nullptr;
    uint32_t count = vrd::peekList(*k, *f, &list);
    while (*position < count) {
        VRDentity e = list[(*position)++];
        if (vrd::isForm(e) && vrd::formKey(e) == key && vrd::entityMatches(s, e, n, pattern)) return e;
    }
    return kNone;
}

VRDentity VRD_CALL VRDformFindUnder(VRDentity root, uint32_t key, uint32_t n, const VRDentity *pattern,
                                    VRDentity *current, uint32_t *position) {
    VRDstore *s = vrd::needStore("VRDformFindUnder");
    if (s == nullptr) return kNone;
    VRDentity from = *current;
    uint32_t at = *position + 1;  // resume after the last result
    if (!vrd::hasTag(from)) {
        from = root;
        at = 0;
    }
    UnderResult r = walkUnder(s, root, key, n, pattern, from, at);
    // Short of memory the cursor is left as the caller gave it.
    if (!r.ok) return kNone;
    *current = r.current;
    *position = r.position;
    return r.found;
}

VRDentity VRD_CALL VRDformFindOver(VRDentity form, uint32_t key, uint32_t n, const VRDentity *pattern) {
    VRDstore *s = vrd::needStore("VRDformFindOver");
    if (s == nullptr) return kNone;
    // A cycle test on the owner chain (a mark moved ahead at doubling
    // intervals, compared at every step): a loop of owners ends the
    // climb once every form of the loop has been a candidate.
    VRDentity mark = form;
    uint64_t steps = 0, limit = 1;
    for (VRDentity o = vrd::peekOwner(s, form); vrd::hasTag(o); o = vrd::peekOwner(s, o)) {
        if (vrd::formKey(o) == key && vrd::entityMatches(s, o, n, pattern)) return o;
        if (vrd::sameEntity(o, mark)) return kNone;
        if (++steps == limit) {
            mark = o;
            limit *= 2;
            steps = 0;
        }
    }
    return kNone;
}

}  // extern "C"
