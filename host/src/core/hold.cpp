// The undo hold: restore objects recorded while a hold is open, closed into named steps on two stacks.
#include "hold.h"
#include "debug.h"

#include <string>
#include <utility>
#include <vector>

namespace {

struct Step {
  std::string name;
  std::vector<RestoreObj*> objs;  // in the order recorded
};

void Free(std::vector<RestoreObj*>& objs) {
  // Taken out first: a destructor that reaches the hold again finds nothing half freed.
  std::vector<RestoreObj*> gone;
  gone.swap(objs);
  for (RestoreObj* r : gone) delete r;
}

void Free(std::vector<Step>& steps) {
  std::vector<Step> gone;
  gone.swap(steps);
  for (Step& s : gone) Free(s.objs);
}

}  // namespace

struct Hold::Impl {
  int depth = 0;     // open Begin levels
  int suspends = 0;  // Suspend calls not yet resumed
  // Set while recorded objects are being played back: what they change is not a new change to record.
  bool replaying = false;
  std::vector<RestoreObj*> open;  // recorded since the outermost Begin
  std::vector<Step> undo, redo;   // newest last

  // Marks a playback for its duration, also when a restore object's handler throws out of it.
  struct Replay {
    explicit Replay(Impl& i) : impl(i) { impl.replaying = true; }
    ~Replay() { impl.replaying = false; }
    Impl& impl;
  };

  // Plays the newest step of `from` and moves it onto `to`; FALSE when there is none.
  template <class Play>
  BOOL PlayNewest(std::vector<Step>& from, std::vector<Step>& to, Play&& play) {
    if (from.empty()) return FALSE;
    {
      Replay replay(*this);
      play(from.back().objs);
    }
    to.push_back(std::move(from.back()));
    from.pop_back();
    return TRUE;
  }
};

Hold theHold;

Hold::Hold() : impl_(new Impl) {}

Hold::~Hold() {
  ResetUndo();
  delete impl_;
}

void Hold::Begin() { ++impl_->depth; }

int Hold::Holding() { return impl_->depth > 0 && impl_->suspends == 0 && !impl_->replaying ? TRUE : FALSE; }

void Hold::Put(RestoreObj* rob) {
  if (!rob) return;
  if (!Holding()) {
    delete rob;
    return;
  }
  impl_->open.push_back(rob);
}

void Hold::Accept(const char* name) {
  if (impl_->depth == 0) {
    assert1(__LINE__, __FILE__, "Accept closes a hold that Begin opened");
    return;
  }
  if (--impl_->depth > 0) return;
  if (impl_->open.empty()) return;
  Step step{name ? name : "", {}};
  step.objs.swap(impl_->open);
  for (RestoreObj* r : step.objs) r->EndHold();
  // A new change makes what was undone unreachable.
  Free(impl_->redo);
  impl_->undo.push_back(std::move(step));
}

void Hold::Cancel() {
  if (impl_->depth == 0) {
    assert1(__LINE__, __FILE__, "Cancel closes a hold that Begin opened");
    return;
  }
  // The whole hold closes, inner levels included: what they recorded was undone with the rest.
  impl_->depth = 0;
  std::vector<RestoreObj*> objs;
  objs.swap(impl_->open);
  {
    Impl::Replay replay(*impl_);
    for (auto it = objs.rbegin(); it != objs.rend(); ++it) (*it)->Restore(FALSE);
  }
  Free(objs);
}

void Hold::Suspend() { ++impl_->suspends; }

void Hold::Resume() {
  if (impl_->suspends == 0) {
    assert1(__LINE__, __FILE__, "Resume follows a Suspend");
    return;
  }
  --impl_->suspends;
}

int Hold::NumUndoSteps() { return int(impl_->undo.size()); }
int Hold::NumRedoSteps() { return int(impl_->redo.size()); }

TSTR Hold::UndoName() { return impl_->undo.empty() ? TSTR() : TSTR(impl_->undo.back().name); }
TSTR Hold::RedoName() { return impl_->redo.empty() ? TSTR() : TSTR(impl_->redo.back().name); }

BOOL Hold::Undo() {
  if (impl_->depth > 0 || impl_->replaying) {
    assert1(__LINE__, __FILE__, "Undo is not called while a hold is open or a step is played back");
    return FALSE;
  }
  return impl_->PlayNewest(impl_->undo, impl_->redo, [](std::vector<RestoreObj*>& objs) {
    for (auto it = objs.rbegin(); it != objs.rend(); ++it) (*it)->Restore(TRUE);
  });
}

BOOL Hold::Redo() {
  if (impl_->depth > 0 || impl_->replaying) {
    assert1(__LINE__, __FILE__, "Redo is not called while a hold is open or a step is played back");
    return FALSE;
  }
  return impl_->PlayNewest(impl_->redo, impl_->undo, [](std::vector<RestoreObj*>& objs) {
    for (RestoreObj* r : objs) r->Redo();
  });
}

void Hold::ResetUndo() {
  // An open hold stays open (its Accept still comes), but what it recorded belongs to the old scene too.
  Free(impl_->open);
  Free(impl_->undo);
  Free(impl_->redo);
}
