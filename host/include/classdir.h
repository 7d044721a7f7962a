#pragma once
// The class directory: every class the host can create by id, its own and those of the loaded plug-ins.
// Scene files and scripts find classes here. The host's own creatable classes are there from the start:
// SplineShape, TriObject, the derived object, the four linear controllers and both particle systems.
// Plug-in classes are added by PluginModule::Load and taken out when their module goes.
#include "maxtypes.h"

class ClassDesc;

// Adds a class descriptor (not owned). A second descriptor with the same super class and class id is
// refused (FALSE): the first one stays. The same descriptor registered again is counted (TRUE): it stays
// until it has been unregistered as often. A null descriptor is refused.
HOSTAPI BOOL RegisterClassDesc(ClassDesc* cd);
// Removes it (one registration of it); nothing happens for a descriptor that is not registered.
HOSTAPI void UnregisterClassDesc(ClassDesc* cd);
// The registered descriptor with that super class and class id, or null.
HOSTAPI ClassDesc* FindClassDesc(SClass_ID superID, Class_ID classID);
