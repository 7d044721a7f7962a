#pragma once
// Class descriptors: what a plug-in library tells the host about each class it offers, and the host's
// ClassDesc2 services for classes whose parameters live in parameter blocks.
#include "maxtypes.h"
#include "maxheap.h"
#include <vector>

class Animatable;
class ReferenceMaker;
class IObjParam;
class Interface;
class ActionTable;
class FPInterface;
class ParamBlockDesc2;
class IParamMap2;
typedef short BlockID;

class HOSTAPI ClassDesc : public MaxHeapOperators {
 public:
  ClassDesc() = default;
  ClassDesc(const ClassDesc&) = delete;
  ClassDesc& operator=(const ClassDesc&) = delete;
  // Interface descriptors still registered forget this descriptor, so that they do not call back.
  virtual ~ClassDesc();
  virtual int IsPublic() = 0;
  virtual void* Create(BOOL loading = FALSE) = 0;
  virtual int BeginCreate(Interface* i) { return 0; }
  virtual int EndCreate(Interface* i) { return 0; }
  virtual const char* ClassName() = 0;
  virtual SClass_ID SuperClassID() = 0;
  virtual Class_ID ClassID() = 0;
  virtual const char* Category() = 0;
  virtual BOOL OkToCreate(Interface* i) { return TRUE; }
  virtual BOOL HasClassParams() { return FALSE; }
  virtual void EditClassParams(HWND hParent) {}
  virtual void ResetClassParams(BOOL fileReset = FALSE) {}
  virtual int NumActionTables() { return 0; }
  virtual ActionTable* GetActionTable(int i) { return nullptr; }
  virtual BOOL IsManipulator() { return FALSE; }
  virtual BOOL CanManipulate(ReferenceMaker* obj) { return FALSE; }
  // The name scripts and scene files use for the class.
  virtual const char* InternalName() { return nullptr; }
  // The module that holds the class's resources.
  virtual HINSTANCE HInstance() { return nullptr; }

  virtual int NumParamBlockDescs() { return 0; }
  virtual ParamBlockDesc2* GetParamBlockDesc(int i) { return nullptr; }
  virtual ParamBlockDesc2* GetParamBlockDescByID(BlockID id) { return nullptr; }
  virtual void AddParamBlockDesc(ParamBlockDesc2* pbd) {}

  // Function-publishing interfaces registered with the class (kept in registration order; not owned).
  virtual void AddInterface(FPInterface* fpi);
  // Nothing happens for an interface that is not registered.
  void RemoveInterface(FPInterface* fpi);
  virtual int NumInterfaces() { return int(interfaces_.size()); }
  virtual FPInterface* GetInterfaceAt(int i);

 private:
  std::vector<FPInterface*> interfaces_;
};

class HOSTAPI ClassDesc2 : public ClassDesc {
 public:
  ClassDesc2() = default;
  ClassDesc2(const ClassDesc2&) = delete;
  ClassDesc2& operator=(const ClassDesc2&) = delete;
  ~ClassDesc2() override;

  int NumParamBlockDescs() override { return int(pbDescs_.size()); }
  ParamBlockDesc2* GetParamBlockDesc(int i) override;
  ParamBlockDesc2* GetParamBlockDescByID(BlockID id) override;
  ParamBlockDesc2* GetParamBlockDescByName(const char* name);
  void AddParamBlockDesc(ParamBlockDesc2* pbd) override;
  void RemoveParamBlockDesc(ParamBlockDesc2* pbd);
  void ClearParamBlockDescs();

  // Creates a block with its defaults for every P_AUTO_CONSTRUCT descriptor and installs it in owner with
  // owner->ReplaceReference(refNo, block).
  virtual void MakeAutoParamBlocks(ReferenceMaker* owner);

  // Opens the rollouts of obj's P_AUTO_UI blocks (rollouts still open from an earlier call are closed first);
  // user procedures already installed get WM_INITDIALOG.
  virtual void BeginEditParams(IObjParam* ip, ReferenceMaker* obj, ULONG flags, Animatable* prev);
  // Closes them: each installed user procedure gets WM_DESTROY and is released through DeleteThis.
  virtual void EndEditParams(IObjParam* ip, ReferenceMaker* obj, ULONG flags, Animatable* next);

  virtual void InvalidateUI();
  virtual void InvalidateUI(ParamBlockDesc2* pbd);

  // The object whose rollouts are open (null when none), and the open rollouts in stacking order.
  ReferenceMaker* EditedObject() const { return editObj_; }
  int NumOpenRollouts();
  IParamMap2* GetOpenRollout(int i);

 private:
  std::vector<ParamBlockDesc2*> pbDescs_;
  ReferenceMaker* editObj_ = nullptr;
};
