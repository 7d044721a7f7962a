#pragma once
// The command panel's tests: a class of its own with a module whose templates hold custom controls, a
// block description bound to them, an owner, and a user procedure that logs what it hears.
#include <gtest/gtest.h>

#include <max.h>
#include <hold.h>
#include <win32/useragent.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "assert_capture.h"

// Templates, strings and controls of the test module.
enum : int {
  kMainPanel = 201,
  kPickPanel = 202,
  kDialog = 203,  // a modal dialog with custom controls, outside any rollout

  kTitleMain = 1,
  kTitlePick = 2,
  kNameCount = 10,
  kNameScale = 11,
  kNameEnd = 12,
  kNameEnabled = 13,
  kNameMode = 14,
  kNameSource = 15,
  kNameEvents = 16,
  kPromptSource = 17,
  kNameLabel = 18,

  kCountEdit = 1001,
  kCountSpin = 1002,
  kScaleEdit = 1003,
  kScaleSpin = 1004,
  kEndEdit = 1005,
  kEndSpin = 1006,
  kEnabledCheck = 1007,
  kModeFirst = 1008,
  kModeSecond = 1009,
  kPickButton = 1010,
  kEventList = 1011,
  kRemoveButton = 1012,
  kPlainButton = 1013,
  kLabelEdit = 1014,
};

enum : ParamID { pCount = 0, pScale = 1, pEnd = 2, pEnabled = 3, pMode = 4, pSource = 5, pEvents = 6, pLabel = 7 };
enum : MapID { mapMain = 0, mapPick = 1 };

constexpr int kTpf = 160;

HMODULE PanelTestModule();

// Accepts nodes whose name starts with "PF".
class PrefixValidator : public PBValidator {
 public:
  BOOL Validate(PB2Value& v) override {
    ++calls;
    return v.n && std::strncmp(v.n->GetName(), "PF", 2) == 0;
  }
  int calls = 0;
};

class PanelClassDesc : public ClassDesc2 {
 public:
  int IsPublic() override { return TRUE; }
  void* Create(BOOL) override { return nullptr; }
  const char* ClassName() override { return "PanelTest"; }
  SClass_ID SuperClassID() override { return OSM_CLASS_ID; }
  Class_ID ClassID() override { return Class_ID(0x7a11, 0x0e1); }
  const char* Category() override { return "Tests"; }
  HINSTANCE HInstance() override { return PanelTestModule(); }
};

// The owner of a block, with one reference.
class PanelOwner : public ReferenceMaker {
 public:
  ~PanelOwner() override { DeleteAllRefsFromMe(); }
  SClass_ID SuperClassID() override { return OSM_CLASS_ID; }
  int NumRefs() override { return 1; }
  RefTargetHandle GetReference(int) override { return pblock; }
  void SetReference(int, RefTargetHandle t) override { pblock = static_cast<IParamBlock2*>(t); }
  IParamBlock2* GetParamBlockByID(short id) override { return pblock && pblock->ID() == id ? pblock : nullptr; }
  RefResult NotifyRefChanged(const Interval&, RefTargetHandle, PartID&, RefMessage) override { return REF_SUCCEED; }
  IParamBlock2* pblock = nullptr;
};

// What a user procedure heard, with what it read from the block and the rollout at that moment.
struct Heard {
  UINT msg;
  WPARAM wParam;
  HWND hWnd;
  TimeValue t;
  int seen;  // see LoggingProc::peek
};

class LoggingProc : public ParamMap2UserDlgProc {
 public:
  explicit LoggingProc(std::vector<Heard>* log) : log_(log) {}
  INT_PTR DlgProc(TimeValue t, IParamMap2* map, HWND hWnd, UINT msg, WPARAM wParam, LPARAM) override {
    log_->push_back({msg, wParam, hWnd, t, peek ? peek(map, hWnd, msg) : 0});
    return FALSE;
  }
  void DeleteThis() override { delete this; }
  // Asked at every message: what the test wants to know the procedure could see then.
  std::function<int(IParamMap2*, HWND, UINT)> peek;

 private:
  std::vector<Heard>* log_;
};

// A class, its description, an owner with its block, open rollouts, and a clean scene and undo history.
class PanelTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  void Open() { cd.BeginEditParams(nullptr, owner, 0, nullptr); }
  void Close() { cd.EndEditParams(nullptr, owner, 0, nullptr); }
  HWND Rollout(MapID m) {
    IParamMap2* map = pb->GetMap(m);
    return map ? map->GetHWnd() : nullptr;
  }
  // Installs a logging procedure on a rollout.
  LoggingProc* Listen(MapID m) {
    auto* p = new LoggingProc(&heard);
    desc->SetUserDlgProc(m, p);
    heard.clear();
    return p;
  }
  // The person types into a field and presses Enter; the host's loop delivers it.
  void TypeAndEnter(HWND rollout, int id, const char* text);
  static std::string Text(HWND rollout, int id);
  // Count of the messages heard of one kind.
  int HeardCount(UINT msg) const;

  INode* NewNode(const char* name);
  // Replaces the description (made for classDesc) and the owner with a new pair.
  void Describe(ClassDesc2* classDesc, ParamBlockDesc2* d);

  long liveAtStart = 0;
  PanelClassDesc cd;
  PrefixValidator validator;
  std::unique_ptr<ParamBlockDesc2> desc;
  PanelOwner* owner = nullptr;
  IParamBlock2* pb = nullptr;
  std::vector<Heard> heard;
};
