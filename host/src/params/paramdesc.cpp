// Parameter block descriptors: reading the tag list, looking parameters up, and the rollouts opened for a
// descriptor while its owner is being edited.
#include "paramkind.h"
#include "../panel/panel_internal.h"
#include "iparamb2.h"
#include "plugapi.h"
#include "debug.h"

#include <climits>
#include <cstdarg>
#include <cstring>

// The variable argument list of the constructor. Every integral argument arrives promoted to int, every
// floating one as double.
struct ParamDescReader {
  va_list ap;
  int Int() { return va_arg(ap, int); }
  double Double() { return va_arg(ap, double); }
  const char* Str() { return va_arg(ap, const char*); }
  // A Point3 is read as the plain three floats it is laid out as: clang refuses va_arg of a class with
  // constructors, and both are passed alike.
  Point3 P3() {
    struct Floats {
      float x, y, z;
    };
    const Floats f = va_arg(ap, Floats);
    return Point3(f.x, f.y, f.z);
  }
  template <class T>
  T* Ptr() {
    return va_arg(ap, T*);
  }
};

namespace {

// Bounds that no sane description exceeds; beyond them the list is surely misread.
constexpr int kMaxRollouts = 64;
constexpr int kMaxRadioButtons = 64;
constexpr int kMaxInitialTab = 1 << 20;

using paramkind::Kind;
using paramkind::KindOf;

// Answered for unknown ids so that callers holding a reference have something harmless to look at.
ParamDef& InvalidDef() {
  static thread_local ParamDef def;
  def = ParamDef();
  return def;
}

}  // namespace

namespace {
IRolloutHost* g_rolloutHost = nullptr;  // null: the default host
}

IRolloutHost* SetRolloutHost(IRolloutHost* host) {
  IRolloutHost* old = g_rolloutHost;
  g_rolloutHost = host;
  return old;
}

IRolloutHost* GetRolloutHost() { return g_rolloutHost ? g_rolloutHost : panel::DefaultRolloutHost(); }

// ---- open rollouts ----------------------------------------------------------

MapID ParamMap2Impl::GetMapID() { return desc_->rollouts[size_t(index_)].map_id; }

void ParamMap2Impl::Invalidate() {
  if (hWnd_) GetRolloutHost()->RefreshRollout(hWnd_, this);
  if (ParamMap2UserDlgProc* proc = *proc_) {
    Interval valid = FOREVER;
    proc->Update(GetRolloutHost()->CurrentTime(), valid, this);
  }
}

struct ParamBlockDesc2::OpenState {
  ParamMap2UserDlgProc* proc = nullptr;  // installed user procedure
  ParamMap2Impl* map = nullptr;          // the open rollout; null while closed
};

// ---- construction -----------------------------------------------------------

ParamBlockDesc2::ParamBlockDesc2(BlockID id, const char* name, int localName, ClassDesc2* classDesc, int blockFlags,
                                 ...)
    : ID(id), int_name(name), local_name(localName), cd(classDesc), flags(blockFlags) {
  ParamDescReader in;
  va_start(in.ap, blockFlags);
  try {
    parse(in);
  } catch (...) {
    // An assertion handler may throw out of the reader.
    va_end(in.ap);
    throw;
  }
  va_end(in.ap);
  for (const ParamRolloutDef& r : rollouts) {
    auto* st = new OpenState;
    st->proc = r.dlgProc;
    state_.push_back(st);
  }
  if (cd) cd->AddParamBlockDesc(this);
}

ParamBlockDesc2::~ParamBlockDesc2() {
  closeRollouts();
  for (OpenState* st : state_) delete st;
  state_.clear();
  if (cd) cd->RemoveParamBlockDesc(this);
}

bool ParamBlockDesc2::parse(ParamDescReader& in) {
  auto fail = [this](const char* what) {
    valid = false;
    assert1(__LINE__, __FILE__, what);
    return false;
  };

  if (flags & P_VERSION) version = in.Int();
  if (flags & P_AUTO_CONSTRUCT) ref_no = in.Int();
  if (flags & P_AUTO_UI) {
    int n = 1;
    if (flags & P_MULTIMAP) {
      n = in.Int();
      if (n < 0 || n > kMaxRollouts) return fail("rollout count in 0..64");
    }
    for (int i = 0; i < n; ++i) {
      ParamRolloutDef r;
      r.map_id = MapID((flags & P_MULTIMAP) ? in.Int() : 0);
      r.dlg_template = in.Int();
      r.title = in.Int();
      r.test_flags = in.Int();
      r.rollup_flags = in.Int();
      r.dlgProc = in.Ptr<ParamMap2UserDlgProc>();
      if (rolloutIndex(r.map_id) >= 0) return fail("map ids of the rollouts are distinct");
      rollouts.push_back(r);
    }
  }

  for (;;) {
    int word = in.Int();
    if (word == p_end) break;
    if (word < SHRT_MIN || word > SHRT_MAX) return fail("a parameter id or p_end after a parameter's p_end");
    ParamDef d;
    d.ID = ParamID(word);
    if (IDtoIndex(d.ID) >= 0) return fail("parameter ids are distinct");
    const char* name = in.Str();
    d.int_name = name;
    d.type = in.Int();
    const Kind kind = KindOf(d.type);
    if (kind == Kind::Unsupported || (d.type & ~(TYPE_TAB | 0xff)) != 0)
      return fail("parameter type is one a block can hold");
    if (is_tab(d.type)) {
      d.tab_size = in.Int();
      if (d.tab_size < 0 || d.tab_size > kMaxInitialTab) return fail("table size in range");
    }
    d.flags = in.Int();
    d.local_name = in.Int();

    for (;;) {
      int tag = in.Int();
      if (tag == p_end) break;
      switch (tag) {
        case p_default:
        case p_ms_default: {
          PB2Value& v = tag == p_default ? d.def : d.ms_def;
          switch (kind) {
            case Kind::Int:
              v.i = in.Int();
              break;
            case Kind::Float:
              v.f = float(in.Double());
              break;
            case Kind::Point:
              (tag == p_default ? d.def_p3 : d.ms_def_p3) = in.P3();
              break;
            case Kind::String: {
              const char* s = in.Str();
              if (tag == p_default) d.def_str = s;
              break;
            }
            case Kind::Ref:
              in.Ptr<void>();
              break;  // references start empty whatever the description says
            case Kind::Unsupported:
              break;
          }
          break;
        }
        case p_range:
          d.has_range = true;
          if (kind == Kind::Int) {
            d.range_low.i = in.Int();
            d.range_high.i = in.Int();
          } else if (kind == Kind::Float || kind == Kind::Point) {
            d.range_low.f = float(in.Double());
            d.range_high.f = float(in.Double());
          } else {
            return fail("p_range on a numeric parameter");
          }
          break;
        case p_ui: {
          d.has_ui = true;
          d.map_id = MapID((flags & P_MULTIMAP) ? in.Int() : 0);
          if ((flags & P_AUTO_UI) && rolloutIndex(d.map_id) < 0) return fail("p_ui names a declared rollout");
          d.ctrl_type = in.Int();
          switch (d.ctrl_type) {
            case TYPE_SPINNER: {
              d.edit_type = in.Int();
              int pairs = kind == Kind::Point ? 3 : 1;
              for (int k = 0; k < pairs; ++k) {
                d.ctrl_IDs.push_back(in.Int());  // edit box
                d.ctrl_IDs.push_back(in.Int());  // spinner
              }
              d.scale = float(in.Double());
              break;
            }
            case TYPE_RADIO: {
              int n = in.Int();
              if (n < 0 || n > kMaxRadioButtons) return fail("radio button count in 0..64");
              for (int k = 0; k < n; ++k) d.ctrl_IDs.push_back(in.Int());
              break;
            }
            case TYPE_SINGLECHEKBOX:
            case TYPE_CHECKBUTTON:
            case TYPE_PICKNODEBUTTON:
            case TYPE_EDITBOX:
            case TYPE_COLORSWATCH:
            case TYPE_TEXMAPBUTTON:
            case TYPE_MTLBUTTON:
              d.ctrl_IDs.push_back(in.Int());
              break;
            case TYPE_NODELISTBOX:
              for (int k = 0; k < 4; ++k) d.ctrl_IDs.push_back(in.Int());  // list, add, replace, delete
              break;
            default:
              return fail("p_ui control type is supported");
          }
          break;
        }
        case p_validator:
          d.validator = in.Ptr<PBValidator>();
          break;
        case p_accessor:
          d.accessor = in.Ptr<PBAccessor>();
          break;
        case p_dim:
          d.dim = in.Ptr<ParamDimension>();
          break;
        case p_prompt:
          d.prompt = in.Int();
          break;
        case p_tooltip:
          d.tooltip = in.Int();
          break;
        default:
          return fail("tag is a known ParamTags value");
      }
    }
    paramdefs.push_back(std::move(d));
  }
  return true;
}

// ---- lookups ----------------------------------------------------------------

int ParamBlockDesc2::IDtoIndex(ParamID id) const {
  for (size_t i = 0; i < paramdefs.size(); ++i)
    if (paramdefs[i].ID == id) return int(i);
  return -1;
}

ParamID ParamBlockDesc2::IndextoID(int i) const {
  if (i < 0 || i >= Count()) return -1;
  return paramdefs[size_t(i)].ID;
}

ParamDef& ParamBlockDesc2::GetParamDef(ParamID id) {
  int i = IDtoIndex(id);
  if (i < 0) {
    assert1(__LINE__, __FILE__, "GetParamDef with an id the descriptor defines");
    return InvalidDef();
  }
  return paramdefs[size_t(i)];
}

int ParamBlockDesc2::NameToIndex(const char* name) const {
  if (!name) return -1;
  for (size_t i = 0; i < paramdefs.size(); ++i)
    if (std::strcmp(paramdefs[i].int_name, name) == 0) return int(i);
  return -1;
}

ParamDef* ParamBlockDesc2::FindParamByName(const char* name) {
  int i = NameToIndex(name);
  return i < 0 ? nullptr : &paramdefs[size_t(i)];
}

int ParamBlockDesc2::rolloutIndex(MapID map_id) const {
  for (size_t i = 0; i < rollouts.size(); ++i)
    if (rollouts[i].map_id == map_id) return int(i);
  return -1;
}

const ParamRolloutDef* ParamBlockDesc2::GetRolloutDef(MapID map_id) const {
  int i = rolloutIndex(map_id);
  return i < 0 ? nullptr : &rollouts[size_t(i)];
}

// ---- rollouts ---------------------------------------------------------------

IParamMap2* ParamBlockDesc2::GetMap(MapID map_id) {
  int i = rolloutIndex(map_id);
  return i < 0 || size_t(i) >= state_.size() ? nullptr : state_[size_t(i)]->map;
}

int ParamBlockDesc2::NumOpenMaps() const {
  int n = 0;
  for (const OpenState* st : state_) n += st->map ? 1 : 0;
  return n;
}

ParamMap2UserDlgProc* ParamBlockDesc2::GetUserDlgProc(MapID map_id) {
  int i = rolloutIndex(map_id);
  return i < 0 || size_t(i) >= state_.size() ? nullptr : state_[size_t(i)]->proc;
}

void ParamBlockDesc2::SetUserDlgProc(ParamMap2UserDlgProc* proc) { SetUserDlgProc(MapID(0), proc); }

void ParamBlockDesc2::SetUserDlgProc(MapID map_id, ParamMap2UserDlgProc* proc) {
  int i = rolloutIndex(map_id);
  if (i < 0 || size_t(i) >= state_.size()) {
    assert1(__LINE__, __FILE__, "SetUserDlgProc on a rollout the descriptor declares");
    if (proc) proc->DeleteThis();  // nobody else would ever release it
    return;
  }
  OpenState* st = state_[size_t(i)];
  ParamMap2UserDlgProc* old = st->proc;
  st->proc = proc;
  if (old && old != proc) old->DeleteThis();
  if (proc && st->map) proc->DlgProc(GetRolloutHost()->CurrentTime(), st->map, st->map->GetHWnd(), WM_INITDIALOG, 0, 0);
}

void ParamBlockDesc2::openRollouts(IParamBlock2* pb) {
  IRolloutHost* host = GetRolloutHost();
  for (size_t i = 0; i < rollouts.size() && i < state_.size(); ++i) {
    OpenState* st = state_[i];
    if (st->map) continue;
    auto* map = new ParamMap2Impl(this, int(i), pb, &st->proc);
    // Open before the window exists: its WM_INITDIALOG may already ask the block or descriptor for the map.
    st->map = map;
    HWND hWnd = host->CreateRollout(cd ? cd->HInstance() : nullptr, rollouts[i].dlg_template, rollouts[i].title, map);
    if (!hWnd) {  // the host has reported why
      st->map = nullptr;
      delete map;
      continue;
    }
    map->SetHWnd(hWnd);
    if (st->proc && !host->ForwardsMessages()) st->proc->DlgProc(host->CurrentTime(), map, hWnd, WM_INITDIALOG, 0, 0);
  }
}

void ParamBlockDesc2::closeRollouts() {
  IRolloutHost* host = GetRolloutHost();
  for (size_t i = 0; i < state_.size(); ++i) {
    OpenState* st = state_[i];
    ParamMap2Impl* map = st->map;
    if (!map && st->proc == rollouts[i].dlgProc) continue;
    if (map) {
      if (st->proc && !host->ForwardsMessages())
        st->proc->DlgProc(host->CurrentTime(), map, map->GetHWnd(), WM_DESTROY, 0, 0);
      // A forwarding host delivers WM_DESTROY to the procedure here, while the controls still exist.
      host->DestroyRollout(map->GetHWnd());
    }
    // Forget before releasing: DeleteThis may look at the descriptor again.
    ParamMap2UserDlgProc* proc = st->proc;
    st->proc = rollouts[i].dlgProc;
    st->map = nullptr;
    if (proc) proc->DeleteThis();
    delete map;
  }
}

void ParamBlockDesc2::blockDeleted(IParamBlock2* pb) {
  for (OpenState* st : state_)
    if (st->map && st->map->GetParamBlock() == pb) st->map->SetParamBlock(nullptr);
}

void ParamBlockDesc2::blockChanged(IParamBlock2* pb, ParamID id) {
  for (OpenState* st : state_)
    if (st->map && st->map->GetParamBlock() == pb) st->map->Invalidate(id, -1);
}

void ParamBlockDesc2::InvalidateUI() {
  for (OpenState* st : state_)
    if (st->map) st->map->Invalidate();
}

void ParamBlockDesc2::InvalidateUI(ParamID id, int tabIndex) {
  int pi = IDtoIndex(id);
  for (size_t i = 0; i < state_.size(); ++i) {
    OpenState* st = state_[i];
    if (!st->map) continue;
    // A parameter bound to another rollout does not show here.
    if (pi >= 0 && paramdefs[size_t(pi)].has_ui && paramdefs[size_t(pi)].map_id != rollouts[i].map_id) continue;
    st->map->Invalidate(id, tabIndex);
  }
}
