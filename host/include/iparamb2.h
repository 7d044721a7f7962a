#pragma once
// Parameter blocks, second generation: a plug-in describes its parameters once, in a static ParamBlockDesc2
// built from a tag list; the host makes a block of values for every instance, clamps, animates, saves and
// loads them, and binds them to the rollouts of the command panel.
#include "maxtypes.h"
#include "maxheap.h"
#include "point3.h"
#include "ref.h"
#include "strclass.h"
#include "iparamm2.h"
#include <vector>

class INode;
class Control;
class ClassDesc2;
class ParamDimension;
class IParamBlock2;
class ParamBlockDesc2;
struct ParamDescReader;
typedef short ParamID;
typedef short BlockID;
typedef short MapID;

// Parameter types. A table parameter has TYPE_TAB added to its element type.
enum ParamType2 {
  TYPE_FLOAT = 0,
  TYPE_INT = 1,
  TYPE_RGBA = 2,
  TYPE_POINT3 = 3,
  TYPE_BOOL = 4,
  TYPE_ANGLE = 5,
  TYPE_PCNT_FRAC = 6,
  TYPE_WORLD = 7,
  TYPE_STRING = 8,
  TYPE_FILENAME = 9,
  TYPE_HSV = 10,
  TYPE_COLOR_CHANNEL = 11,
  TYPE_TIMEVALUE = 12,
  TYPE_RADIOBTN_INDEX = 13,
  TYPE_MTL = 14,
  TYPE_TEXMAP = 15,
  TYPE_BITMAP = 16,
  TYPE_INODE = 17,
  TYPE_REFTARG = 18,
  TYPE_INDEX = 19,
  TYPE_MATRIX3 = 20,
  TYPE_PBLOCK2 = 21,
  // Types used by function-publishing signatures only; a block holds none of them.
  TYPE_ENUM = 24,
  TYPE_VOID = 25,
  TYPE_INTERVAL = 26,

  TYPE_TAB = 0x800,
  TYPE_FLOAT_TAB = TYPE_FLOAT + TYPE_TAB,
  TYPE_INT_TAB = TYPE_INT + TYPE_TAB,
  TYPE_RGBA_TAB = TYPE_RGBA + TYPE_TAB,
  TYPE_POINT3_TAB = TYPE_POINT3 + TYPE_TAB,
  TYPE_BOOL_TAB = TYPE_BOOL + TYPE_TAB,
  TYPE_ANGLE_TAB = TYPE_ANGLE + TYPE_TAB,
  TYPE_PCNT_FRAC_TAB = TYPE_PCNT_FRAC + TYPE_TAB,
  TYPE_WORLD_TAB = TYPE_WORLD + TYPE_TAB,
  TYPE_STRING_TAB = TYPE_STRING + TYPE_TAB,
  TYPE_FILENAME_TAB = TYPE_FILENAME + TYPE_TAB,
  TYPE_TIMEVALUE_TAB = TYPE_TIMEVALUE + TYPE_TAB,
  TYPE_MTL_TAB = TYPE_MTL + TYPE_TAB,
  TYPE_TEXMAP_TAB = TYPE_TEXMAP + TYPE_TAB,
  TYPE_INODE_TAB = TYPE_INODE + TYPE_TAB,
  TYPE_REFTARG_TAB = TYPE_REFTARG + TYPE_TAB,
  TYPE_INDEX_TAB = TYPE_INDEX + TYPE_TAB,
};
inline bool is_tab(int type) { return (type & TYPE_TAB) != 0; }
inline int base_type(int type) { return type & ~TYPE_TAB; }

// Rollout controls a parameter can be bound to.
enum ControlType2 {
  TYPE_SPINNER = 0,
  TYPE_RADIO,
  TYPE_SINGLECHEKBOX,
  TYPE_MULTICHEKBOX,
  TYPE_COLORSWATCH,
  TYPE_EDITBOX,
  TYPE_CHECKBUTTON,
  TYPE_PICKNODEBUTTON,
  TYPE_TEXMAPBUTTON,
  TYPE_MTLBUTTON,
  TYPE_BITMAPBUTTON,
  TYPE_INTLISTBOX,
  TYPE_NODELISTBOX,
};

// Parameter flags (per parameter definition).
#define P_ANIMATABLE 0x0001
#define P_TRANSIENT 0x0002
#define P_VARIABLE_SIZE 0x1000
// Bit 0x0004 of a parameter's flags means nothing here; descriptions may carry it.

// Block flags (per descriptor).
#define P_CLASS_PARAMS 0x0001
#define P_AUTO_CONSTRUCT 0x0002
#define P_AUTO_UI 0x0004
#define P_MULTIMAP 0x0020
#define P_VERSION 0x0200

// Tags of a parameter description. Their values lie outside the range of ParamID, so the constructor can
// tell "next parameter" from "end of the list".
enum ParamTags {
  p_end = 0x10000000,
  end = p_end,
  p_default,
  p_ms_default,
  p_range,
  p_ui,
  p_validator,
  p_accessor,
  p_prompt,
  p_tooltip,
  p_dim,
};

// A parameter value as handed to validators and accessors. Node values are kept in r (n reads the same
// pointer as an INode*).
struct PB2Value {
  union {
    int i;
    float f;
    Point3* p;
    TimeValue t;
    const char* s;
    ReferenceTarget* r;
    INode* n;
  };
  BYTE flags = 0;
  PB2Value() : r(nullptr) {}
};

// Decides whether a value may be stored in a parameter; the host asks before it stores.
class HOSTAPI PBValidator : public MaxHeapOperators {
 public:
  virtual BaseInterface* GetInterface(Interface_ID id) { return nullptr; }
  virtual BOOL Validate(PB2Value& v, ReferenceMaker* owner, ParamID id, int tabIndex) { return Validate(v); }
  virtual BOOL Validate(PB2Value& v) = 0;
  virtual void DeleteThis() {}
  virtual ~PBValidator() = default;
};

// Sees values on their way into and out of a block: Set before a value is stored, Get after it is read.
class HOSTAPI PBAccessor : public MaxHeapOperators {
 public:
  virtual void Get(PB2Value& v, ReferenceMaker* owner, ParamID id, int tabIndex, TimeValue t, Interval& valid) {}
  virtual void Set(PB2Value& v, ReferenceMaker* owner, ParamID id, int tabIndex, TimeValue t) {}
  virtual void DeleteThis() {}
  virtual ~PBAccessor() = default;
};

// One parameter as its description defines it.
class HOSTAPI ParamDef {
 public:
  ParamID ID = -1;
  MSTR int_name;
  int type = TYPE_FLOAT;  // ParamType2, TYPE_TAB included
  int flags = 0;          // P_ANIMATABLE, P_TRANSIENT, P_VARIABLE_SIZE
  int local_name = 0;     // string id
  int tab_size = 0;       // initial count of a table parameter
  // Defaults: numbers in def (i or f), points in def_p3, texts in def_str.
  PB2Value def;
  Point3 def_p3;
  MSTR def_str;
  PB2Value ms_def;
  Point3 ms_def_p3;
  // Inclusive range of ints (i) or floats and point components (f).
  bool has_range = false;
  PB2Value range_low, range_high;
  // Rollout binding.
  bool has_ui = false;
  MapID map_id = 0;
  int ctrl_type = -1;  // ControlType2
  int edit_type = 0;   // EditSpinnerType of a spinner
  std::vector<int> ctrl_IDs;
  float scale = 0.0f;
  PBValidator* validator = nullptr;
  PBAccessor* accessor = nullptr;
  ParamDimension* dim = nullptr;
  int prompt = 0;   // string id
  int tooltip = 0;  // string id

  int ctrl_count() const { return int(ctrl_IDs.size()); }
};

// One rollout of a descriptor.
struct ParamRolloutDef {
  MapID map_id = 0;
  int dlg_template = 0;
  int title = 0;  // string id
  int test_flags = 0;
  int rollup_flags = 0;
  ParamMap2UserDlgProc* dlgProc = nullptr;  // given by the description; may be null
};

// The description of a parameter block. Constructed with the host's tag syntax:
//   ParamBlockDesc2 desc(blockId, "main", 0, &classDesc, P_AUTO_CONSTRUCT | P_AUTO_UI | P_MULTIMAP,
//       [version if P_VERSION,] [reference number if P_AUTO_CONSTRUCT,]
//       [if P_AUTO_UI and P_MULTIMAP: rollout count, then per rollout: map id, dialog id, title id,
//        flag mask, rollup flags, user procedure;  if P_AUTO_UI only: the same without the map id,]
//       paramId, "name", type, [table size for table types,] flags, localNameId, tags..., p_end,
//       ...
//       p_end);
// A malformed description is a programming error: it is reported through assert1 and parsing stops there.
class HOSTAPI ParamBlockDesc2 : public MaxHeapOperators {
 public:
  ParamBlockDesc2(BlockID id, const char* int_name, int local_name, ClassDesc2* cd, int flags, ...);
  ~ParamBlockDesc2();
  ParamBlockDesc2(const ParamBlockDesc2&) = delete;
  ParamBlockDesc2& operator=(const ParamBlockDesc2&) = delete;

  BlockID ID;
  MSTR int_name;
  int local_name;
  ClassDesc2* cd;
  int flags;
  int version = 0;
  int ref_no = -1;  // reference index of the block in its owner (P_AUTO_CONSTRUCT)
  std::vector<ParamDef> paramdefs;
  std::vector<ParamRolloutDef> rollouts;
  // False when the description was malformed (and reported).
  bool valid = true;

  int Count() const { return int(paramdefs.size()); }
  int IDtoIndex(ParamID id) const;  // -1 when absent
  ParamID IndextoID(int i) const;   // -1 when out of range
  // The definition of id; an unknown id is reported and answers a definition with ID -1.
  ParamDef& GetParamDef(ParamID id);
  ParamDef* FindParamByName(const char* name);
  int NameToIndex(const char* name) const;

  // Asks every open rollout of this descriptor to show its block's values again.
  void InvalidateUI();
  void InvalidateUI(ParamID id, int tabIndex = -1);

  // Installs the user procedure of a rollout (map 0 for the single-map form). A different previous one is
  // released through its DeleteThis. When the rollout is open the procedure gets WM_INITDIALOG at once.
  void SetUserDlgProc(ParamMap2UserDlgProc* proc = nullptr);
  void SetUserDlgProc(MapID map_id, ParamMap2UserDlgProc* proc = nullptr);
  ParamMap2UserDlgProc* GetUserDlgProc(MapID map_id = 0);

  const ParamRolloutDef* GetRolloutDef(MapID map_id) const;
  // The open rollout of a map, null while it is closed.
  IParamMap2* GetMap(MapID map_id = 0);
  int NumOpenMaps() const;

 private:
  friend class ClassDesc2;
  friend class ParamBlock2;
  struct OpenState;
  bool parse(ParamDescReader& in);
  int rolloutIndex(MapID map_id) const;
  void openRollouts(IParamBlock2* pb);
  void closeRollouts();
  void blockDeleted(IParamBlock2* pb);
  void blockChanged(IParamBlock2* pb, ParamID id);
  std::vector<OpenState*> state_;  // one per rollout
};

// The values of one instance's parameters.
class HOSTAPI IParamBlock2 : public ReferenceTarget {
 public:
  SClass_ID SuperClassID() override { return PARAMETER_BLOCK2_CLASS_ID; }
  Class_ID ClassID() override { return Class_ID(PARAMETER_BLOCK2_CLASS_ID, 0); }
  void GetClassName(TSTR& s) override { s = "ParamBlock2"; }

  virtual BlockID ID() = 0;
  virtual ParamBlockDesc2* GetDesc() = 0;
  virtual ReferenceMaker* GetOwner() = 0;
  virtual void SetOwner(ReferenceMaker* owner) = 0;
  virtual int NumParams() = 0;
  virtual int IDtoIndex(ParamID id) = 0;
  virtual ParamID IndextoID(int index) = 0;
  virtual int GetParameterType(ParamID id) = 0;  // ParamType2; -1 for an unknown id
  // The parameter whose change was notified last; -1 before any.
  virtual ParamID LastNotifyParamID() = 0;

  // Typed reads: FALSE for an unknown id, a type that does not fit or a table index out of range. An
  // animated value comes from its controller and narrows ivalid; a stored one leaves ivalid as it is.
  virtual BOOL GetValue(ParamID id, TimeValue t, float& v, Interval& ivalid, int tabIndex = 0) = 0;
  virtual BOOL GetValue(ParamID id, TimeValue t, int& v, Interval& ivalid, int tabIndex = 0) = 0;
  virtual BOOL GetValue(ParamID id, TimeValue t, Point3& v, Interval& ivalid, int tabIndex = 0) = 0;
  virtual BOOL GetValue(ParamID id, TimeValue t, const char*& v, Interval& ivalid, int tabIndex = 0) = 0;
  virtual BOOL GetValue(ParamID id, TimeValue t, INode*& v, Interval& ivalid, int tabIndex = 0) = 0;
  virtual BOOL GetValue(ParamID id, TimeValue t, ReferenceTarget*& v, Interval& ivalid, int tabIndex = 0) = 0;

  // Typed writes: clamped into the parameter's range, checked by its validator, then stored (in the
  // controller, when the parameter has one) and notified to the dependents. FALSE when refused.
  virtual BOOL SetValue(ParamID id, TimeValue t, float v, int tabIndex = 0) = 0;
  virtual BOOL SetValue(ParamID id, TimeValue t, int v, int tabIndex = 0) = 0;
  virtual BOOL SetValue(ParamID id, TimeValue t, const Point3& v, int tabIndex = 0) = 0;
  virtual BOOL SetValue(ParamID id, TimeValue t, const char* v, int tabIndex = 0) = 0;
  virtual BOOL SetValue(ParamID id, TimeValue t, INode* v, int tabIndex = 0) = 0;
  virtual BOOL SetValue(ParamID id, TimeValue t, ReferenceTarget* v, int tabIndex = 0) = 0;

  int GetInt(ParamID id, TimeValue t = 0, int tabIndex = 0);
  float GetFloat(ParamID id, TimeValue t = 0, int tabIndex = 0);
  Point3 GetPoint3(ParamID id, TimeValue t = 0, int tabIndex = 0);
  const char* GetStr(ParamID id, TimeValue t = 0, int tabIndex = 0);
  INode* GetINode(ParamID id, TimeValue t = 0, int tabIndex = 0);
  ReferenceTarget* GetReferenceTarget(ParamID id, TimeValue t = 0, int tabIndex = 0);
  TimeValue GetTimeValue(ParamID id, TimeValue t = 0, int tabIndex = 0) { return GetInt(id, t, tabIndex); }

  // Controllers of animatable numeric parameters; the block references them.
  virtual Control* GetController(ParamID id, int tabIndex = 0) = 0;
  virtual BOOL SetController(ParamID id, int tabIndex, Control* c) = 0;

  // Tables. Count is the entry count of a table parameter (1 for a plain one, 0 for an unknown id).
  virtual int Count(ParamID id) = 0;
  virtual void ZeroCount(ParamID id) = 0;
  virtual void SetCount(ParamID id, int n) = 0;
  virtual int Delete(ParamID id, int start, int num) = 0;  // returns the new count
  virtual int Resize(ParamID id, int num) = 0;
  // Append returns the index of the first new entry (-1 when refused).
  virtual int Append(ParamID id, int num, INode** el, int allocExtra = 0) = 0;
  virtual int Append(ParamID id, int num, ReferenceTarget** el, int allocExtra = 0) = 0;
  virtual int Append(ParamID id, int num, int* el, int allocExtra = 0) = 0;
  virtual int Append(ParamID id, int num, float* el, int allocExtra = 0) = 0;
  virtual int Insert(ParamID id, int start, int num, INode** el) = 0;

  // All parameters back to their defaults (controllers dropped).
  virtual void ResetAll() = 0;
  // The open rollout of this block for a map, null when none.
  virtual IParamMap2* GetMap(MapID map_id = 0) = 0;
};

// Makes a block with the descriptor's defaults; the caller installs it as a reference of owner.
HOSTAPI IParamBlock2* CreateParameterBlock2(ParamBlockDesc2* pdesc, ReferenceMaker* owner);
