/** @file vrd.h
    @brief The exported interface of the vrd data-structure library. */
#ifndef VRD_VRD_H
#define VRD_VRD_H

#include <stddef.h>
#include <stdint.h>

/** Calling convention: the callee removes its arguments on 32-bit Windows. */
#if defined(_WIN32) && !defined(_WIN64)
#define VRD_CALL __stdcall
#else
#define VRD_CALL
#endif

/** Marks the routines that the shared library exports; everything else is hidden.
    On Windows it is empty: vrd.dll's export table comes from its module-definition
    file alone, so the static library's objects export nothing into a program. */
#if defined(_WIN32)
#define VRD_API
#elif defined(__GNUC__)
#define VRD_API __attribute__((visibility("default")))
#else
#define VRD_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/** A tagged 64-bit value: the kind tag is the top five bits of `first`.
    Bit 31 of `first` set: a form (key in bits 0-30, form index in `second`).
    Bit 30 set: a point.  Otherwise tag 1 big integer, 2 small negative
    integer, 3 small non-negative integer, 4 string, 5 identifier, 6 real.
    The null entity (0, 0) means "no value". */
typedef struct VRDentity {
    uint32_t first;  /**< kind tag in bits 27-31, payload, key or point marker below */
    uint32_t second; /**< form index or packed point coordinates; 0 for the other kinds */
} VRDentity;

/** A point's two signed coordinates. */
typedef struct VRDpoint {
    int32_t x; /**< the x coordinate */
    int32_t y; /**< the y coordinate */
} VRDpoint;

/** A store: one complete set of pools and forms.  Opaque; its handle is its address. */
typedef struct VRDstore VRDstore;

/** Called with the reporting routine's name and the negative code before the
    failing routine returns. */
typedef void(VRD_CALL *VRDerrorHandlerProc)(const char *routine, int code);

/** Called by VRDformFindFirst for each matching form; non-zero accepts it. */
typedef int32_t(VRD_CALL *VRDacceptProc)(VRDentity form);

/** The no-key value: never a valid key; form creation given it takes the
    keyword from a text. */
#define VRD_NO_KEY 0x7FFFFFFFu

/* Error codes: every failure sets the last error to one of these and calls
   the error handler with it.  VRDerrorMessage gives the text of each. */
#define VRD_OK 0                      /**< "No error" */
#define VRD_E_UNKNOWN (-1)            /**< "Unknown error" */
#define VRD_E_NOMEM (-2)              /**< "Can't allocate work space" */
#define VRD_E_NOSTORE (-3)            /**< "Unknown data structure identifier" */
#define VRD_E_NODATA (-4)             /**< "No data in file" */
#define VRD_E_DATABEFORE (-5)         /**< "Unexpected data before first form" */
#define VRD_E_BADPOINT (-6)           /**< "Bad point" */
#define VRD_E_BADSTRING (-7)          /**< "Bad string" */
#define VRD_E_DATAAFTER (-8)          /**< "Unexpected data after last form" */
#define VRD_E_BADFORM (-9)            /**< "Bad form" */
#define VRD_E_OPEN (-10)              /**< "Can't open file" */
/** -25 has no text of its own (VRDerrorMessage gives "Unknown error"): a
    write, the cut at the end of the file or the close failed or came up short
    in VRDfileWriteBinaryChecked, which leaves the system's reason in errno. */
#define VRD_E_WRITE (-25)
#define VRD_E_EOF (-11)               /**< "Unexpected end-of-file" */
#define VRD_E_INCOMPATIBLE (-12)      /**< "Incompatible binary file" */
#define VRD_E_TOOMANYFORMS (-13)      /**< "Too many forms" */
#define VRD_E_BADPOSITION (-14)       /**< "Bad form position" */
#define VRD_E_TOOMANYENTITIES (-15)   /**< "Too many entities in form" */
#define VRD_E_BADLENGTH (-16)         /**< "Bad length" */
#define VRD_E_TOOMANYKEYWORDS (-17)   /**< "Too many keywords" */
#define VRD_E_BADKEY (-18)            /**< "Bad key" */
#define VRD_E_TOOMANYBIGINTS (-19)    /**< "Too many large integers" */
#define VRD_E_TOOMANYREALS (-20)      /**< "Too many real values" */
#define VRD_E_BADINT (-21)            /**< "Bad integer" */
#define VRD_E_BADREAL (-22)           /**< "Bad real" */
#define VRD_E_TOOMANYPOINTS (-23)     /**< "Too many points" */
#define VRD_E_TOOMANYSTRINGS (-24)    /**< "Too many strings" */

/* Every routine below works on the current store.  Called with no current
   store, a routine reports VRD_E_NOSTORE under its own name and returns its
   failure value. */

/* ---- stores ---- */

/** Creates a store named `name` (at most 31 characters) and makes it current;
    null when the name is taken (no report), too long or memory is short. */
VRD_API VRDstore *VRD_CALL VRDnew(const char *name);

/* ---- errors and checking ---- */

/** Installs `handler` (null removes it) and returns the one it replaces. */
VRD_API VRDerrorHandlerProc VRD_CALL VRDerrorHandler(VRDerrorHandlerProc handler);
/** Turns argument and range checks off (0) or on (any other value). */
VRD_API void VRD_CALL VRDsetCheck(int mode);

/* ---- forms ----

   Failures of the operations that make, move or kill several forms
   (VRDformCopy, VRDformSetKey, VRDformKill, VRDformSetProperty, and
   VRDformCopyEntities of vrd_internal.h): the failing call gives its usual
   failure value and report and leaves every live form as it was - its
   owner, property list and list - so that no list names a form by
   mistake: nothing a failed copy made survives to share the source's
   forms, and no live list names a form that a failed kill left half
   killed.  The forms a failed call had made are released again, as killed
   records on their keys' chains of reusable records; each key's reuse
   switch stays as the caller left it, so a failure never makes later
   creations reuse records where they did not.  What stays is what single
   creations leave: keywords, pool values and grown capacities.  The
   exceptions are noted at VRDformAddForm and VRDformKill. */

/** Creates an empty form of `key` (or of `keyword` when key is VRD_NO_KEY)
    owned by `owner`; stores its entity in *form.  0 or 1. */
VRD_API int VRD_CALL VRDformCreate(VRDentity owner, uint32_t key, const char *keyword, VRDentity *form);
/** The form's owner, or the null entity. */
VRD_API VRDentity VRD_CALL VRDformGetOwner(VRDentity form);
/** Replaces the form's owner (no list changes).  0 or -9. */
VRD_API int VRD_CALL VRDformSetOwner(VRDentity form, VRDentity owner);
/** Inserts n entities before `position` (-1 appends).  0 or 1. */
VRD_API int VRD_CALL VRDformAddEntities(VRDentity form, uint32_t position, uint32_t n, const VRDentity *entities);
/** Removes n entities from `position` (-1 = the last).  0 or 1. */
VRD_API int VRD_CALL VRDformDeleteEntities(VRDentity form, uint32_t position, uint32_t n);
/** The entity at `position` (-1 = the last), or the null entity. */
VRD_API VRDentity VRD_CALL VRDformGetEntity(VRDentity form, uint32_t position);
/** Replaces the entity at `position`.  0, 1 (bad form) or -14 (bad position). */
VRD_API int VRD_CALL VRDformSetEntity(VRDentity form, uint32_t position, VRDentity value);
/** Number of entities in the form; 0 when it cannot be resolved. */
VRD_API uint32_t VRD_CALL VRDformEntityCount(VRDentity form);
/** Read-only address of the form's entities and their count; valid until the
    key's next form creation or list length change. */
VRD_API const VRDentity *VRD_CALL VRDformGetPtrEntities(VRDentity form, uint32_t *count);
/** Position of the first entity equal to `value`, or -1. */
VRD_API int32_t VRD_CALL VRDentityGetPosition(VRDentity form, VRDentity value);
/** Creates a form owned by `owner` and inserts it in the owner's list.  0 or
    1; when the insertion fails the new form stays, owned but not listed. */
VRD_API int VRD_CALL VRDformAddForm(VRDentity owner, uint32_t position, uint32_t key, const char *keyword, VRDentity *form);
/** Makes an integer entity and inserts it.  0 or 1. */
VRD_API int VRD_CALL VRDformAddInt(VRDentity form, uint32_t position, int32_t value, VRDentity *result);
/** Makes a string entity and inserts it.  0 or 1. */
VRD_API int VRD_CALL VRDformAddString(VRDentity form, uint32_t position, const char *text, VRDentity *result);
/** Empties the list; owner, properties and listed forms stay.  0 or 1. */
VRD_API int VRD_CALL VRDformClear(VRDentity form);
/** Kills the form (and its property list); `recurse` also kills listed
    forms, `unlink` removes it from its owner's list.  0 or 1.  When memory
    for the walk runs out (-2 under "VRDformKill") nothing is killed or
    unlinked.  A listed form that does not resolve (-9 under "VRDformKill"
    in check mode) ends the kill where a recursive kill would: the form is
    unlinked and the forms released before that point stay killed. */
VRD_API int VRD_CALL VRDformKill(VRDentity form, int recurse, int unlink);
/** Property `name` of the form, or 0x7FFFFFFF. */
VRD_API int32_t VRD_CALL VRDformGetProperty(VRDentity form, int32_t name);
/** Sets property `name` to `value`.  0, 1 or -14.  A form's first
    property that cannot be stored leaves it without a property list. */
VRD_API int VRD_CALL VRDformSetProperty(VRDentity form, int32_t name, int32_t value);
/** Deep-copies `source` (sub-forms and property list) into a new form owned
    by `owner`; the copy is not listed in the owner.  0 or 1; after a failure
    *copy, when it was set, names a killed form. */
VRD_API int VRD_CALL VRDformCopy(VRDentity source, VRDentity owner, uint32_t key, const char *keyword, VRDentity *copy);
/** The keyword text of the form's key, or null. */
VRD_API const char *VRD_CALL VRDformGetPtrKeyword(VRDentity form);
/** 1 when the form's key is one of the `count` keys, else 0. */
VRD_API int VRD_CALL VRDformCmpKeys(VRDentity form, uint32_t count, const uint32_t *keys);
/** Moves the form to another key: a new record takes over its list, owner
    and properties, its place in its owner's list and (with `references`)
    every other list; the listed forms it owns and its property list are
    re-owned by the new record; the old record is freed.  0 or 1; after a
    failure *moved, when it was set, names a killed form and the form has
    not moved. */
VRD_API int VRD_CALL VRDformSetKey(VRDentity form, uint32_t key, const char *keyword, int references, VRDentity *moved);

/* ---- values ---- */

/** Makes the entity of an integer.  0, 1 (memory) or -19 (table full). */
VRD_API int32_t VRD_CALL VRDintCreate(int32_t value, VRDentity *result);
/** The integer of an entity, or 0x7FFFFFFF. */
VRD_API int32_t VRD_CALL VRDintGetValue(VRDentity e);
/** Makes the entity of a real (equal within DBL_EPSILON, absolute).  0, 1 or -20. */
VRD_API int32_t VRD_CALL VRDrealCreate(double value, VRDentity *result);
/** The real of an entity, or the largest finite double. */
VRD_API double VRD_CALL VRDrealGetValue(VRDentity e);
/** Makes the entity of a point.  0 or 1. */
VRD_API int32_t VRD_CALL VRDpointCreate(int32_t x, int32_t y, VRDentity *result);
/** Both coordinates of a point entity. */
VRD_API VRDpoint VRD_CALL VRDpointGetValue(VRDentity e);
/** The x coordinate of a point entity. */
VRD_API int32_t VRD_CALL VRDpointGetX(VRDentity e);
/** The y coordinate of a point entity. */
VRD_API int32_t VRD_CALL VRDpointGetY(VRDentity e);
/** Finds or files a keyword; stores its key in *key.  0 or 1. */
VRD_API int32_t VRD_CALL VRDkeyCreate(const char *keyword, uint32_t *key);
/** The keyword text of a key, or null. */
VRD_API const char *VRD_CALL VRDkeyGetPtrValue(uint32_t key);
/** Makes the string entity of a text.  0 or 1. */
VRD_API int32_t VRD_CALL VRDstringCreate(const char *text, VRDentity *result);
/** Makes the identifier entity of a text.  0 or 1. */
VRD_API int32_t VRD_CALL VRDidCreate(const char *text, VRDentity *result);
/** Copies a string's text into buffer (size bytes, always terminated). */
VRD_API void VRD_CALL VRDstringGetValue(VRDentity e, char *buffer, int32_t size);
/** Read-only address of a string's text, or null; valid until the area grows. */
VRD_API const char *VRD_CALL VRDstringGetPtrValue(VRDentity e);
/** Byte order of two string texts: -1, 0 or 1. */
VRD_API int VRD_CALL VRDstrCmp(const VRDentity *a, const VRDentity *b);

/* ---- search ---- */

/** First live form of `key` matching the pattern that `accept` (if any) accepts. */
VRD_API VRDentity VRD_CALL VRDformFindFirst(uint32_t key, uint32_t n, const VRDentity *pattern, VRDacceptProc accept);
/** Next form entity of `key` in the form's list from *position on that matches. */
VRD_API VRDentity VRD_CALL VRDformFindIn(VRDentity form, uint32_t key, uint32_t n, const VRDentity *pattern, uint32_t *position);
/** Next matching form of `key` below `root`, depth first; start with *current null. */
VRD_API VRDentity VRD_CALL VRDformFindUnder(VRDentity root, uint32_t key, uint32_t n, const VRDentity *pattern,
                                            VRDentity *current, uint32_t *position);
/** Nearest owner above `form` of `key` that matches. */
VRD_API VRDentity VRD_CALL VRDformFindOver(VRDentity form, uint32_t key, uint32_t n, const VRDentity *pattern);

#ifdef __cplusplus
}
#endif

/* Inline decoding of entity words (kind, form key, small integer value). */
#include "entity.h"

#endif /* VRD_VRD_H */
