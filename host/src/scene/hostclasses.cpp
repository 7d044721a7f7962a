// Descriptors of the host's own creatable classes, so that scene files and scripts find them in the class
// directory as they find plug-in classes.
#include <vector>

#include "../materials/materials_internal.h"
#include "control.h"
#include "modstack.h"
#include "particles.h"
#include "plugapi.h"
#include "splshape.h"
#include "triobj.h"

namespace {

template <class Make>
class HostClassDesc : public ClassDesc {
 public:
  HostClassDesc(const char* name, const char* category, SClass_ID super, Class_ID id, Make make)
      : name_(name), category_(category), super_(super), id_(id), make_(make) {}
  int IsPublic() override { return TRUE; }
  void* Create(BOOL) override { return make_(); }
  const char* ClassName() override { return name_; }
  const char* InternalName() override { return name_; }
  SClass_ID SuperClassID() override { return super_; }
  Class_ID ClassID() override { return id_; }
  const char* Category() override { return category_; }

 private:
  const char* name_;
  const char* category_;
  SClass_ID super_;
  Class_ID id_;
  Make make_;
};

template <class Make>
ClassDesc* Describe(const char* name, const char* category, SClass_ID super, Class_ID id, Make make) {
  // Kept for the life of the process, outside the host's heap, whose live count tests watch.
  return ::new HostClassDesc<Make>(name, category, super, id, make);
}

// Create hands back each object as the base its super class implies (Object, Control; ReferenceTarget for
// materials and maps).
Object* AsObject(Object* o) { return o; }
Control* AsControl(Control* c) { return c; }
ReferenceTarget* AsTarget(ReferenceTarget* t) { return t; }

}  // namespace

static const std::vector<ClassDesc*>& HostClassList() {
  // Made once and never destroyed: the directory keeps them for the life of the process.
  static const std::vector<ClassDesc*>* list = new std::vector<ClassDesc*>{
      Describe("SplineShape", "Shapes", SHAPE_CLASS_ID, splineShapeClassID, [] { return AsObject(new SplineShape()); }),
      Describe("TriObject", "Geometry", GEOMOBJECT_CLASS_ID, triObjectClassID,
               [] { return AsObject(new TriObject()); }),
      Describe("DerivedObject", "Pipeline", GEN_DERIVOB_CLASS_ID, derivObjClassID,
               [] { return AsObject(CreateDerivedObject()); }),
      Describe("Linear Float", "Controllers", CTRL_FLOAT_CLASS_ID, Class_ID(LININTERP_FLOAT_CLASS_ID, 0),
               [] { return AsControl(new LinearFloatControl()); }),
      Describe("Linear Position", "Controllers", CTRL_POSITION_CLASS_ID, Class_ID(LININTERP_POSITION_CLASS_ID, 0),
               [] { return AsControl(new LinearPositionControl()); }),
      Describe("Linear Rotation", "Controllers", CTRL_ROTATION_CLASS_ID, Class_ID(LININTERP_ROTATION_CLASS_ID, 0),
               [] { return AsControl(new LinearRotationControl()); }),
      Describe("Linear Scale", "Controllers", CTRL_SCALE_CLASS_ID, Class_ID(LININTERP_SCALE_CLASS_ID, 0),
               [] { return AsControl(new LinearScaleControl()); }),
      Describe("PF Source", "Particle Systems", GEOMOBJECT_CLASS_ID, FLOW_PARTICLES_CLASS_ID,
               [] { return AsObject(new FlowParticleSystem()); }),
      Describe("Spray", "Particle Systems", GEOMOBJECT_CLASS_ID, LEGACY_PARTICLES_CLASS_ID,
               [] { return AsObject(new LegacyParticleSystem()); }),
      Describe("Standard", "Materials", MATERIAL_CLASS_ID, Class_ID(DMTL_CLASS_ID, 0),
               [] { return AsTarget(MakeStandardMaterial()); }),
      Describe("Bitmap", "Maps", TEXMAP_CLASS_ID, Class_ID(BMTEX_CLASS_ID, 0),
               [] { return AsTarget(MakeBitmapTex()); }),
      Describe("Gradient", "Maps", TEXMAP_CLASS_ID, Class_ID(GRADIENT_CLASS_ID, 0),
               [] { return AsTarget(MakeGradTex()); }),
      Describe("StandardUVGen", "Maps", UVGEN_CLASS_ID, Class_ID(STDUV_CLASS_ID, 0),
               [] { return AsTarget(MakeStdUVGen()); }),
  };
  return *list;
}

std::vector<ClassDesc*> HostClassDescs() { return HostClassList(); }

bool IsHostClass(ClassDesc* cd) {
  for (ClassDesc* own : HostClassList())
    if (own == cd) return true;
  return false;
}
