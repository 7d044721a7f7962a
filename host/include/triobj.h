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
  // The mesh: vertices, faces (vertices, smoothing group, flags) and every map channel with its flags,
  // vertices and faces. Load replaces it (IO_ERROR, with the mesh unchanged, for damaged data: a face
  // naming a vertex that is not there, more channels than a mesh has, values that are not finite).
  IOResult Save(ISave* isave) override;
  IOResult Load(ILoad* iload) override;

  Mesh& GetMesh() { return mesh; }

  Object* MakeShallowCopy(ChannelMask channels) override;
};

// A new empty mesh object (locked, like every new object); null if memory ran out.
HOSTAPI TriObject* CreateNewTriObject();
