// listsort.h - sorting and merging lists threaded through their entries' own links, with no memory.
#ifndef VRD_POOLS_LISTSORT_H
#define VRD_POOLS_LISTSORT_H

#include <cstddef>
#include <cstdint>

namespace vrd {

// A pool's chain or waiting list: entries named by int32 numbers, linked
// through a word of each entry (linkOf / setLink), ending with kListEnd.
// `less` is a strict order in which no two listed entries are equal.
constexpr int32_t kListEnd = -1;

// Sorts the list at `head` ascending and gives its new head: a merge sort
// of runs doubling in length, which takes no memory beyond the links.
template <typename LinkOf, typename SetLink, typename Less>
int32_t sortList(int32_t head, LinkOf linkOf, SetLink setLink, Less less) {
    for (size_t run = 1; head != kListEnd; run *= 2) {
        int32_t p = head, tail = kListEnd;
        head = kListEnd;
        size_t merges = 0;
        while (p != kListEnd) {
            ++merges;
            int32_t q = p;
            size_t pLeft = 0, qLeft = run;
            while (pLeft < run && q != kListEnd) ++pLeft, q = linkOf(q);
            while (pLeft > 0 || (qLeft > 0 && q != kListEnd)) {
                int32_t e;
                if (pLeft > 0 && (qLeft == 0 || q == kListEnd || less(p, q)))
                    e = p, p = linkOf(p), --pLeft;
                else
                    e = q, q = linkOf(q), --qLeft;
                if (tail == kListEnd)
                    head = e;
                else
                    setLink(tail, e);
                tail = e;
            }
            p = q;
        }
        setLink(tail, kListEnd);
        if (merges <= 1) break;
    }
    return head;
}

// Merges the sorted list `more` into the sorted chain whose head is `*head`:
// every entry of `more` lands where a walk that stops at the first entry
// not smaller would have linked it.
template <typename LinkOf, typename SetLink, typename Less, typename Head>
void mergeInto(Head &head, int32_t more, LinkOf linkOf, SetLink setLink, Less less) {
    int32_t chain = static_cast<int32_t>(head), tail = kListEnd;
    while (more != kListEnd) {
        int32_t e;
        if (chain != kListEnd && less(chain, more))
            e = chain, chain = linkOf(chain);
        else
            e = more, more = linkOf(more);
        if (tail == kListEnd)
            head = static_cast<Head>(e);
        else
            setLink(tail, e);
        tail = e;
    }
    if (tail != kListEnd) setLink(tail, chain);
}

}  // namespace vrd

#endif  // VRD_POOLS_LISTSORT_H
