#pragma once
// The class directory: every class the host can create by id, its own and those of the loaded plug-ins.
// Scene files and scripts find classes here.
#include "maxtypes.h"

class ClassDesc;

// Adds a class descriptor (not owned). A second descriptor with the same super class and class id is
// refused (FALSE): the first one stays.
HOSTAPI BOOL RegisterClassDesc(ClassDesc* cd);
// Removes it; nothing happens for a descriptor that is not registered.
HOSTAPI void UnregisterClassDesc(ClassDesc* cd);
// The registered descriptor with that super class and class id, or null.
HOSTAPI ClassDesc* FindClassDesc(SClass_ID superID, Class_ID classID);
