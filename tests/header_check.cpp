// header_check.cpp - every public header compiled in each C++ standard; vrd.hpp from C++17 on.
#include <vrd/entity.h>
#include <vrd/heapwrap.h>
#include <vrd/textchan.h>
#include <vrd/vrd.h>
#include <vrd/vrd_internal.h>
#if __cplusplus >= 201703L
#include <vrd/vrd.hpp>
#endif

int checkHelpers(VRDentity e);
int checkHelpers(VRDentity e) {
    int n = VRDentityIsForm(e) + VRDentityIsPoint(e) + VRDentityHasValue(e);
    if (VRDentityGetKind(e) == VRD_KIND_FORM) n += static_cast<int>(VRDformGetKey(e));
    if (VRDentityGetSmallInt(e) != VRD_NO_INT) ++n;
#if __cplusplus >= 201703L
    // The class templates and inline members are instantiated only when used.
    vrd::Form form(e);
    for (vrd::Entity item : form.entities()) n += item.isForm() ? 1 : 0;
    if (vrd::Result<vrd::Form> made = vrd::Form::create("check", form)) n += static_cast<int>(made->size());
    n += vrd::toText(form) ? 1 : 0;
#endif
    return n;
}
