#include "support/mfc_compat.h"

void CGeneralUtils::AddTrailingBackslash(CString& path) {
  if (path.GetLength() == 0) return;
  if (path.ReverseFind('\\') == path.GetLength() - 1) return;
  path += CString("\\");
}
