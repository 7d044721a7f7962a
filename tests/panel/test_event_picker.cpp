// The Particle Flow event picker as the person uses it from the "Particle Trails" rollout's "Add" button.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "panel_fixture.h"

namespace {

class EventPicker : public PanelTest {
 protected:
  void SetUp() override {
    PanelTest::SetUp();
    flow = new FlowParticleSystem();
    flowNode = AddNode("PF Source 001", flow, nullptr);
    for (const char* name : {"Birth", "Spray", "Fall"}) flow->AddEvent(name);
    ASSERT_TRUE(mod->pblock->SetValue(pb_particle_node, 0, flowNode));
    Open();
  }

  // The names in the picker's list, as the person sees them.
  static std::vector<std::string> Entries(HWND dialog) {
    std::vector<std::string> names;
    const int n = int(SendDlgItemMessageA(dialog, IDC_EVENT_CANDIDATES, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
      char text[256] = "";
      SendDlgItemMessageA(dialog, IDC_EVENT_CANDIDATES, LB_GETTEXT, WPARAM(i), reinterpret_cast<LPARAM>(text));
      names.push_back(text);
    }
    return names;
  }
  std::vector<std::string> Chosen() const {
    std::vector<std::string> names;
    for (int i = 0; i < mod->pblock->Count(pb_pf_event_list); ++i) {
      INode* n = mod->pblock->GetINode(pb_pf_event_list, 0, i);
      names.push_back(n ? n->GetName() : "(null)");
    }
    return names;
  }
  // Entries of the rollout's event list box.
  static int RolloutEntries() {
    return int(SendDlgItemMessageA(Rollout(map_particles), IDC_EVENT_LIST, LB_GETCOUNT, 0, 0));
  }

  FlowParticleSystem* flow = nullptr;
  INode* flowNode = nullptr;
};

}  // namespace

TEST_F(EventPicker, ListsEventsInDiscoveryOrderAndAppendsTheChosenOnesAsOneUndoStep) {
  PanelAgent agent;
  std::vector<std::string> offered;
  agent.onShown = [&](HWND d) {
    offered = Entries(d);
    const int pick[] = {0, 2};
    EXPECT_TRUE(Win32SelectListItems(d, IDC_EVENT_CANDIDATES, pick, 2));
    EXPECT_TRUE(Win32PressButton(d, IDOK));
  };
  const int stepsBefore = theHold.NumUndoSteps();
  Press(map_particles, IDC_ADD_EVENTS);
  ASSERT_EQ(agent.shown.size(), 1u);
  EXPECT_EQ(offered, (std::vector<std::string>{"Birth", "Spray", "Fall"}));
  EXPECT_EQ(Chosen(), (std::vector<std::string>{"Birth", "Fall"}));
  EXPECT_EQ(RolloutEntries(), 2) << "the open rollout shows the new entries";
  EXPECT_EQ(theHold.NumUndoSteps(), stepsBefore + 1);
  EXPECT_EQ(std::string(theHold.UndoName()), "Add Events");
  EXPECT_EQ(mod->pblock->GetInt(pb_use_all_pf_events), TRUE) << "the picker leaves \"Use All PFlow Events\" alone";

  ASSERT_TRUE(theHold.Undo());
  EXPECT_TRUE(Chosen().empty()) << "one undo removes both";
  EXPECT_EQ(RolloutEntries(), 0);
  ASSERT_TRUE(theHold.Redo());
  EXPECT_EQ(Chosen(), (std::vector<std::string>{"Birth", "Fall"}));

  // Events already chosen are offered again, and choosing one again appends it a second time.
  agent.onShown = [&](HWND d) {
    offered = Entries(d);
    const int pick[] = {2};
    EXPECT_TRUE(Win32SelectListItems(d, IDC_EVENT_CANDIDATES, pick, 1));
    EXPECT_TRUE(Win32PressButton(d, IDOK));
  };
  Press(map_particles, IDC_ADD_EVENTS);
  EXPECT_EQ(offered.size(), 3u);
  EXPECT_EQ(Chosen(), (std::vector<std::string>{"Birth", "Fall", "Fall"}));
}

TEST_F(EventPicker, CancelTheCloseBoxAndAnEmptyChoiceAppendNothing) {
  for (int way = 0; way < 3; ++way) {
    PanelAgent agent;
    agent.onShown = [&](HWND d) {
      const int pick[] = {1};
      if (way < 2) EXPECT_TRUE(Win32SelectListItems(d, IDC_EVENT_CANDIDATES, pick, 1));
      if (way == 0) EXPECT_TRUE(Win32PressButton(d, IDCANCEL));
      if (way == 1) EXPECT_TRUE(Win32CloseWindow(d));
      if (way == 2) EXPECT_TRUE(Win32PressButton(d, IDOK));  // nothing selected
    };
    const int stepsBefore = theHold.NumUndoSteps();
    Press(map_particles, IDC_ADD_EVENTS);
    EXPECT_EQ(agent.shown.size(), 1u) << way;
    EXPECT_TRUE(Chosen().empty()) << way;
    EXPECT_EQ(theHold.NumUndoSteps(), stepsBefore) << "no undo step for way " << way;
    if (way < 2) EXPECT_EQ(mod->m_eventCandidates.Count(), 0) << "a cancelled run keeps no candidates";
  }
}

TEST_F(EventPicker, DoesNothingWithoutAFlowSystemWithEvents) {
  // A modifier that was never given a particle system.
  Close();
  mod = NewModifier();
  node = AddNode("Fresh Shape", Circle(2.0f), mod);
  Open();
  {
    PanelAgent agent;
    Press(map_particles, IDC_ADD_EVENTS);
    EXPECT_TRUE(agent.shown.empty());
    EXPECT_TRUE(agent.boxes.empty());
  }
  // A legacy system, and a flow system without events.
  INode* legacy = AddNode("Spray001", new LegacyParticleSystem(), nullptr);
  INode* bare = AddNode("PF Source 002", new FlowParticleSystem(), nullptr);
  for (INode* chosen : {legacy, bare}) {
    ASSERT_TRUE(mod->pblock->SetValue(pb_particle_node, 0, chosen));
    PanelAgent agent;
    Press(map_particles, IDC_ADD_EVENTS);
    EXPECT_TRUE(agent.shown.empty()) << chosen->GetName();
    EXPECT_TRUE(agent.boxes.empty());
    EXPECT_TRUE(Chosen().empty());
  }
}
