#pragma once
// Library-wide state of the plug-in module.
#include <max.h>

class WakeweaveClassDesc;
class ParamBlockDesc2;
class FPInterfaceDesc;

extern HINSTANCE hInstance;
extern IObjParam* s_ip;
extern HWND s_hRollout[4];

// Text of string-table entry id, in one shared buffer that the next call overwrites; null when the
// module is not attached or the table lacks the id.
const char* GetString(int id);

WakeweaveClassDesc* GetWakeweaveDesc();
ParamBlockDesc2* GetWakeweaveParamBlockDesc();
FPInterfaceDesc* GetWakeweaveInterfaceDesc();

#define WAKEWEAVE_CLASS_ID Class_ID(0x4E32E5B7, 0x668E2C09)
