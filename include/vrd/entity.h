/** @file entity.h
    @brief Inline decoding of entity words: kind, form key, small integer value.

    A host reads what an entity is without bit tricks of its own.  Nothing here
    calls the library or needs a current store: the answers come from the two
    words alone, decoded in the order every routine of the library uses (form
    bit first, then point bit, then the five-bit tag).  vrd.h includes this
    header. */
#ifndef VRD_ENTITY_H
#define VRD_ENTITY_H

#include "vrd.h"

/** @cond VRD_PRIVATE */
/* `inline` is C99 and C++; C89 compilers spell it their own way, and a plain
   static function is the last resort (unused ones may then draw a warning). */
#if defined(__cplusplus) || (defined(__STDC_VERSION__) && __STDC_VERSION__ >= 199901L)
#define VRD_INLINE static inline
#elif defined(__GNUC__)
#define VRD_INLINE static __inline__
#elif defined(_MSC_VER)
#define VRD_INLINE static __inline
#else
#define VRD_INLINE static
#endif
/** @endcond */

#ifdef __cplusplus
extern "C" {
#endif

/** What an entity holds, as VRDentityGetKind tells it. */
typedef enum VRDkind {
    VRD_KIND_NONE = 0,     /**< the null entity, or a tag that carries no value (0 or 7) */
    VRD_KIND_BIGINT = 1,   /**< an integer of the big-integer pool: read it with VRDintGetValue */
    VRD_KIND_SMALLINT = 2, /**< an integer held in the entity (below 2^27 in magnitude): VRDentityGetSmallInt */
    VRD_KIND_STRING = 4,   /**< a string: VRDstringGetPtrValue */
    VRD_KIND_ID = 5,       /**< an identifier: VRDstringGetPtrValue */
    VRD_KIND_REAL = 6,     /**< a real: VRDrealGetValue */
    VRD_KIND_POINT = 8,    /**< a point: VRDpointGetValue */
    VRD_KIND_FORM = 16     /**< a form: VRDformGetKey, VRDformGetPtrKeyword */
} VRDkind;

/** The value VRDentityGetSmallInt gives for an entity that holds no small
    integer; the same sentinel as VRDintGetValue's, never a small integer. */
#define VRD_NO_INT 0x7FFFFFFF

/** 1 when the entity is a form (bit 31 of its first word), else 0. */
VRD_INLINE int VRDentityIsForm(VRDentity e) {
    return (e.first & 0x80000000u) != 0;
}

/** 1 when the entity is a point (bit 30 set, bit 31 clear), else 0. */
VRD_INLINE int VRDentityIsPoint(VRDentity e) {
    return (e.first & 0xC0000000u) == 0x40000000u;
}

/** 1 when the entity has a kind tag (any of bits 27-31 set), else 0.  An
    optional entity without one (an owner, a property list) counts as absent. */
VRD_INLINE int VRDentityHasValue(VRDentity e) {
    return (e.first >> 27) != 0;
}

/** The kind of the entity. */
VRD_INLINE VRDkind VRDentityGetKind(VRDentity e) {
    switch (e.first >> 27) {
    case 0: return VRD_KIND_NONE;
    case 1: return VRD_KIND_BIGINT;
    case 2: case 3: return VRD_KIND_SMALLINT;
    case 4: return VRD_KIND_STRING;
    case 5: return VRD_KIND_ID;
    case 6: return VRD_KIND_REAL;
    case 7: return VRD_KIND_NONE;
    default: return (e.first & 0x80000000u) ? VRD_KIND_FORM : VRD_KIND_POINT;
    }
}

/** The key of a form entity (its first word without bit 31), or VRD_NO_KEY
    when the entity is not a form. */
VRD_INLINE uint32_t VRDformGetKey(VRDentity form) {
    return (form.first & 0x80000000u) ? (form.first & 0x7FFFFFFFu) : VRD_NO_KEY;
}

/** The integer a small-integer entity holds (tag 3: the payload, tag 2: minus
    the payload), or VRD_NO_INT for every other entity, a big integer included. */
VRD_INLINE int32_t VRDentityGetSmallInt(VRDentity e) {
    uint32_t payload = e.first & 0x7FFFFFFu;
    switch (e.first >> 27) {
    case 3: return (int32_t)payload;
    case 2: return -(int32_t)payload;
    default: return VRD_NO_INT;
    }
}

#ifdef __cplusplus
}
#endif

#endif /* VRD_ENTITY_H */
