/* hello.c - a first tour of the vrd C interface: build a small tree, read it back. */
#include <stdio.h>

#include <vrd/vrd.h>

static void VRD_CALL onError(const char *routine, int code) {
    fprintf(stderr, "vrd error %d in %s\n", code, routine);
}

int main(void) {
    VRDentity none = {0, 0}, machine, part, value;
    uint32_t i, count;

    VRDerrorHandler(onError);
    if (VRDnew("demo") == NULL) return 1;

    /* A form of keyword "machine" with a name, a big integer and a nested part. */
    if (VRDformCreate(none, VRD_NO_KEY, "machine", &machine) != 0) return 1;
    VRDformAddString(machine, (uint32_t)-1, "press 7", &value);
    VRDformAddInt(machine, (uint32_t)-1, 250000000, &value);
    VRDformAddForm(machine, (uint32_t)-1, VRD_NO_KEY, "part", &part);
    VRDformAddInt(part, (uint32_t)-1, -12, &value);
    VRDpointCreate(3, 4, &value);
    VRDformAddEntities(part, (uint32_t)-1, 1, &value);
    VRDformSetProperty(machine, 1, 42);

    count = VRDformEntityCount(machine);
    printf("%s holds %u entities\n", VRDformGetPtrKeyword(machine), count);
    for (i = 0; i < count; ++i) {
        VRDentity e = VRDformGetEntity(machine, i);
        switch (VRDentityGetKind(e)) {  /* entity.h decodes the words */
        case VRD_KIND_FORM:
            printf("  form %s owned by %s\n", VRDformGetPtrKeyword(e),
                   VRDformGetPtrKeyword(VRDformGetOwner(e)));
            break;
        case VRD_KIND_STRING:
            printf("  string \"%s\"\n", VRDstringGetPtrValue(e));
            break;
        case VRD_KIND_SMALLINT:
            printf("  small integer %d\n", VRDentityGetSmallInt(e));
            break;
        case VRD_KIND_BIGINT:
            printf("  integer %d\n", VRDintGetValue(e));
            break;
        default:
            printf("  another kind of value\n");
            break;
        }
    }
    value = VRDformGetEntity(part, 1);
    printf("part's point is (%d, %d); property 1 is %d\n", VRDpointGetX(value), VRDpointGetY(value),
           VRDformGetProperty(machine, 1));

    /* Find the part again by pattern: its first entity is the integer -12. */
    VRDintCreate(-12, &value);
    {
        VRDentity found = VRDformFindFirst(VRDformGetKey(part), 1, &value, NULL);
        int same = found.first == part.first && found.second == part.second;
        printf("found the part again: %s\n", same ? "yes" : "no");
        if (!same) return 1;
    }
    return VRDformKill(machine, 1, 0);
}
