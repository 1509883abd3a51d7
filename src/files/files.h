// files.h - internal steps of the text reader and writer shared within the files area.
#ifndef VRD_FILES_FILES_H
#define VRD_FILES_FILES_H

#include "frame/frame.h"

extern "C" {
// Appends an entity to the reader's innermost form context, handing a full
// batch of 50 to its form; `result` takes the first entity read.  0, or 1
// when the hand-over failed (reported by VRDformAddEntities).
int addReadEntity(VRDentity *result, VRDentity entity);
// Writes one entity at the writer's current depth (a form with its tree).
void writeEntityText(TextChannel *channel, int32_t caseFlags, VRDentity entity, int32_t indent);
// Writes one byte; the byte, or -1 when the channel failed.
int putTextChar(TextChannel *channel, int character);
}

namespace vrd {
// Makes the readings that follow take every byte through readTextFileChar
// and nothing in bulk (plain) or not (the default).  The two ways read
// alike; tests hold them side by side.
void setReaderPlain(bool plain);
}  // namespace vrd

#endif  // VRD_FILES_FILES_H
