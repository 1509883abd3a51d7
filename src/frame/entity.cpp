// entity.cpp - the null entity and entity equality.
#include "frame/frame.h"

extern "C" {

VRDentity VRD_CALL VRDnullEntity(void) { return vrd::nullEntity(); }

int VRD_CALL VRDentityEqual(VRDentity a, VRDentity b) { return vrd::sameEntity(a, b) ? 1 : 0; }

}  // extern "C"
