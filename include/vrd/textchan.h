/** @file textchan.h
    @brief Buffered text channels over files and memory, one byte at a time. */
#ifndef VRD_TEXTCHAN_H
#define VRD_TEXTCHAN_H

#include <stddef.h>
#include "vrd.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The declarations below stay visible to the linker even when the library is
   built with hidden visibility: the complete shared library exports them,
   while libvrd.so keeps them local through its export list. */
#if defined(__GNUC__)
#pragma GCC visibility push(default)
#endif

/** An open channel: a file or a memory text being read, or a file or a growing
    buffer being written.  Opaque; closeTextFile releases it. */
typedef struct TextChannel TextChannel;

/** Opens a file for reading ("r") or writing ("w", truncating); null on failure. */
TextChannel *VRD_CALL openTextFile(const char *path, const char *mode);
/** Opens a reading channel over `length` bytes of the caller's memory (not copied). */
TextChannel *VRD_CALL openTextString(const char *text, size_t length);
/** Opens a writing channel into a growing memory buffer. */
TextChannel *VRD_CALL openTextBuffer(void);
/** The zero-terminated contents of a buffer channel and their length; valid
    until the next write or the close.  Null for other channels. */
const char *VRD_CALL textBufferData(TextChannel *channel, size_t *length);
/** Flushes and closes; 0 when everything reached its destination, else -1.
    A write that failed at any time before (printTextFileChar or
    printTextFile gave a failure, or a block could not be flushed) fails the
    channel for good, so this result tells a writer that ignored the
    results of its writes, as VRDfileWriteEntity does, whether the text is
    whole. */
int VRD_CALL closeTextFile(TextChannel *channel);
/** Stores the next byte in *character and returns non-zero; at the end of the
    input, and on every call after it, returns 0 and stores -1 (0xFF). */
int VRD_CALL readTextFileChar(TextChannel *channel, char *character);
/** Writes one byte; non-zero on success, 0 on failure. */
int VRD_CALL printTextFileChar(TextChannel *channel, int character);
/** Writes `format`, replacing "%s" by a text, "%g" by a double as printf
    gives it, "%l" by a signed 32-bit integer in decimal and "%%" by "%".
    Returns the bytes written, or -1 on failure or an unknown directive. */
int printTextFile(TextChannel *channel, const char *format, ...);
/** Line and column (both from 1) of the last byte read or written, so a
    caller can say where a reader's report was met; 0 and 0 before the first
    byte.  0 on success, -1 for a null channel. */
int VRD_CALL textChannelPosition(TextChannel *channel, long *line, long *column);

/** Called on the reading thread with the bytes a channel has handed out. */
typedef void(VRD_CALL *TextProgressProc)(void *context, size_t bytesRead);
/** Makes a reading channel call `hook(context, bytes)` each time it has
    handed out another 1 MiB (counted from this call), so a caller can show
    the progress of a long reading; a null hook stops the calls.  0, or -1 for
    a null or writing channel. */
int VRD_CALL textChannelSetProgress(TextChannel *channel, TextProgressProc hook, void *context);

#if defined(__GNUC__)
#pragma GCC visibility pop
#endif

#ifdef __cplusplus
}
#endif

#endif /* VRD_TEXTCHAN_H */
