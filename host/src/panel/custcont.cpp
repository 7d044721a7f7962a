// The host's custom controls as window classes of the Windows stand-in: their state lives here, keyed by
// window, from WM_CREATE to WM_DESTROY; the interfaces handed out are light views on that state.
#include "custcont.h"
#include "panel_internal.h"
#include "debug.h"
#include "iface.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace {

enum class CtlKind { Edit, Spinner, Button };

struct ControlState {
  CtlKind kind;
  // Spinner.
  int editType = EDITTYPE_FLOAT;
  HWND edit = nullptr;
  double value = 0.0;
  double low = -1.0e30, high = 1.0e30;
  float scale = 0.1f;
  bool autoScale = false;
  bool indeterminate = false;
  // Edit.
  HWND spinner = nullptr;  // the spinner this field is linked to
  bool gotReturn = false;
  // Button.
  CustButType type = CBT_PUSH;
  bool checked = false;
  bool down = false;
};

std::mutex g_mutex;
std::unordered_map<HWND, std::shared_ptr<ControlState>> g_controls;
std::atomic<int> g_outstanding{0};

std::shared_ptr<ControlState> Find(HWND h, CtlKind kind) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = g_controls.find(h);
  return it == g_controls.end() || it->second->kind != kind ? nullptr : it->second;
}

bool IntType(int editType) {
  return editType == EDITTYPE_INT || editType == EDITTYPE_POS_INT || editType == EDITTYPE_TIME;
}

// The spinner's value as its field shows it: frames for a time spinner, whose value is in ticks.
std::string FormatSpinner(const ControlState& s) {
  if (s.editType == EDITTYPE_TIME) return std::to_string(int(std::lround(s.value)) / GetTicksPerFrame());
  if (IntType(s.editType)) return std::to_string(int(std::lround(s.value)));
  return panel::FloatText(float(s.value));
}

// The whole text as a number; false for anything else (empty, trailing junk, out of range).
bool ParseNumber(const std::string& text, double& out) {
  const char* p = text.c_str();
  while (*p == ' ') ++p;
  if (!*p) return false;
  char* end = nullptr;
  errno = 0;
  double v = std::strtod(p, &end);
  while (end && *end == ' ') ++end;
  if (errno != 0 || !end || *end || !std::isfinite(v)) return false;
  out = v;
  return true;
}

std::string WindowText(HWND h) {
  int n = GetWindowTextLengthA(h);
  std::string s(size_t(std::max(n, 0)) + 1, '\0');
  int got = GetWindowTextA(h, s.data(), n + 1);
  s.resize(size_t(std::max(got, 0)));
  return s;
}

// Clamps into the limits; an int spinner holds whole numbers.
double Limit(const ControlState& s, double v) {
  if (IntType(s.editType)) v = std::round(v);
  return std::clamp(v, s.low, s.high);
}

void ShowInEdit(HWND spinner) {
  auto s = Find(spinner, CtlKind::Spinner);
  if (s && s->edit && IsWindow(s->edit)) SetWindowTextA(s->edit, s->indeterminate ? "" : FormatSpinner(*s).c_str());
}

// A control's interfaces report use after its window went, and a wrong kind.
template <class Base>
class Iface : public Base {
 public:
  Iface(HWND h, CtlKind kind) : h_(h), kind_(kind) {}
  HWND GetHwnd() override { return h_; }
  void Enable(BOOL onOff) override {
    if (live()) EnableWindow(h_, onOff);
  }
  void Disable() override { this->Enable(FALSE); }
  BOOL IsEnabled() override { return live() && IsWindowEnabled(h_); }

 protected:
  std::shared_ptr<ControlState> state() {
    auto s = Find(h_, kind_);
    if (!s) assert1(__LINE__, __FILE__, "custom control interface used while its window lives");
    return s;
  }
  bool live() { return state() != nullptr; }
  HWND h_;
  CtlKind kind_;
};

class CustEditImpl : public Iface<ICustEdit> {
 public:
  explicit CustEditImpl(HWND h) : Iface(h, CtlKind::Edit) {}
  void GetText(char* text, int ct) override {
    if (!text || ct <= 0) return;
    text[0] = '\0';
    if (live()) GetWindowTextA(h_, text, ct);
  }
  void GetText(TSTR& text) override { text = live() ? WindowText(h_).c_str() : ""; }
  int GetTextLength() override { return live() ? GetWindowTextLengthA(h_) : 0; }
  void SetText(const char* text) override {
    if (live()) SetWindowTextA(h_, text ? text : "");
  }
  void SetText(int i) override { SetText(std::to_string(i).c_str()); }
  void SetText(float f, int precision) override {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", std::clamp(precision, 0, 9), double(f));
    SetText(buf);
  }
  int GetInt(BOOL* valid) override {
    double v = 0.0;
    bool ok = live() && ParseNumber(WindowText(h_), v) && v >= INT_MIN && v <= INT_MAX;
    if (valid) *valid = ok;
    return ok ? int(v) : 0;
  }
  float GetFloat(BOOL* valid) override {
    double v = 0.0;
    bool ok = live() && ParseNumber(WindowText(h_), v);
    if (valid) *valid = ok;
    return ok ? float(v) : 0.0f;
  }
  void WantReturn(BOOL) override {}  // Enter is always noted: nothing to switch
  BOOL GotReturn() override {
    auto s = state();
    if (!s) return FALSE;
    BOOL got = s->gotReturn;
    s->gotReturn = false;
    return got;
  }
  void GiveFocus() override {
    if (live()) SetFocus(h_);
  }
  BOOL HasFocus() override { return live() && GetFocus() == h_; }
};

class SpinnerImpl : public Iface<ISpinnerControl> {
 public:
  explicit SpinnerImpl(HWND h) : Iface(h, CtlKind::Spinner) {}
  float GetFVal() override {
    auto s = state();
    return s ? float(s->value) : 0.0f;
  }
  int GetIVal() override {
    auto s = state();
    return s ? int(std::lround(s->value)) : 0;
  }
  void SetAutoScale(BOOL on) override {
    if (auto s = state()) s->autoScale = on;
  }
  void SetScale(float sc) override {
    if (auto s = state()) {
      s->autoScale = sc == SPIN_AUTOSCALE;
      if (!s->autoScale) s->scale = sc;
    }
  }
  void SetValue(float v, int notify) override { set(double(v), notify); }
  void SetValue(int v, int notify) override { set(double(v), notify); }
  void SetLimits(int lo, int hi, int limitCurrent) override { limits(lo, hi, limitCurrent); }
  void SetLimits(float lo, float hi, int limitCurrent) override { limits(lo, hi, limitCurrent); }
  void LinkToEdit(HWND hEdit, EditSpinnerType type) override {
    auto s = state();
    if (!s) return;
    auto e = Find(hEdit, CtlKind::Edit);
    if (!e) {
      assert1(__LINE__, __FILE__, "LinkToEdit names a live CustEdit");
      return;
    }
    if (s->edit && s->edit != hEdit)
      if (auto old = Find(s->edit, CtlKind::Edit)) old->spinner = nullptr;
    s->edit = hEdit;
    s->editType = type;
    e->spinner = h_;
    s->value = Limit(*s, s->value);
    ShowInEdit(h_);
  }
  void SetIndeterminate(BOOL i) override {
    if (auto s = state()) {
      s->indeterminate = i;
      ShowInEdit(h_);
    }
  }
  BOOL IsIndeterminate() override {
    auto s = state();
    return s && s->indeterminate;
  }
  // A disabled spinner takes its field with it, as on the host.
  void Enable(BOOL onOff) override {
    auto s = state();
    if (!s) return;
    EnableWindow(h_, onOff);
    if (s->edit && IsWindow(s->edit)) EnableWindow(s->edit, onOff);
  }
  float GetMin() override {
    auto s = state();
    return s ? float(s->low) : 0.0f;
  }
  float GetMax() override {
    auto s = state();
    return s ? float(s->high) : 0.0f;
  }
  float GetScale() override {
    auto s = state();
    return s ? (s->autoScale ? SPIN_AUTOSCALE : s->scale) : 0.0f;
  }

  // The change a person makes: the value is set and the dialog hears of it.
  void set(double v, int notify) {
    auto s = state();
    if (!s) return;
    s->value = Limit(*s, v);
    s->indeterminate = false;
    ShowInEdit(h_);
    if (notify) SendMessageA(GetParent(h_), CC_SPINNER_CHANGE, MAKEWPARAM(GetDlgCtrlID(h_), FALSE), LPARAM(this));
  }

 private:
  void limits(double lo, double hi, int limitCurrent) {
    auto s = state();
    if (!s) return;
    if (lo > hi) std::swap(lo, hi);
    s->low = lo;
    s->high = hi;
    if (limitCurrent) {
      s->value = Limit(*s, s->value);
      ShowInEdit(h_);
    }
  }
};

class CustButtonImpl : public Iface<ICustButton> {
 public:
  explicit CustButtonImpl(HWND h) : Iface(h, CtlKind::Button) {}
  void SetType(CustButType type) override {
    if (auto s = state()) {
      s->type = type;
      if (type == CBT_PUSH) s->checked = false;
    }
  }
  CustButType GetType() override {
    auto s = state();
    return s ? s->type : CBT_PUSH;
  }
  void SetCheck(BOOL checked) override {
    if (auto s = state()) s->checked = s->type == CBT_CHECK && checked;
  }
  BOOL IsChecked() override {
    auto s = state();
    return s && s->checked;
  }
  void SetText(const char* text) override {
    if (live()) SetWindowTextA(h_, text ? text : "");
  }
  void GetText(char* text, int ct) override {
    if (!text || ct <= 0) return;
    text[0] = '\0';
    if (live()) GetWindowTextA(h_, text, ct);
  }
};

LRESULT CALLBACK Lifecycle(HWND h, UINT msg, WPARAM w, LPARAM l, CtlKind kind) {
  if (msg == WM_CREATE) {
    auto s = std::make_shared<ControlState>();
    s->kind = kind;
    std::lock_guard<std::mutex> lock(g_mutex);
    g_controls[h] = s;
  } else if (msg == WM_DESTROY) {
    std::shared_ptr<ControlState> gone;
    {
      std::lock_guard<std::mutex> lock(g_mutex);
      auto it = g_controls.find(h);
      if (it != g_controls.end()) {
        gone = it->second;
        g_controls.erase(it);
      }
    }
    // A link outlives neither end.
    if (gone && gone->spinner)
      if (auto sp = Find(gone->spinner, CtlKind::Spinner)) sp->edit = nullptr;
    if (gone && gone->edit)
      if (auto ed = Find(gone->edit, CtlKind::Edit)) ed->spinner = nullptr;
  }
  return DefWindowProcA(h, msg, w, l);
}

// Enter in a field: a spinner's field sets the spinner from the text (clamped; the old value comes back
// when the text is no number), then the dialog hears of the spinner's change and of the Enter.
void EditEnter(HWND h) {
  auto s = Find(h, CtlKind::Edit);
  if (!s) return;
  s->gotReturn = true;
  HWND dialog = GetParent(h);
  if (HWND spinner = s->spinner; spinner && IsWindow(spinner)) {
    auto sp = Find(spinner, CtlKind::Spinner);
    double v = 0.0;
    if (!sp) return;
    if (!ParseNumber(WindowText(h), v)) {
      ShowInEdit(spinner);
      return;
    }
    if (sp->editType == EDITTYPE_TIME) v *= GetTicksPerFrame();
    SpinnerImpl(spinner).set(v, TRUE);
    if (!IsWindow(h)) return;  // the dialog may have closed on the change
  }
  SendMessageA(dialog, WM_CUSTEDIT_ENTER, WPARAM(GetDlgCtrlID(h)), LPARAM(h));
}

LRESULT CALLBACK CustEditProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  if (msg == WM_KEYDOWN && w == VK_RETURN) {
    EditEnter(h);
    return 0;
  }
  return Lifecycle(h, msg, w, l, CtlKind::Edit);
}

LRESULT CALLBACK SpinnerProc(HWND h, UINT msg, WPARAM w, LPARAM l) { return Lifecycle(h, msg, w, l, CtlKind::Spinner); }

// A click is a press and a release on the button: one command to the dialog, a check button toggled first.
LRESULT CALLBACK CustButtonProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  switch (msg) {
    case WM_LBUTTONDOWN:
      if (auto s = Find(h, CtlKind::Button)) s->down = IsWindowEnabled(h);
      return 0;
    case WM_LBUTTONUP: {
      auto s = Find(h, CtlKind::Button);
      if (!s || !s->down) return 0;
      s->down = false;
      if (s->type == CBT_CHECK) s->checked = !s->checked;
      SendMessageA(GetParent(h), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(h), BN_CLICKED), LPARAM(h));
      return 0;
    }
    case BM_GETCHECK: {
      auto s = Find(h, CtlKind::Button);
      return s && s->checked ? BST_CHECKED : BST_UNCHECKED;
    }
    case BM_SETCHECK:
      if (auto s = Find(h, CtlKind::Button)) s->checked = s->type == CBT_CHECK && w == BST_CHECKED;
      return 0;
    default:
      return Lifecycle(h, msg, w, l, CtlKind::Button);
  }
}

bool Register(const char* name, WNDPROC proc) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = proc;
  wc.lpszClassName = name;
  if (RegisterClassA(&wc)) return true;
  // Registered before (by an earlier call): that is the one wanted.
  return GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

// Made when the host library loads, before any plug-in can build a dialog that names the classes.
const bool g_registered = [] {
  InitCustomControls(nullptr);
  return true;
}();

template <class Impl, class I>
I* Take(HWND h, CtlKind kind) {
  if (!h || !Find(h, kind)) return nullptr;
  ++g_outstanding;
  return new Impl(h);
}

template <class I>
void Give(I* i) {
  if (!i) return;
  --g_outstanding;
  delete i;
}

}  // namespace

void InitCustomControls(HINSTANCE) {
  static std::once_flag once;
  std::call_once(once, [] {
    bool ok = Register(CUSTEDITWINDOWCLASS, CustEditProc) && Register(SPINNERWINDOWCLASS, SpinnerProc) &&
              Register(CUSTBUTTONWINDOWCLASS, CustButtonProc);
    if (!ok) DebugPrint("custom control classes could not be registered (error %u)\n", unsigned(GetLastError()));
  });
}

// Floats shown with the fewest decimals that read back as the same float.
std::string panel::FloatText(float v) {
  char buf[64];
  for (int p = 0; p <= 9; ++p) {
    std::snprintf(buf, sizeof buf, "%.*f", p, double(v));
    if (std::strtof(buf, nullptr) == v) break;
  }
  return buf;
}

ICustEdit* GetICustEdit(HWND h) { return Take<CustEditImpl, ICustEdit>(h, CtlKind::Edit); }
void ReleaseICustEdit(ICustEdit* i) { Give(i); }
ISpinnerControl* GetISpinner(HWND h) { return Take<SpinnerImpl, ISpinnerControl>(h, CtlKind::Spinner); }
void ReleaseISpinner(ISpinnerControl* i) { Give(i); }
ICustButton* GetICustButton(HWND h) { return Take<CustButtonImpl, ICustButton>(h, CtlKind::Button); }
void ReleaseICustButton(ICustButton* i) { Give(i); }

int CustomControlInterfacesOutstanding() { return g_outstanding.load(); }
