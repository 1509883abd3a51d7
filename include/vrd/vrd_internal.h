/** @file vrd_internal.h
    @brief Internal operations: in the static library, hidden in the shared one. */
#ifndef VRD_VRD_INTERNAL_H
#define VRD_VRD_INTERNAL_H

#include "vrd.h"
#include "textchan.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The declarations below stay visible to the linker even when the library is
   built with hidden visibility: the complete shared library exports them,
   while libvrd.so keeps them local through its export list. */
#if defined(__GNUC__)
#pragma GCC visibility push(default)
#endif

/* ---- stores ---- */

/** Kills the first store matching `store` or `name`; 0, or 1 after -3. */
int VRD_CALL VRDkill(VRDstore *store, const char *name);
/** Makes the first store matching `store` or `name` current; 0, or 1 after -3. */
int VRD_CALL VRDset(VRDstore *store, const char *name);
/** The store named `name`, or the current store when name is null. */
VRDstore *VRD_CALL VRDget(const char *name);
/** Makes the store after `store` (the first when null) current and returns it. */
VRDstore *VRD_CALL VRDnext(VRDstore *store);

/* ---- errors ---- */

/** Sets the last error to `code` and calls the handler with `routine`. */
void VRD_CALL VRDerrorReport(const char *routine, int code);
/** The message of a code (or of its absolute value). */
const char *VRD_CALL VRDerrorMessage(int code);
/** The library's version text. */
const char *VRD_CALL VRDversion(void);
/** The library's file name. */
const char *VRD_CALL VRDlibName(void);
/** The code of the most recent report (0 before any). */
int VRD_CALL VRDlastError(void);

/* ---- entities ---- */

/** The null entity (0, 0). */
VRDentity VRD_CALL VRDnullEntity(void);
/** 1 when both words are equal, else 0. */
int VRD_CALL VRDentityEqual(VRDentity a, VRDentity b);

/* ---- forms ---- */

/** 1 when the form is killed or cannot be resolved, else 0. */
int VRD_CALL VRDformIsKilled(VRDentity form);
/** Copies up to `max` entities from `start` into buffer; returns how many. */
uint32_t VRD_CALL VRDformGetEntities(uint32_t start, uint32_t max, VRDentity form, VRDentity *buffer);
/** 1 when the entity at `position` equals one of the n entities of `set`. */
int VRD_CALL VRDformCmpEntity(uint32_t position, uint32_t n, VRDentity form, const VRDentity *set);
/** Makes a real entity and inserts it.  0 or 1. */
int VRD_CALL VRDformAddReal(uint32_t position, VRDentity *result, VRDentity form, double value);
/** Removes property `name`; 0 also when it was absent. */
int VRD_CALL VRDformDeleteProperty(int32_t name, VRDentity form);
/** Removes every property, keeping the empty property list.  0 or 1. */
int VRD_CALL VRDformClearProperties(VRDentity form);
/** Stores `list` as the form's property list.  0 or 1. */
int VRD_CALL VRDformSetPropertyList(VRDentity form, VRDentity list);
/** Copies `count` entities from `first` (-1 = the last) of `source` into
    `destination` at `position`, deep-copying forms.  0, 1, or the failure
    value of the insertion; after a failure the copies already made are
    released again and the destination is unchanged. */
int VRD_CALL VRDformCopyEntities(VRDentity source, uint32_t first, uint32_t count,
                                 VRDentity destination, uint32_t position);
/** Copies the keyword of the form's key into buffer (size bytes). */
void VRD_CALL VRDformGetKeyword(VRDentity form, char *buffer, int32_t size);

/* ---- points ---- */

/** The entity VRDpointCreate would give, if that needs no new pool entry; else null. */
VRDentity VRD_CALL VRDpointFind(int32_t x, int32_t y);
/** Makes a point entity and inserts it.  0 or 1. */
int32_t VRD_CALL VRDformAddPoint(uint32_t position, VRDentity *result, VRDentity form, int32_t x, int32_t y);

/* ---- keywords ---- */

/** The key of an existing keyword, or VRD_NO_KEY. */
uint32_t VRD_CALL VRDkeyFind(const char *keyword);
/** Copies a key's keyword into buffer (size bytes, always terminated). */
void VRD_CALL VRDkeyGetValue(uint32_t key, char *buffer, int32_t size);
/** Lets (non-zero) or stops (0) new forms of the key reusing killed records.  0 or 1. */
int32_t VRD_CALL VRDkeyReuse(uint32_t key, int32_t reuse);

/* ---- strings ---- */

/** Length of a string's text; 0 on failure. */
int32_t VRD_CALL VRDstringLength(VRDentity e);
/** Copies `count` bytes from `start` of a string's text into buffer. */
void VRD_CALL VRDstringGetChunk(VRDentity e, int32_t start, int32_t count, char *buffer, int32_t size);
/** Stores the text with `count` bytes at `start` replaced by `replacement`.  0 or 1. */
int32_t VRD_CALL VRDstringChunkCreate(VRDentity e, int32_t start, int32_t count, const char *replacement,
                                      VRDentity *result);
/** Narrows the chunk (*position, *length) to `count` units from unit `first`;
    unit 0 characters, 1 words, 2 lines, other fields. */
void VRD_CALL VRDstringChunkUpdate(VRDentity e, int32_t *position, int32_t *length,
                                   int32_t unit, int32_t first, int32_t count);
/** The string entity of a stored text, or the null entity. */
VRDentity VRD_CALL VRDstringFind(const char *text);
/** The identifier entity of a stored text, or the null entity. */
VRDentity VRD_CALL VRDidFind(const char *text);
/** Makes an identifier entity and inserts it.  0 or 1. */
int32_t VRD_CALL VRDformAddId(VRDentity form, uint32_t position, const char *text, VRDentity *result);
/** The string-area bucket of a text, 0 to 1023. */
uint32_t VRD_CALL stringHash(const char *text);
/** Natural order of two string texts (digit runs by value): -1, 0 or 1. */
int VRD_CALL VRDstrCmpNatural(const VRDentity *a, const VRDentity *b);
/** Natural order of two plain texts: -1, 0 or 1. */
int VRD_CALL naturalCmp(const char *a, const char *b);

/* ---- files ---- */

/** Reads one form (target without tag) or a run of entities into the target
    form at `position`.  0 when reading ended (errors -4..-9 reported), 1 when
    building the store failed. */
int32_t VRD_CALL VRDfileReadEntity(TextChannel *channel, VRDentity target, int32_t position,
                                   int32_t caseFlags, VRDentity *result);
/** Writes an entity (as a rule a form tree) in the text notation.  Always 0:
    the writer does not look at its writes.  A write that fails (a full
    device, a size limit, a buffer that cannot grow) leaves the channel
    failed: nothing more reaches it, and closeTextFile then returns -1, so a
    caller that closes the channel learns whether the text is whole. */
int32_t VRD_CALL VRDfileWriteEntity(TextChannel *channel, int32_t caseFlags, VRDentity entity, int32_t indent);
/** Writes exactly what VRDfileWriteEntity writes, except that every real is
    written with the fewest significant digits that sscanf("%lf") reads back
    to the same double, always with a "." so that the reader takes it as a
    real: 2.0 is "2.0", 1e20 "1.0e+20", 0.1 "0.1", -0.0 "-0.0", 166.964229
    "166.964229".  Infinities are "inf." and "-inf.", which the reader's sscanf
    also reads back.  What the text cannot carry: a NaN is written "nan." or
    "-nan." and reads back as a quiet NaN of that sign, its payload lost; and
    reading merges reals closer than 2^-52 below magnitude 1 (the real table's
    tolerance), which no writing can prevent.  Always 0. */
int32_t VRD_CALL VRDfileWriteEntityExact(TextChannel *channel, int32_t caseFlags, VRDentity entity, int32_t indent);
/** Dumps the current store to a version-6 binary file.  0, or 1 after -10.
    Once the file is open its writes are not examined and nothing is
    reported: a full device or a size limit still gives 0 and leaves a
    partial dump, and an older, longer file keeps its tail.  Callers that
    must know use VRDfileWriteBinaryChecked. */
int32_t VRD_CALL VRDfileWriteBinary(const char *path);
/** The same bytes as VRDfileWriteBinary, with nothing lost in silence: every
    write is checked, the file is cut where the dump ends (an older, longer
    file keeps no tail; a device or pipe is not cut) and the close is checked.
    0 on success.  1 after a report under "VRDfileWriteBinaryChecked": -3 with
    no current store; -10 when the file cannot be opened; VRD_E_WRITE (-25)
    when a write fails or moves no byte, or the cut or the close fails - the
    file then holds a partial dump.  After -10 and -25 errno holds the
    system's reason (ENOSPC, EFBIG, EIO...).  Not synced to the device: a
    caller that renames the file into place syncs it first. */
int32_t VRD_CALL VRDfileWriteBinaryChecked(const char *path);
/** Replaces the current store with a binary file's contents.  0 or 1.
    Reports: -10 "VRDfileReadBinary" (cannot open); -11 "VRDfileReadBinary"
    (fewer than four bytes); -12 "VRDfileReadBinary" (version not 6, and also
    any file whose contents fail the checks made before anything is trusted:
    counts beyond a pool's limits, offsets, indexes, chains, slab runs, free
    blocks, or owners, property lists and form entities that do not resolve) -
    the store is then untouched; -11 or -2 under the section reader's own name
    ("VRDkeyReadBinary", "VRDpointReadBinary", "VRDstringReadBinary",
    "VRDintReadBinary", "VRDrealReadBinary") when the file ends early or memory
    runs out - the sections before hold the file's contents, the failing one is
    left empty and the later ones keep theirs, nothing rolled back.  A count
    larger than the rest of the file is an early end, found before memory is
    asked for it; a pipe or other stream gives the same results, its bytes
    read ahead as they arrive, so memory stays within about twice what
    arrived.  Time is linear in the file's size.  A value entity that names
    nothing in its pool (after such a cut, or in a dump of such a store) reads
    as absent: every getter refuses the index. */
int32_t VRD_CALL VRDfileReadBinary(const char *path);

/* ---- diagnostics ---- */

/** Prints the current store's memory report on standard output. */
void VRD_CALL VRDstatistics(void);

/* ---- search ---- */

/** Next live matching form of `key` from *cursor on (form index cursor). */
VRDentity VRD_CALL VRDformFindNext(uint32_t key, uint32_t n, const VRDentity *pattern, int32_t *cursor);
/** Next live form holding `target`; start with *keyCursor = VRD_NO_KEY. */
VRDentity VRD_CALL VRDformFindEntity(uint32_t *keyCursor, int32_t *formCursor, uint32_t *positionCursor,
                                     VRDentity target);

#if defined(__GNUC__)
#pragma GCC visibility pop
#endif

#ifdef __cplusplus
}
#endif

#endif /* VRD_VRD_INTERNAL_H */
