// Modules: shared libraries loaded the way Windows loads a DLL, and in-process
// modules registered with a resource image; both give access to resources.
#include "win32/module.h"

#include "win32/errors.h"

#include <dlfcn.h>
#include <link.h>

#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_set>

struct HINSTANCE__ {
  std::string name;
  void* library = nullptr;  // null for a registered in-process module
  const Win32ResourceImage* image = nullptr;
  DllMainProc dllMain = nullptr;
  int references = 1;
};

namespace {

// Guards the set of live modules; never held while module code runs.
std::mutex g_modulesMutex;
std::unordered_set<HINSTANCE__*> g_modules;

// Serialises loading and unloading and is held across DllMain, like Windows'
// loader lock; recursive so that DllMain may load or free libraries itself.
std::recursive_mutex g_loaderLock;

thread_local std::string t_loadError;

bool isLiveLocked(HINSTANCE h) { return h && g_modules.count(h) != 0; }

void addModule(HINSTANCE h) {
  std::lock_guard<std::mutex> guard(g_modulesMutex);
  g_modules.insert(h);
}

void removeModule(HINSTANCE h) {
  std::lock_guard<std::mutex> guard(g_modulesMutex);
  g_modules.erase(h);
}

// dlsym on a handle also searches the libraries the module depends on; Windows
// looks at the module's own exports only, and so does this.
void* ownSymbol(void* library, const char* name) {
  void* symbol = dlsym(library, name);
  if (!symbol) return nullptr;
  struct link_map* map = nullptr;
  Dl_info info{};
  if (dlinfo(library, RTLD_DI_LINKMAP, &map) != 0 || !map || !dladdr(symbol, &info) || !info.dli_fname) return symbol;
  return std::strcmp(info.dli_fname, map->l_name) == 0 ? symbol : nullptr;
}

// The module's resource image, setting the last error when there is none.
const Win32ResourceImage* resourcesOf(HINSTANCE h) {
  std::lock_guard<std::mutex> guard(g_modulesMutex);
  if (!isLiveLocked(h)) {
    SetLastError(h ? ERROR_INVALID_HANDLE : ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
  }
  if (!h->image) SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
  return h->image;
}

const char* findString(HINSTANCE h, UINT id) {
  const Win32ResourceImage* image = resourcesOf(h);
  if (!image) return nullptr;
  for (int i = 0; i < image->numStrings; ++i) {
    const Win32StringResource& s = image->strings[i];
    // A string table cannot hold an empty string: it reads as absent.
    if (s.id == id && s.text && s.text[0]) return s.text;
  }
  SetLastError(image->numStrings > 0 ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
  return nullptr;
}

}  // namespace

extern "C" {

HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName) {
  t_loadError.clear();
  if (!lpLibFileName || !*lpLibFileName) {
    t_loadError = "no library name given";
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::lock_guard<std::recursive_mutex> loader(g_loaderLock);
  void* library = dlopen(lpLibFileName, RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    const char* why = dlerror();
    t_loadError = why ? why : (std::string("cannot load ") + lpLibFileName);
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }

  // Loaded before: the same module, one more reference, no second attach. The
  // module object keeps exactly one reference of the dynamic loader's.
  {
    std::unique_lock<std::mutex> guard(g_modulesMutex);
    for (HINSTANCE m : g_modules) {
      if (m->library == library) {
        ++m->references;
        guard.unlock();
        dlclose(library);
        return m;
      }
    }
  }

  auto* module = new HINSTANCE__;
  module->name = lpLibFileName;
  module->library = library;
  if (auto resources = reinterpret_cast<Win32ModuleResourcesProc>(ownSymbol(library, WIN32_MODULE_RESOURCES_EXPORT)))
    module->image = resources();
  module->dllMain = reinterpret_cast<DllMainProc>(ownSymbol(library, "DllMain"));

  // The handle is live during DllMain, so the module may load its strings there.
  addModule(module);
  if (module->dllMain && !module->dllMain(module, DLL_PROCESS_ATTACH, nullptr)) {
    // As on Windows: a refused attach is followed at once by a detach, then the unload.
    module->dllMain(module, DLL_PROCESS_DETACH, nullptr);
    removeModule(module);
    dlclose(library);
    delete module;
    t_loadError = std::string(lpLibFileName) + ": DllMain refused DLL_PROCESS_ATTACH";
    SetLastError(ERROR_DLL_INIT_FAILED);
    return nullptr;
  }
  return module;
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
  std::lock_guard<std::recursive_mutex> loader(g_loaderLock);
  {
    std::lock_guard<std::mutex> guard(g_modulesMutex);
    if (!isLiveLocked(hLibModule) || !hLibModule->library) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    if (--hLibModule->references > 0) return TRUE;
  }
  if (hLibModule->dllMain) hLibModule->dllMain(hLibModule, DLL_PROCESS_DETACH, nullptr);
  removeModule(hLibModule);
  dlclose(hLibModule->library);
  delete hLibModule;
  return TRUE;
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  if (!lpProcName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  void* library = nullptr;
  {
    std::lock_guard<std::mutex> guard(g_modulesMutex);
    if (!isLiveLocked(hModule)) {
      SetLastError(ERROR_INVALID_HANDLE);
      return nullptr;
    }
    library = hModule->library;
  }
  // In-process modules export nothing; ordinals (values below 64K) are not carried.
  void* symbol = nullptr;
  if (library && reinterpret_cast<uintptr_t>(lpProcName) > 0xFFFF) symbol = ownSymbol(library, lpProcName);
  if (!symbol) SetLastError(ERROR_PROC_NOT_FOUND);
  return symbol;
}

int WINAPI LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax) {
  if (!lpBuffer || cchBufferMax < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const char* text = findString(hInstance, uID);
  if (cchBufferMax == 0) {
    // Pointer mode: the caller gets the resource text itself, read-only.
    *reinterpret_cast<const char**>(lpBuffer) = text;
    return text ? static_cast<int>(std::strlen(text)) : 0;
  }
  if (!text) {
    lpBuffer[0] = '\0';
    return 0;
  }
  const size_t length = std::strlen(text);
  const size_t copied = length < static_cast<size_t>(cchBufferMax - 1) ? length : static_cast<size_t>(cchBufferMax - 1);
  std::memcpy(lpBuffer, text, copied);
  lpBuffer[copied] = '\0';
  return static_cast<int>(copied);
}

const char* Win32LastLoadError(void) { return t_loadError.c_str(); }

HMODULE Win32RegisterModule(const char* name, const Win32ResourceImage* image) {
  auto* module = new HINSTANCE__;
  module->name = name ? name : "";
  module->image = image;
  addModule(module);
  return module;
}

void Win32UnregisterModule(HMODULE hModule) {
  {
    std::lock_guard<std::mutex> guard(g_modulesMutex);
    // Loaded libraries go through FreeLibrary, which knows about DllMain.
    if (!isLiveLocked(hModule) || hModule->library) return;
    g_modules.erase(hModule);
  }
  delete hModule;
}

const Win32ResourceImage* Win32ModuleImage(HMODULE hModule) {
  std::lock_guard<std::mutex> guard(g_modulesMutex);
  return isLiveLocked(hModule) ? hModule->image : nullptr;
}

const Win32DialogResource* Win32FindDialog(HINSTANCE hInstance, int id) {
  const Win32ResourceImage* image = resourcesOf(hInstance);
  if (!image) return nullptr;
  for (int i = 0; i < image->numDialogs; ++i)
    if (image->dialogs[i].id == id) return &image->dialogs[i];
  SetLastError(image->numDialogs > 0 ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
  return nullptr;
}

const Win32BitmapResource* Win32FindBitmap(HINSTANCE hInstance, int id) {
  const Win32ResourceImage* image = resourcesOf(hInstance);
  if (!image) return nullptr;
  for (int i = 0; i < image->numBitmaps; ++i)
    if (image->bitmaps[i].id == id) return &image->bitmaps[i];
  SetLastError(image->numBitmaps > 0 ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
  return nullptr;
}

}  // extern "C"
