// recent.h - the identifiers and keywords a reading met lately, with the entity or key each one gave.
#ifndef VRD_FILES_RECENT_H
#define VRD_FILES_RECENT_H

#include "files/channel.h"

namespace vrd {

// Creating an identifier that the store already holds adds nothing and
// reports nothing (strings.h): it gives again the entity it gave before.
// Within one reading a repeated identifier may so take its entity from here
// instead of from the string area, as long as nothing but the reader can
// have touched the store.  The memory is forgotten when a
// reading starts, after any report (the handler may switch, kill or reload
// stores) and after the channel's progress hook has run; a creation that
// failed teaches nothing.
// Starts a reading of `channel` with nothing remembered.
void startRecent(TextChannel *channel);
// The entity remembered for the identifier [text, text + length).  `text`
// lies in a buffer with at least 24 readable bytes (the reader's token).
bool recallIdentifier(const char *text, int length, VRDentity *entity);
void rememberIdentifier(const char *text, int length, VRDentity entity);
// Keywords likewise: finding a keyword the store holds changes nothing, so
// a form of a repeated keyword may be created under the key it gave before.
bool recallKeyword(const char *text, int length, uint32_t *key);
void rememberKeyword(const char *text, int length, uint32_t key);

}  // namespace vrd

#endif  // VRD_FILES_RECENT_H
