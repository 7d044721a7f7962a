// The test module's resources and the fixture's setup.
#include "panel_fixture.h"

namespace {

constexpr DWORD kCheckBox = BS_AUTOCHECKBOX;
constexpr DWORD kRadio = BS_AUTORADIOBUTTON;
constexpr DWORD kPanel = WS_CHILD | WS_VISIBLE;

const Win32StringResource kStrings[] = {
    {kTitleMain, "Parameters"},
    {kTitlePick, "Sources"},
    {kNameCount, "Number Of Materials"},
    {kNameScale, "Scale"},
    {kNameEnd, "End Frame"},
    {kNameEnabled, "Enabled"},
    {kNameMode, "Mode"},
    {kNameSource, "Particle Node"},
    {kNameEvents, "Event List"},
    {kPromptSource, "Choose a Particle System"},
    {kNameLabel, "Label"},
};

const Win32DialogControl kMainControls[] = {
    {kCountEdit, "CustEdit", "", 0, 50, 5, 30, 10},
    {kCountSpin, "SpinnerControl", "", 0, 81, 5, 7, 10},
    {kScaleEdit, "CustEdit", "", 0, 50, 17, 30, 10},
    {kScaleSpin, "SpinnerControl", "", 0, 81, 17, 7, 10},
    {kEndEdit, "custedit", "", 0, 50, 29, 30, 10},  // class names match without regard to case
    {kEndSpin, "SpinnerControl", "", 0, 81, 29, 7, 10},
    {kEnabledCheck, "BUTTON", "Enabled", kCheckBox, 5, 41, 60, 10},
    {kModeFirst, "BUTTON", "Moving", kRadio, 5, 53, 60, 10},
    {kModeSecond, "BUTTON", "Anchored", kRadio, 5, 65, 60, 10},
    {kPlainButton, "CustButton", "Do It", 0, 5, 77, 60, 12},
    {kLabelEdit, "CustEdit", "", 0, 5, 91, 60, 10},
};

const Win32DialogControl kPickControls[] = {
    {kPickButton, "CustButton", "", 0, 5, 5, 90, 14},
    {kEventList, "LISTBOX", "", LBS_NOTIFY, 5, 22, 90, 60},
    {kRemoveButton, "CustButton", "Remove", 0, 5, 85, 40, 12},
};

const Win32DialogControl kDialogControls[] = {
    {IDOK, "BUTTON", "OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 5, 40, 40, 14},
    {kCountEdit, "CustEdit", "", 0, 5, 5, 30, 10},
    {kCountSpin, "SpinnerControl", "", 0, 36, 5, 7, 10},
    {kPlainButton, "CustButton", "Do It", 0, 5, 20, 60, 12},
};

const Win32DialogResource kDialogs[] = {
    {kMainPanel, "", kPanel, 108, 110, kMainControls, int(std::size(kMainControls))},
    {kPickPanel, "", kPanel, 108, 100, kPickControls, int(std::size(kPickControls))},
    {kDialog, "Dialog", WS_POPUP | WS_CAPTION, 100, 60, kDialogControls, int(std::size(kDialogControls))},
};

const Win32ResourceImage kImage = {kStrings, int(std::size(kStrings)), kDialogs, int(std::size(kDialogs)), nullptr, 0};

}  // namespace

HMODULE PanelTestModule() {
  static HMODULE module = Win32RegisterModule("paneltest.dlm", &kImage);
  return module;
}

void PanelTest::SetUp() {
  Interface* ip = GetCOREInterface();
  ip->ResetScene();
  SetTicksPerFrame(kTpf);
  ip->SetTime(0, FALSE);
  theHold.ResetUndo();
  liveAtStart = MAX_heapLiveCount();
  desc.reset(new ParamBlockDesc2(
      0, "panel", 0, &cd, P_AUTO_CONSTRUCT | P_AUTO_UI | P_MULTIMAP, 0,  // reference number
      2, mapMain, kMainPanel, kTitleMain, 0, 0, nullptr, mapPick, kPickPanel, kTitlePick, 0, 0, nullptr,
      // an int spinner, a float spinner and a time spinner
      pCount, "count", TYPE_INT, 0, kNameCount, p_default, 3, p_range, 1, 1000, p_ui, mapMain, TYPE_SPINNER,
      EDITTYPE_INT, kCountEdit, kCountSpin, SPIN_AUTOSCALE, p_end, pScale, "scale", TYPE_FLOAT, 0, kNameScale,
      p_default, 0.5f, p_range, 0.0001f, 10.0f, p_ui, mapMain, TYPE_SPINNER, EDITTYPE_FLOAT, kScaleEdit, kScaleSpin,
      0.1f, p_end, pEnd, "end frame", TYPE_INT, 0, kNameEnd, p_default, 10 * kTpf, p_range, 0, 1000 * kTpf, p_ui,
      mapMain, TYPE_SPINNER, EDITTYPE_TIME, kEndEdit, kEndSpin, SPIN_AUTOSCALE, p_end,
      // a check box and a radio pair
      pEnabled, "enabled", TYPE_BOOL, 0, kNameEnabled, p_default, TRUE, p_ui, mapMain, TYPE_SINGLECHEKBOX,
      kEnabledCheck, p_end, pMode, "mode", TYPE_INT, 0, kNameMode, p_default, 0, p_ui, mapMain, TYPE_RADIO, 2,
      kModeFirst, kModeSecond, p_end,
      // a text in a custom edit field
      pLabel, "label", TYPE_STRING, 0, kNameLabel, p_default, "trail", p_ui, mapMain, TYPE_EDITBOX, kLabelEdit, p_end,
      // a pick button and a node list with its Remove button
      pSource, "source", TYPE_INODE, 0, kNameSource, p_ui, mapPick, TYPE_PICKNODEBUTTON, kPickButton, p_validator,
      &validator, p_prompt, kPromptSource, p_end, pEvents, "events", TYPE_INODE_TAB, 0, P_VARIABLE_SIZE, kNameEvents,
      p_ui, mapPick, TYPE_NODELISTBOX, kEventList, 0, 0, kRemoveButton, p_end, p_end));
  Describe(&cd, desc.release());
}

void PanelTest::Describe(ClassDesc2* classDesc, ParamBlockDesc2* d) {
  // The old block goes before the description it was made from.
  delete owner;
  owner = nullptr;
  pb = nullptr;
  desc.reset(d);
  ASSERT_TRUE(desc->valid);
  owner = new PanelOwner;
  classDesc->MakeAutoParamBlocks(owner);
  pb = owner->pblock;
  ASSERT_NE(pb, nullptr);
}

void PanelTest::TearDown() {
  Close();
  StandInCancelPick();
  delete owner;
  desc.reset();
  theHold.ResetUndo();
  GetCOREInterface()->ResetScene();
  EXPECT_EQ(MAX_heapLiveCount(), liveAtStart) << "host objects leaked or freed twice";
  EXPECT_EQ(CustomControlInterfacesOutstanding(), 0);
}

void PanelTest::TypeAndEnter(HWND rollout, int id, const char* text) {
  ASSERT_TRUE(Win32TypeText(rollout, id, text));
  ASSERT_TRUE(Win32PressKeyIn(rollout, id, VK_RETURN));
  Win32DispatchPendingMessages();
}

std::string PanelTest::Text(HWND rollout, int id) {
  char buf[256] = {};
  GetDlgItemTextA(rollout, id, buf, int(sizeof buf));
  return buf;
}

int PanelTest::HeardCount(UINT msg) const {
  int n = 0;
  for (const Heard& h : heard) n += h.msg == msg;
  return n;
}

INode* PanelTest::NewNode(const char* name) {
  INode* n = GetCOREInterface()->CreateObjectNode(nullptr);
  n->SetName(name);
  return n;
}
