// copy.cpp - deep copy of forms and entity ranges, keyword and key tests, and moving a form to another key.
#include "forms/forms.h"
#include "frame/formset.h"

namespace {

constexpr uint32_t kAppend = 0xFFFFFFFFu;

// One form being copied.  Phases follow the order of the copy: the property
// list first, then the record itself, then the forms its list holds, in
// list order, each copied completely before the next.
enum class Phase : uint32_t { Properties, Fill, Entities };

struct CopyFrame {
    VRDentity source;
    VRDentity copy;
    VRDentity properties;  // the copy of the source's property list, or null
    uint32_t position;     // next list position to look at (Entities)
    Phase phase;
};

// Moves n whole entities from one slab run to another; the runs may lie in
// the same slab, which getElist may just have moved, so both addresses are
// taken only now.
void moveRun(KeyRecord &to, uint32_t toFirst, const KeyRecord &from, uint32_t fromFirst, uint32_t n) {
    const VRDentity *source = vrd::slabOf(from) + fromFirst;
    std::memmove(vrd::slabOf(to) + toFirst, source, static_cast<size_t>(n) * sizeof(VRDentity));
}

// Fills a new copy's record: it takes the source's list (into
// a run of its own key's slab), its holdsForms flag and the property-list
// copy.  False on failure (reported by formptr or getElist).
bool fillCopy(const CopyFrame &frame) {
    KeyRecord *sk, *ck;
    FormRecord *sf, *cf;
    if (formptr(frame.source, &sk, &sf) != 0 || formptr(frame.copy, &ck, &cf) != 0) return false;
    uint32_t n = vrd::entityCount(*sf);
    int run = 0;
    if (n >= 2 && (run = getElist(ck, n)) < 0) return false;
    cf->flagsCount =
        (cf->flagsCount & ~(vrd::kFlagHoldsForms | vrd::kCountField)) | (sf->flagsCount & vrd::kFlagHoldsForms);
    vrd::setEntityCount(*cf, n);
    cf->propertyList = frame.properties;
    if (n < 2) {
        cf->entityData[0] = sf->entityData[0];
        cf->entityData[1] = sf->entityData[1];
    } else {
        moveRun(*ck, static_cast<uint32_t>(run), *sk, sf->entityData[0], n);
        cf->entityData[0] = static_cast<uint32_t>(run);
    }
    return true;
}

// The source's property list when it resolves and holds entities; else null.
VRDentity propertiesToCopy(const VRDstore *s, VRDentity source) {
    KeyRecord *k;
    FormRecord *f;
    if (!vrd::resolveForm(s, source, nullptr, &k, &f) || !vrd::hasTag(f->propertyList)) return vrd::nullEntity();
    VRDentity list = f->propertyList;
    if (!vrd::resolveForm(s, list, nullptr, &k, &f) || vrd::entityCount(*f) == 0) return vrd::nullEntity();
    return list;
}

// Every form a copy has made, in order of creation, so that a copy that
// fails can release them all: nothing it made is left behind, and nothing
// left behind names the source's forms.
using MadeForms = vrd::ScratchStack<VRDentity>;

// Creates a form for a copy and notes it; false after a report.
bool createNoted(VRDstore *s, MadeForms &made, VRDentity owner, uint32_t key, const char *keyword,
                 VRDentity *form) {
    if (VRDformCreate(owner, key, keyword, form) != 0) return false;
    if (made.push(*form)) return true;
    vrd::discardForm(s, *form);
    vrd::report("VRDformCopy", VRD_E_NOMEM);
    return false;
}

// Releases what a failed copy made, the last made first, so that the
// records go back on their chains in the order they came off.
void discardMade(VRDstore *s, MadeForms &made) {
    while (!made.empty()) {
        vrd::discardForm(s, made.top());
        made.pop();
    }
}

// The path of forms being copied: a stack of frames, and the set of their
// sources, so that a form that holds itself (directly or further down) is
// not copied into itself without end.
struct CopyWalk {
    VRDstore *store;
    MadeForms &made;
    vrd::ScratchStack<CopyFrame> stack;
    vrd::FormSet sources;

    // Pushes the copy of `source` into the new form `copy`.
    bool push(VRDentity source, VRDentity copy) {
        if (!sources.insert(source) || !stack.push({source, copy, vrd::nullEntity(), 0, Phase::Properties})) {
            vrd::report("VRDformCopy", VRD_E_NOMEM);
            return false;
        }
        return true;
    }
    // Starts the copy of `source` as a new form owned by `owner`.
    bool begin(VRDentity source, VRDentity owner, uint32_t key) {
        VRDentity copy;
        return createNoted(store, made, owner, key, nullptr, &copy) && push(source, copy);
    }
    VRDentity pop() {
        VRDentity done = stack.top().copy;
        sources.erase(stack.top().source);
        stack.pop();
        return done;
    }
};

// The deep copy without recursion: the stack holds the path of forms being
// copied, and a finished copy is handed to the frame below it, either as
// its property list or as the replacement of the list entity it came from.
// A form met again on its own path is left as it stands, shared.  Every
// form made is noted in `made`; on failure the caller releases them.
int copyTree(VRDstore *s, MadeForms &made, VRDentity source, VRDentity owner, uint32_t key, const char *keyword,
             VRDentity *copy) {
    CopyWalk walk{s, made, {}, {}};
    // The caller sees the new form even when filling it fails.
    if (!createNoted(s, made, owner, key, keyword, copy) || !walk.push(source, *copy)) return 1;
    while (!walk.stack.empty()) {
        CopyFrame &top = walk.stack.top();
        if (top.phase == Phase::Properties) {
            top.phase = Phase::Fill;
            VRDentity list = propertiesToCopy(s, top.source);
            if (vrd::hasTag(list) && !walk.sources.contains(list) && !walk.begin(list, top.copy, vrd::formKey(list)))
                return 1;
            continue;
        }
        if (top.phase == Phase::Fill) {
            if (!fillCopy(top)) return 1;
            top.phase = Phase::Entities;
            KeyRecord *k;
            FormRecord *f;
            if (formptr(top.copy, &k, &f) != 0) return 1;
            if (!vrd::holdsForms(*f)) top.position = kAppend;  // nothing nested to copy
        }
        if (top.position != kAppend) {
            // The list ends at the first untagged entity (reading past the end gives one).
            VRDentity e = VRDformGetEntity(top.copy, top.position);
            if (vrd::hasTag(e)) {
                if (!vrd::isForm(e) || walk.sources.contains(e)) {
                    ++top.position;
                } else if (!walk.begin(e, top.copy, vrd::formKey(e))) {
                    return 1;
                }
                continue;
            }
        }
        // This copy is complete: hand it to the form that holds it.
        VRDentity done = walk.pop();
        if (walk.stack.empty()) break;
        CopyFrame &holder = walk.stack.top();
        if (holder.phase == Phase::Fill) {
            holder.properties = done;
        } else {
            if (VRDformSetEntity(holder.copy, holder.position, done) != 0) return 1;
            ++holder.position;
        }
    }
    return 0;
}

// Points the owner of `form` at `to` when it names `from`.
void reown(const VRDstore *s, VRDentity form, VRDentity from, VRDentity to) {
    KeyRecord *k;
    FormRecord *f;
    if (vrd::resolveForm(s, form, nullptr, &k, &f) && vrd::sameEntity(f->owner, from)) f->owner = to;
}

// After a move from `from` to `to`, the forms the moved list holds and its
// property list are owned by the new record, so that searches up and down
// the tree still agree.
void reownHeld(const VRDstore *s, VRDentity from, VRDentity to) {
    KeyRecord *k;
    FormRecord *f;
    if (!vrd::resolveForm(s, to, nullptr, &k, &f)) return;
    reown(s, f->propertyList, from, to);
    const VRDentity *list = nullptr;
    uint32_t count = vrd::peekList(*k, *f, &list);
    for (uint32_t i = 0; i < count; ++i)
        if (vrd::isForm(list[i])) reown(s, list[i], from, to);
}

// Moving a form: its owner's list names the new record in place of the
// old one, and the new record names the owner.  Nothing is written outside
// the owner's list when the owner does not list the form.
bool takeOwnerPlace(VRDentity owner, VRDentity from, VRDentity to) {
    int32_t p = VRDentityGetPosition(owner, from);
    if (p < 0 && !vrd::checkMode) return false;
    if (VRDformSetEntity(owner, static_cast<uint32_t>(p), to) != 0) return false;
    // The owner's list has just resolved, so the owner passes this call's test.
    return VRDformSetOwner(to, owner) == 0;
}

// The new record `to` takes over everything of `from` (its list in a run
// of its own key's slab; its reserved flag bits stay its own) and its place
// in the owner's list.  False after a report, the owner's list unchanged.
bool moveRecord(VRDentity from, VRDentity to) {
    KeyRecord *ak, *bk;
    FormRecord *af, *bf;
    if (formptr(from, &ak, &af) != 0 || formptr(to, &bk, &bf) != 0) return false;
    uint32_t n = vrd::entityCount(*af);
    int run = 0;
    if (n >= 2 && (run = getElist(bk, n)) < 0) return false;
    bf->owner = af->owner;
    bf->propertyList = af->propertyList;
    bf->flagsCount =
        (bf->flagsCount & vrd::kReservedFlags) | (af->flagsCount & (vrd::kFlagKilled | vrd::kFlagHoldsForms));
    vrd::setEntityCount(*bf, n);
    if (n < 2) {
        bf->entityData[0] = af->entityData[0];
        bf->entityData[1] = af->entityData[1];
    } else {
        moveRun(*bk, static_cast<uint32_t>(run), *ak, af->entityData[0], n);
        bf->entityData[0] = static_cast<uint32_t>(run);
    }
    VRDentity owner = af->owner;
    return !vrd::hasTag(owner) || takeOwnerPlace(owner, from, to);
}

// Moving a form with references: every list position that names the old record names the new one.
bool redirectReferences(VRDentity from, VRDentity to) {
    uint32_t keyCursor = VRD_NO_KEY, position = 0;
    int32_t formCursor = 0;
    for (;;) {
        VRDentity holder = VRDformFindEntity(&keyCursor, &formCursor, &position, from);
        if (!vrd::hasTag(holder)) return true;
        if (VRDformSetEntity(holder, position, to) != 0) return false;
    }
}

}  // namespace

extern "C" {

int VRD_CALL VRDformCopy(VRDentity source, VRDentity owner, uint32_t key, const char *keyword, VRDentity *copy) {
    VRDstore *s = vrd::needStore("VRDformCopy");
    if (s == nullptr) return 1;
    MadeForms made;
    if (copyTree(s, made, source, owner, key, keyword, copy) == 0) return 0;
    discardMade(s, made);
    return 1;
}

int VRD_CALL VRDformCopyEntities(VRDentity source, uint32_t first, uint32_t count, VRDentity destination,
                                 uint32_t position) {
    VRDstore *s = vrd::needStore("VRDformCopyEntities");
    if (s == nullptr) return 1;
    if (count == 0) return 0;
    KeyRecord *k;
    FormRecord *f;
    if (formptr(source, &k, &f) != 0) return 1;
    uint32_t available = vrd::entityCount(*f);
    if (first == kAppend) first = available - 1;
    if (static_cast<uint64_t>(first) + count > available) {
        // Unchecked, a range beyond the list is still never read.
        if (vrd::checkMode) vrd::report("VRDformCopyEntities", VRD_E_BADPOSITION);
        return 1;
    }
    auto *scratch = static_cast<VRDentity *>(mallocMem(static_cast<size_t>(count) * sizeof(VRDentity)));
    if (scratch == nullptr) {
        vrd::report("VRDformCopyEntities", VRD_E_NOMEM);
        return 1;
    }
    std::memmove(scratch, vrd::listOf(*k, *f) + (available == 1 ? 0 : first),
                 static_cast<size_t>(count) * sizeof(VRDentity));
    // The copies are released again when one of them or the insertion fails.
    MadeForms made;
    int result = 0;
    for (uint32_t i = 0; i < count && result == 0; ++i)
        if (vrd::isForm(scratch[i]))
            result = copyTree(s, made, scratch[i], destination, vrd::formKey(scratch[i]), nullptr, &scratch[i]);
    if (result == 0) result = VRDformAddEntities(destination, position, count, scratch);
    if (result != 0) discardMade(s, made);
    freeMem(scratch);
    return result;
}

void VRD_CALL VRDformGetKeyword(VRDentity form, char *buffer, int32_t size) {
    if (size >= 1) buffer[0] = '\0';
    if (vrd::needStore("VRDformGetKeyword") == nullptr) return;
    VRDkeyGetValue(vrd::formKey(form), buffer, size);
}

const char *VRD_CALL VRDformGetPtrKeyword(VRDentity form) {
    if (vrd::needStore("VRDformGetPtrKeyword") == nullptr) return nullptr;
    // The keyword table's own getter makes the key test and its report.
    return VRDkeyGetPtrValue(vrd::formKey(form));
}

int VRD_CALL VRDformCmpKeys(VRDentity form, uint32_t count, const uint32_t *keys) {
    if (vrd::needStore("VRDformCmpKeys") == nullptr) return 0;
    uint32_t key = vrd::formKey(form);
    for (uint32_t i = 0; i < count; ++i)
        if (keys[i] == key) return 1;
    return 0;
}

// The new record is released again when the move fails before the old
// record is given up; the old one is then as it was.
int VRD_CALL VRDformSetKey(VRDentity form, uint32_t key, const char *keyword, int references, VRDentity *moved) {
    VRDstore *s = vrd::needStore("VRDformSetKey");
    if (s == nullptr) return 1;
    VRDentity to;
    if (VRDformCreate(vrd::nullEntity(), key, keyword, &to) != 0) return 1;
    *moved = to;
    if (!moveRecord(form, to)) {
        vrd::discardForm(s, to);
        return 1;
    }
    // Past this point nothing fails in a sound store: every reference found
    // lies in a live list, and the old run lies in its slab.
    if (references != 0 && !redirectReferences(form, to)) return 1;
    KeyRecord *ak;
    FormRecord *af;
    if (formptr(form, &ak, &af) != 0) return 1;
    uint32_t n = vrd::entityCount(*af);
    if (n >= 2 && freeElist(ak, static_cast<int>(af->entityData[0]), static_cast<int>(n)) != 0) return 1;
    reownHeld(s, form, to);
    // A killed record may be on its key's chain already: freeing it again
    // there would link the chain to itself, and creation would hand it out
    // twice.  Taken off first, it goes back at the head once.
    if (vrd::isKilled(*af)) vrd::unchainRecord(*ak, form.second);
    vrd::releaseRecord(*ak, form.second);
    return 0;
}

}  // extern "C"
