#pragma once
// The triangle-mesh object.
#include "mesh.h"
#include "object.h"

class HOSTAPI TriObject : public GeomObject {
 public:
  Mesh mesh;

  TriObject() = default;
  ~TriObject() override;

  Class_ID ClassID() override { return triObjectClassID; }
  void GetClassName(TSTR& s) override { s = "TriObject"; }
  const char* GetObjectName() override { return "Mesh"; }
  RefTargetHandle Clone(RemapDir& remap) override;

  Mesh& GetMesh() { return mesh; }

  Object* MakeShallowCopy(ChannelMask channels) override;
};

// A new empty mesh object (locked, like every new object); null if memory ran out.
HOSTAPI TriObject* CreateNewTriObject();
