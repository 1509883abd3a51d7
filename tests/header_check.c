/* header_check.c - every public header and every inline helper, compiled in each C standard. */
#include <vrd/entity.h>
#include <vrd/heapwrap.h>
#include <vrd/textchan.h>
#include <vrd/vrd.h>
#include <vrd/vrd_internal.h>

/* Uses each helper, so a signature or a conversion that a standard or a
   warning refuses is met here rather than in a host. */
int checkHelpers(VRDentity e);
int checkHelpers(VRDentity e) {
    int n = VRDentityIsForm(e) + VRDentityIsPoint(e) + VRDentityHasValue(e);
    if (VRDentityGetKind(e) == VRD_KIND_FORM) n += (int)VRDformGetKey(e);
    if (VRDentityGetSmallInt(e) != VRD_NO_INT) ++n;
    return n;
}
