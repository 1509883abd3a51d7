// search.h - silent, bounds-safe reading of form records and the pattern test, for search and copy.
#ifndef VRD_SEARCH_H
#define VRD_SEARCH_H

#include "forms/forms.h"

namespace vrd {

// Resolves a form entity of store s without any report.  False when the key
// is not below keyCount, the key has no form array or the index is not below
// formCount: such forms are treated as having no forms at all, so a search
// never reads outside a block whatever its arguments.
bool peekForm(const VRDstore *s, VRDentity form, KeyRecord **key, FormRecord **record);

// The entities of a resolved record and their number.  A record that is
// killed, empty, or whose run does not lie inside the slab's handed-out
// slots gives 0 entities, so callers may index the list below the count.
uint32_t peekList(KeyRecord &key, FormRecord &record, const VRDentity **list);

// The owner of a form, or the null entity when the form does not resolve.
VRDentity peekOwner(const VRDstore *s, VRDentity form);

// True when the form's leading entities match the pattern (n, pattern): a
// prefix test where, for lists of two or more, untagged pattern entities
// are wildcards, and a one-entity list must equal the first pattern entity.
bool formMatches(KeyRecord &key, FormRecord &record, uint32_t n, const VRDentity *pattern);

// The same test on a form entity; an unresolvable form matches only n = 0.
bool entityMatches(const VRDstore *s, VRDentity form, uint32_t n, const VRDentity *pattern);

}  // namespace vrd

#endif  // VRD_SEARCH_H
