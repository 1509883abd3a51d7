// linknames.h - link-time names of the library's unprefixed C helpers.
#ifndef VRD_LINKNAMES_H
#define VRD_LINKNAMES_H

// The helpers keep their short names in the source: they are the routine
// names the error handler receives, and the suites call them by those names.
// In an object file they carry the library's prefix instead, so a host that
// links the static archive and has a `formptr` or `newpoint` of its own meets
// no clash.  Every file that declares, defines or calls a helper sees this
// header first (through frame.h), so definitions and calls agree on the name.
// Add a helper here when it gets C linkage and a name without the VRD prefix.
#if defined(__GNUC__) || defined(__clang__)
#pragma redefine_extname formptr vrd_formptr
#pragma redefine_extname getElist vrd_getElist
#pragma redefine_extname freeElist vrd_freeElist
#pragma redefine_extname newxcoord vrd_newxcoord
#pragma redefine_extname newycoord vrd_newycoord
#pragma redefine_extname newpoint vrd_newpoint
#pragma redefine_extname getCmpToken vrd_getCmpToken
#pragma redefine_extname addReadEntity vrd_addReadEntity
#pragma redefine_extname writeEntityText vrd_writeEntityText
#pragma redefine_extname putTextChar vrd_putTextChar
#endif

#endif  // VRD_LINKNAMES_H
