#include "recalc/ScopeLock.h"

#include <max.h>

ScopeLock::ScopeLock(CRITICAL_SECTION* cs) : m_cs(cs) {
  DbgAssertSrc(m_cs != NULL, "ScopeLock");
  if (m_cs) EnterCriticalSection(m_cs);
  DebugPrint("ScopeLock::EnterCriticalSection()\n");
}

ScopeLock::~ScopeLock() {
  DbgAssertSrc(m_cs != NULL, "ScopeLock");
  if (m_cs) LeaveCriticalSection(m_cs);
  DebugPrint("ScopeLock::LeaveCriticalSection()\n");
}
