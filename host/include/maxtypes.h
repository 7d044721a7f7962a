#pragma once
// Fundamental host types: time, intervals, class and interface ids, result codes.
#include <windows.h>
#include <climits>
#include <cstdint>

#if defined(WW_BUILDING_HOST)
#define HOSTAPI __attribute__((visibility("default")))
#else
#define HOSTAPI __attribute__((visibility("default")))
#endif

typedef int TimeValue;
#define TIME_NegInfinity TimeValue(0x80000000)
#define TIME_PosInfinity TimeValue(0x7fffffff)
#define TIME_TICKSPERSEC 4800

typedef unsigned long SClass_ID;
typedef DWORD ChannelMask;
typedef unsigned long long PartID;
typedef unsigned int RefMessage;

// A time range. Empty is (TIME_NegInfinity, TIME_NegInfinity), as the host has it.
class HOSTAPI Interval {
 public:
  Interval() : start_(TIME_NegInfinity), end_(TIME_NegInfinity) {}
  // Kept as given: an interval whose start lies after its end holds no time, and callers test for it.
  Interval(TimeValue s, TimeValue e) : start_(s), end_(e) {}
  void Set(TimeValue s, TimeValue e) { *this = Interval(s, e); }
  void SetStart(TimeValue s) { start_ = s; }
  void SetEnd(TimeValue e) { end_ = e; }
  void SetEmpty() { start_ = end_ = TIME_NegInfinity; }
  void SetInfinite() {
    start_ = TIME_NegInfinity;
    end_ = TIME_PosInfinity;
  }
  void SetInstant(TimeValue t) { start_ = end_ = t; }
  TimeValue Start() const { return start_; }
  TimeValue End() const { return end_; }
  TimeValue Duration() const { return end_ - start_ + 1; }
  bool Empty() const { return start_ == TIME_NegInfinity && end_ == TIME_NegInfinity; }
  bool InInterval(TimeValue t) const { return !Empty() && t >= start_ && t <= end_; }
  // Intersection; an empty result has both ends at negative infinity.
  Interval operator&(const Interval& o) const {
    if (Empty() || o.Empty()) return Interval();
    TimeValue s = start_ > o.start_ ? start_ : o.start_;
    TimeValue e = end_ < o.end_ ? end_ : o.end_;
    if (s > e) return Interval();
    Interval r;
    r.start_ = s;
    r.end_ = e;
    return r;
  }
  Interval& operator&=(const Interval& o) { return *this = *this & o; }
  bool operator==(const Interval& o) const { return start_ == o.start_ && end_ == o.end_; }
  bool operator!=(const Interval& o) const { return !(*this == o); }

 private:
  TimeValue start_, end_;
};

#define FOREVER Interval(TIME_NegInfinity, TIME_PosInfinity)
#define NEVER Interval(TIME_NegInfinity, TIME_NegInfinity)

class Class_ID {
 public:
  constexpr Class_ID() : a_(0xFFFFFFFF), b_(0xFFFFFFFF) {}
  constexpr Class_ID(ULONG a, ULONG b) : a_(a), b_(b) {}
  constexpr ULONG PartA() const { return a_; }
  constexpr ULONG PartB() const { return b_; }
  constexpr bool operator==(const Class_ID& o) const { return a_ == o.a_ && b_ == o.b_; }
  constexpr bool operator!=(const Class_ID& o) const { return !(*this == o); }
  constexpr bool operator<(const Class_ID& o) const { return a_ < o.a_ || (a_ == o.a_ && b_ < o.b_); }

 private:
  ULONG a_, b_;
};

class Interface_ID {
 public:
  constexpr Interface_ID() : a_(0xFFFFFFFF), b_(0xFFFFFFFF) {}
  constexpr Interface_ID(ULONG a, ULONG b) : a_(a), b_(b) {}
  constexpr ULONG PartA() const { return a_; }
  constexpr ULONG PartB() const { return b_; }
  constexpr bool operator==(const Interface_ID& o) const { return a_ == o.a_ && b_ == o.b_; }
  constexpr bool operator!=(const Interface_ID& o) const { return !(*this == o); }

 private:
  ULONG a_, b_;
};

// Super class ids
#define GEN_DERIVOB_CLASS_ID 0x00000002
#define BASENODE_CLASS_ID 0x00000001
#define GEOMOBJECT_CLASS_ID 0x00000010
#define SHAPE_CLASS_ID 0x00000040
#define OSM_CLASS_ID 0x00000810
#define WSM_CLASS_ID 0x00000820
#define CTRL_FLOAT_CLASS_ID 0x00009003
#define CTRL_POSITION_CLASS_ID 0x0000900b
#define CTRL_ROTATION_CLASS_ID 0x0000900c
#define CTRL_SCALE_CLASS_ID 0x0000900d
#define CTRL_MATRIX3_CLASS_ID 0x00009008
#define PARAMETER_BLOCK2_CLASS_ID 0x00000082
#define REF_TARGET_CLASS_ID 0x00000300
#define MATERIAL_CLASS_ID 0x00000c00
#define TEXMAP_CLASS_ID 0x00000c10

// Class ids of host objects
#define TRIOBJ_CLASS_ID 0x0009
#define SPLINESHAPE_CLASS_ID 0x0000000a
#define DERIVOB_CLASS_ID 0x000000d9
const Class_ID triObjectClassID(TRIOBJ_CLASS_ID, 0);
const Class_ID splineShapeClassID(SPLINESHAPE_CLASS_ID, 0);
const Class_ID genericShapeClassID(SHAPE_CLASS_ID, 0);
const Class_ID derivObjClassID(DERIVOB_CLASS_ID, 0);

// Reference results and messages
enum RefResult { REF_FAIL = 0, REF_SUCCEED = 1, REF_DONTCARE = 2, REF_STOP = 3, REF_INVALID = 4 };
#define REFMSG_CHANGE 0x00000050
#define REFMSG_TARGET_DELETED 0x00000009
#define REFMSG_SUBANIM_STRUCTURE_CHANGED 0x00000160
#define NOTIFY_ALL 0xfffffff0
#define PART_ALL 0xffffffffffffffffULL
#define PART_TOPO 0x0001
#define PART_GEOM 0x0002
#define PART_TEXMAP 0x0004

// Object channels
#define TOPO_CHANNEL 0x00000001
#define GEOM_CHANNEL 0x00000002
#define TEXMAP_CHANNEL 0x00000004
#define MTL_CHANNEL 0x00000008
#define SELECT_CHANNEL 0x00000010
#define SUBSEL_TYPE_CHANNEL 0x00000020
#define DISP_ATTRIB_CHANNEL 0x00000040
#define VERTCOLOR_CHANNEL 0x00000080
#define GFX_DATA_CHANNEL 0x00000100
#define DISP_APPROX_CHANNEL 0x00000200
#define EXTENSION_CHANNEL 0x00002000
#define TM_CHANNEL 0x00000400
#define GEOM_CHAN_NUM 1
#define TOPO_CHAN_NUM 0
#define TEXMAP_CHAN_NUM 2
#define NUM_OBJ_CHANS 14
#define ALL_CHANNELS 0x800037FF

// Animatable flags
#define A_MOD_BEING_EDITED 0x00000040

// Save and load results
enum IOResult { IO_OK = 0, IO_END = 1, IO_ERROR = 2 };

// Function-publishing results
#define FPS_FAIL 0
#define FPS_OK 1
#define FPS_NO_SUCH_FUNCTION -1
