// kill.cpp - killing a form with its property list and, on request, the forms its list holds.
#include "forms/forms.h"

namespace {
using vrd::entityCount;

// A kill runs in two passes so that a failure leaves nothing half done.
// The plan walks the tree on an explicit stack (a chain of any depth is
// safe), marking each form killed on entry so that a list reaching it again,
// directly or through sub-forms, skips it, and lists the forms in the order
// the recursive kill releases them: a form's sub-forms in list order, depth
// first, then its property list, then the form.  The release then frees each
// run and puts each record on its key's freeForms chain, and needs no memory.
enum KillStage : uint32_t { kSubForms, kPropertyList, kDone };

struct KillFrame {
    uint32_t key;
    uint32_t index;
    uint32_t next;  // the next list position to look at
    KillStage stage;
    bool recurse;
};

struct FormRef {
    uint32_t key;
    uint32_t index;
};

FormRecord &recordOf(VRDstore *s, uint32_t key, uint32_t index) {
    return vrd::forms(s).keyRecords[key].formRecords[index];
}

// How the plan ended: complete, short of memory (reported), or at a listed
// form that does not resolve (not yet reported: the unlink comes first).
enum class Planned { Whole, NoMemory, BadForm };

struct KillPlan {
    vrd::ScratchStack<KillFrame> stack;
    vrd::ScratchStack<FormRef> order;  // release order

    // Stacks a live form; a form killed before, or met again, is skipped.
    Planned enter(VRDstore *s, VRDentity form, bool recurse) {
        KeyRecord *k;
        FormRecord *f;
        if (!vrd::resolveForm(s, form, nullptr, &k, &f)) return Planned::BadForm;
        if (vrd::isKilled(*f)) return Planned::Whole;
        if (!stack.push(KillFrame{vrd::formKey(form), form.second, 0, kSubForms, recurse})) return Planned::NoMemory;
        f->flagsCount |= vrd::kFlagKilled;
        return Planned::Whole;
    }

    // Walks to the end, or to the first failure.  A frame reference is not
    // used after a push, which may move the stack.
    Planned run(VRDstore *s) {
        while (!stack.empty()) {
            KillFrame &t = stack.top();
            KeyRecord &k = vrd::forms(s).keyRecords[t.key];
            FormRecord &f = k.formRecords[t.index];
            Planned step = Planned::Whole;
            if (t.stage == kSubForms && t.recurse && vrd::holdsForms(f) && t.next < entityCount(f)) {
                VRDentity e = vrd::listOf(k, f)[t.next++];
                if (vrd::isForm(e)) step = enter(s, e, true);
            } else if (t.stage != kDone) {
                t.stage = kDone;
                // The property list dies with its form, whatever `recurse` says.
                if (vrd::hasTag(f.propertyList)) step = enter(s, f.propertyList, true);
            } else {
                if (!order.push(FormRef{t.key, t.index})) return Planned::NoMemory;
                stack.pop();
            }
            if (step != Planned::Whole) return step;
        }
        return Planned::Whole;
    }

    // Takes the marks off the forms not released: all of them, or those
    // still on the stack.
    void unmark(VRDstore *s, bool planned) {
        for (size_t i = 0; i < stack.size(); ++i) recordOf(s, stack[i].key, stack[i].index).flagsCount &= ~vrd::kFlagKilled;
        for (size_t i = 0; planned && i < order.size(); ++i)
            recordOf(s, order[i].key, order[i].index).flagsCount &= ~vrd::kFlagKilled;
    }

    // Releases the listed forms in order: their runs go back to the slab and
    // their records onto the freeForms chain, reuse switched on.  Runs are
    // taken from the records as they are now (the unlink may have moved one).
    int release(VRDstore *s) {
        for (size_t i = 0; i < order.size(); ++i) {
            KeyRecord &k = vrd::forms(s).keyRecords[order[i].key];
            FormRecord &f = k.formRecords[order[i].index];
            uint32_t c = entityCount(f);
            if (c >= 2 && freeElist(&k, static_cast<int>(f.entityData[0]), static_cast<int>(c)) != 0) return 1;
            vrd::releaseRecord(k, order[i].index);
            k.reuseFreedForms = 1;
        }
        return 0;
    }
};

// Removes the form's first occurrence from its owner's list; false when the
// deletion fails (reported).
bool unlinkFromOwner(VRDstore *s, VRDentity form) {
    KeyRecord *k;
    FormRecord *f;
    if (!vrd::resolveForm(s, form, nullptr, &k, &f) || !vrd::hasTag(f->owner)) return true;
    VRDentity owner = f->owner;
    int32_t p = VRDentityGetPosition(owner, form);
    return p == -1 || VRDformDeleteEntities(owner, static_cast<uint32_t>(p), 1) == 0;
}

}  // namespace

extern "C" {

// Lack of memory leaves the store as it was.  A listed form that does not
// resolve ends the kill as the recursive kill ends there: after the unlink,
// with the forms before it in release order killed and the rest untouched.
int VRD_CALL VRDformKill(VRDentity form, int recurse, int unlink) {
    VRDstore *s = vrd::needStore("VRDformKill");
    if (s == nullptr) return 1;
    KeyRecord *k;
    FormRecord *f;
    if (!vrd::resolveForm(s, form, "VRDformKill", &k, &f)) return 1;
    // A second kill would put the record on the freeForms chain twice.
    if (vrd::isKilled(*f)) return 0;
    KillPlan plan;
    Planned planned = plan.enter(s, form, recurse != 0);
    if (planned == Planned::Whole) planned = plan.run(s);
    if (planned == Planned::NoMemory) {
        plan.unmark(s, true);
        vrd::report("VRDformKill", VRD_E_NOMEM);
        return 1;
    }
    if (unlink != 0 && !unlinkFromOwner(s, form)) {
        plan.unmark(s, true);
        return 1;
    }
    if (planned == Planned::BadForm) {
        if (vrd::checkMode) vrd::report("VRDformKill", VRD_E_BADFORM);
        plan.unmark(s, false);
        plan.release(s);
        return 1;
    }
    return plan.release(s);
}

}  // extern "C"
