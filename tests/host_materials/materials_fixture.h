#pragma once
// Shared set-up for the material tests: every case starts and ends with an empty scene and must give back
// every host allocation it made, so a material or map kept too long (or freed twice) shows as a count.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "assert_capture.h"
#include "max.h"

class MaterialsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ip = GetCOREInterface();
    ip->ResetScene();
    liveAtStart = MAX_heapLiveCount();
  }
  void TearDown() override {
    ip->ResetScene();
    EXPECT_EQ(MAX_heapLiveCount(), liveAtStart) << "materials or maps leaked or freed twice";
  }

  // A node with an empty modifier stack on a spline shape.
  INode* NewNode(IDerivedObject** derived = nullptr) {
    IDerivedObject* d = CreateDerivedObject(new SplineShape());
    if (derived) *derived = d;
    return ip->CreateObjectNode(d);
  }

  Interface* ip = nullptr;
  long liveAtStart = 0;
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
