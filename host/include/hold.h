#pragma once
// Undo: changes made while the hold is open are recorded as restore objects; Accept closes them into one
// named undo step, Cancel undoes and drops them. The host keeps a stack of steps to undo and to redo.
#include "maxtypes.h"
#include "maxheap.h"
#include "strclass.h"

// One recorded change. Restore puts the state from before the change back (isUndo is TRUE for a real undo,
// FALSE when a cancelled hold is rolled back); Redo puts the changed state back.
class HOSTAPI RestoreObj : public MaxHeapOperators {
 public:
  virtual ~RestoreObj() = default;
  virtual void Restore(int isUndo) = 0;
  virtual void Redo() = 0;
  virtual int Size() { return 1; }
  // Called when the step the object belongs to has been accepted.
  virtual void EndHold() {}
  virtual TSTR Description() { return TSTR("---"); }
};

class HOSTAPI Hold {
 public:
  Hold();
  ~Hold();
  Hold(const Hold&) = delete;
  Hold& operator=(const Hold&) = delete;

  // Opens the hold; nested Begin/Accept pairs make one step, closed by the outermost Accept.
  void Begin();
  // TRUE while a hold is open and not suspended: writers record their changes only then.
  int Holding();
  // Takes ownership of rob. Outside a hold the object is deleted at once (nothing to record into).
  void Put(RestoreObj* rob);
  // Closes one level; at the outermost level the recorded objects become one undo step named `name`
  // (nothing is pushed when none was recorded) and the redo stack is cleared.
  void Accept(const char* name);
  // Closes the hold, undoing (Restore(FALSE)) and dropping everything recorded since the outermost Begin.
  void Cancel();
  // While suspended, Holding() is FALSE and Put deletes; counted.
  void Suspend();
  void Resume();

  // --- Stand-in extensions: what the host's Edit menu does ---
  int NumUndoSteps();
  int NumRedoSteps();
  // The name of the step Undo or Redo would take back ("" when none).
  TSTR UndoName();
  TSTR RedoName();
  // Restores the newest step (its objects in reverse order) and moves it to the redo stack; FALSE when
  // there is none or a hold is open (undo inside a hold is a caller's fault, reported).
  BOOL Undo();
  BOOL Redo();
  // Forgets every step (a new or loaded scene).
  void ResetUndo();

 private:
  struct Impl;
  Impl* impl_;
};

// The one hold of the process. Used from the host's main thread only.
HOSTAPI extern Hold theHold;
