#pragma once
// Shared set-up for the material tests: every case starts and ends with an empty scene and must give back
// every host allocation it made (SceneTest), so a material or map kept too long or freed twice shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "assert_capture.h"
#include "host_scene/scene_fixture.h"

// The scene tests' fixture, with the stacks and nodes materials hang on.
class MaterialsTest : public SceneTest {
 protected:
  // A node with an empty modifier stack on a spline shape.
  INode* NewNode(IDerivedObject** derived = nullptr) {
    IDerivedObject* d = CreateDerivedObject(new SplineShape());
    if (derived) *derived = d;
    return ip->CreateObjectNode(d);
  }
};

// A map that counts its destructions, to tell "freed once" from "kept" and "freed twice".
class CountingMap : public Texmap {
 public:
  explicit CountingMap(int* destroyed) : destroyed_(destroyed) {}
  ~CountingMap() override { ++*destroyed_; }
  RefResult NotifyRefChanged(const Interval&, RefTargetHandle, PartID&, RefMessage) override { return REF_SUCCEED; }

 private:
  int* destroyed_;
};

// A maker that references one target and records the messages that reach it.
class Listener : public ReferenceMaker {
 public:
  explicit Listener(ReferenceTarget* t) { ReplaceReference(0, t); }
  ~Listener() override { DeleteAllRefsFromMe(); }
  SClass_ID SuperClassID() override { return REF_TARGET_CLASS_ID; }
  int NumRefs() override { return 1; }
  RefTargetHandle GetReference(int i) override { return i == 0 ? target_ : nullptr; }
  void SetReference(int i, RefTargetHandle t) override {
    if (i == 0) target_ = t;
  }
  RefResult NotifyRefChanged(const Interval&, RefTargetHandle, PartID&, RefMessage message) override {
    messages.push_back(message);
    return REF_SUCCEED;
  }
  int Count(RefMessage m) const { return int(std::count(messages.begin(), messages.end(), m)); }

  std::vector<RefMessage> messages;

 private:
  RefTargetHandle target_ = nullptr;
};
